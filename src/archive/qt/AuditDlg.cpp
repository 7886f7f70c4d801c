#include "archive/qt/AuditDlg.h"

#include <QBuffer>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <ctime>
#include <set>

#include "base/LocalTime.h"
#include "base/Messages.h"
#include "base/OutputFile.h"
#include "controls/qt/FilterRow.h"
#include "pgstore/Stores.h"

namespace oront::archive {
namespace {

QString U(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The longest data a row of the report shows; the rest is in the JSON
// listing of the command line.
constexpr std::size_t kReportData = 600;

// Seconds since the epoch at 00:00:00 UTC of the day.
std::int64_t UtcDay(const QDate& day) {
    return QDateTime(day, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
}

}  // namespace

bool WriteAuditPdf(const std::vector<audit::Entry>& entries, const AuditVerification& check,
                   const std::string& archivePath, const std::string& filters, const std::string& path,
                   std::string& error) {
    OutputFile file;
    if (!file.Open(path)) {
        error = file.Result().Describe();
        return false;
    }
    audit::Entry now;
    now.time = static_cast<std::int64_t>(std::time(nullptr));
    now.utcOffsetMinutes = audit::LocalOffsetMinutes(now.time);
    QString html =
        QStringLiteral("<h2>Audit trail</h2><p>Archive: %1<br>Printed: %2 by Oront V208 Software %3<br>%4</p>")
            .arg(U(archivePath).toHtmlEscaped(), U(audit::LocalTimeText(now)), QLatin1String(kProgramVersion),
                 U(filters).toHtmlEscaped());
    html += QStringLiteral("<p><b>Verification</b>: %1 entries in the whole trail; ").arg(check.entries);
    if (check.Sound())
        html += QStringLiteral("the chain and everything it binds are as recorded.");
    else
        html += QStringLiteral("<b>the archive was changed outside the program</b>.");
    if (!check.head.empty()) html += QStringLiteral("<br>Hash of the last entry: %1").arg(U(check.head));
    if (check.firstBroken != 0)
        html += QStringLiteral("<br>First broken link: %1").arg(U(check.broken).toHtmlEscaped());
    for (const std::string& f : check.findings) html += QStringLiteral("<br>Changed: %1").arg(U(f).toHtmlEscaped());
    html += QStringLiteral(
        "</p><table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr><th>Entry</th>"
        "<th>Time</th><th>User</th><th>Event</th><th>Reason</th><th>Data</th></tr>");
    for (const audit::Entry& e : entries) {
        std::string data = e.data;
        if (data.size() > kReportData)
            data = data.substr(0, kReportData) + "... (" + std::to_string(e.data.size()) + " characters)";
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>")
                    .arg(e.seq)
                    .arg(U(audit::LocalTimeText(e)), U(e.user).toHtmlEscaped(), U(e.event).toHtmlEscaped(),
                         U(e.reason).toHtmlEscaped(), U(data).toHtmlEscaped());
    }
    html += QStringLiteral("</table>");
    if (entries.empty()) html += QStringLiteral("<p>No entries.</p>");

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                      QPageLayout::Millimeter));
        pdf.setTitle(QStringLiteral("Audit trail"));
        pdf.setCreator(QStringLiteral("Oront V208 Software"));
        QTextDocument document;
        QFont font = document.defaultFont();
        font.setPointSizeF(8);
        document.setDefaultFont(font);
        document.setHtml(html);
        document.print(&pdf);
    }
    buffer.close();
    if (!file.Write(bytes.constData(), static_cast<std::size_t>(bytes.size())) || !file.Commit()) {
        error = file.Result().Describe();
        return false;
    }
    return true;
}

CAuditDlg::CAuditDlg(std::string archivePath, QWidget* parent)
    : QDialog(parent), m_archivePath(std::move(archivePath)) {
    setWindowTitle(QStringLiteral("Audit trail"));
    setLocale(QLocale::c());
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    resize(980, 560);

    m_user = new QComboBox(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_event = new QComboBox(this);
    m_event->setObjectName(QStringLiteral("event"));
    m_from = NewDayEdit(this, "from");
    m_to = NewDayEdit(this, "to");
    auto* filters = new QHBoxLayout;
    const auto labelled = [this, filters](const char* text, QWidget* field) {
        AddLabelled(filters, this, text, field);
    };
    labelled("&User", m_user);
    labelled("&Event", m_event);
    labelled("&From (UTC)", m_from);
    labelled("&To", m_to);
    filters->addStretch(1);

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("entries"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Entry"), QStringLiteral("Time"), QStringLiteral("User"),
                                        QStringLiteral("Event"), QStringLiteral("Reason"), QStringLiteral("Data")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* verify = buttons->addButton(QStringLiteral("&Verify"), QDialogButtonBox::ActionRole);
    verify->setObjectName(QStringLiteral("verify"));
    m_export = buttons->addButton(QStringLiteral("Export &PDF..."), QDialogButtonBox::ActionRole);
    m_export->setObjectName(QStringLiteral("export"));
    buttons->addButton(QDialogButtonBox::Close);
    for (QAbstractButton* b : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(b)) push->setAutoDefault(false);
    connect(verify, &QPushButton::clicked, this, &CAuditDlg::OnVerify);
    connect(m_export, &QPushButton::clicked, this, &CAuditDlg::OnExport);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    // The filters' choices: every user and event of the trail, and its span.
    std::string error;
    std::vector<audit::Entry> all;
    m_user->addItem(QStringLiteral("All users"));
    m_event->addItem(QStringLiteral("All events"));
    m_archive = OpenStore(m_archivePath, OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!m_archive) m_archive = std::make_unique<Archive>();
    if (m_archive->AuditTrail({}, all, error)) {
        std::set<std::string> users, events;
        for (const audit::Entry& e : all) {
            users.insert(e.user);
            events.insert(e.event);
        }
        for (const std::string& u : users) m_user->addItem(U(u));
        for (const std::string& e : events) m_event->addItem(U(e));
        const auto day = [](std::int64_t t) { return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).date(); };
        m_from->setDate(all.empty() ? QDate::currentDate() : day(all.front().time));
        m_to->setDate(all.empty() ? QDate::currentDate() : day(all.back().time));
    } else {
        m_status->setText(QStringLiteral("The audit trail cannot be read: %1").arg(U(error)));
    }
    for (QComboBox* box : {m_user, m_event}) connect(box, &QComboBox::currentIndexChanged, this, &CAuditDlg::Reload);
    for (QDateEdit* date : {m_from, m_to}) connect(date, &QDateEdit::dateChanged, this, &CAuditDlg::Reload);
    if (error.empty()) Reload();
}

QString CAuditDlg::StatusText() const {
    return m_status->text();
}

AuditFilter CAuditDlg::Filter() const {
    AuditFilter filter;
    if (m_user->currentIndex() > 0) filter.user = m_user->currentText().toStdString();
    if (m_event->currentIndex() > 0) filter.event = m_event->currentText().toStdString();
    filter.from = UtcDay(m_from->date());
    filter.to = UtcDay(m_to->date()) + 86399;
    return filter;
}

std::string CAuditDlg::FilterText() const {
    return "Entries of " + m_user->currentText().toStdString() + ", " + m_event->currentText().toStdString() +
           ", from " + m_from->date().toString(Qt::ISODate).toStdString() + " to " +
           m_to->date().toString(Qt::ISODate).toStdString() + " (UTC)";
}

void CAuditDlg::Reload() {
    std::string error;
    if (!m_archive->AuditTrail(Filter(), m_entries, error)) {
        m_status->setText(QStringLiteral("The audit trail cannot be read: %1").arg(U(error)));
        return;
    }
    m_table->setRowCount(static_cast<int>(m_entries.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const audit::Entry& e = m_entries[static_cast<std::size_t>(row)];
        const QString cells[] = {
            QString::number(e.seq), U(audit::LocalTimeText(e)), U(e.user), U(e.event), U(e.reason), U(e.data)};
        for (int column = 0; column < 6; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 5) item->setToolTip(cells[column].left(2000));
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->setColumnWidth(5, 360);
    m_status->setText(QStringLiteral("%1 entries shown.").arg(m_entries.size()));
}

void CAuditDlg::OnVerify() {
    AuditVerification check;
    std::string error;
    if (!m_archive->VerifyAudit(check, error)) {
        m_status->setText(QStringLiteral("The audit trail cannot be verified: %1").arg(U(error)));
        return;
    }
    QString text =
        check.Sound()
            ? QStringLiteral("Verified: the %1 entries and everything they bind are as recorded.").arg(check.entries)
            : QStringLiteral("The archive was changed outside the program.");
    if (check.firstBroken != 0) text += QStringLiteral(" First broken link: %1.").arg(U(check.broken));
    for (const std::string& f : check.findings) text += QStringLiteral(" Changed: %1.").arg(U(f));
    m_status->setText(text);
    // The run itself is an event of the trail, where the archive can be written.
    if (const auto writer = OpenStore(m_archivePath, OpenMode::ReadWrite, audit::CurrentIdentity(), error))
        writer->RecordEvent(audit::Action::Download, "verification run",
                            "{\"check\":\"audit trail\",\"sound\":" + std::string(check.Sound() ? "true" : "false") +
                                ",\"entries\":" + std::to_string(check.entries) + "}",
                            error);
}

void CAuditDlg::OnExport() {
    QString path = chooseExportFile ? chooseExportFile()
                                    : QFileDialog::getSaveFileName(this, QStringLiteral("Export the audit trail"),
                                                                   QStringLiteral("audit-trail.pdf"),
                                                                   QStringLiteral("PDF document (*.pdf)"));
    if (path.isEmpty()) return;
    AuditVerification check;
    std::string error;
    if (!m_archive->VerifyAudit(check, error) ||
        !WriteAuditPdf(m_entries, check, m_archivePath, FilterText(), QFile::encodeName(path).toStdString(), error)) {
        m_status->setText(QStringLiteral("The audit trail was not exported: %1").arg(U(error)));
        return;
    }
    m_status->setText(
        QStringLiteral("Exported %1 entries to %2").arg(m_entries.size()).arg(QDir::toNativeSeparators(path)));
}

}  // namespace oront::archive
