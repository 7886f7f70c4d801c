#include "archive/qt/HistoryDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

#include "archive/ArchiveText.h"
#include "archive/qt/AuditDlg.h"
#include "pgstore/Stores.h"

namespace oront::archive {
namespace {

constexpr const char* kArchiveEveryKey = "Archive/everyDownload";
constexpr const char* kLocationKey = "Archive/location";

QString U(const std::string& text) {
    return QString::fromStdString(text);
}

QTableWidgetItem* Cell(const QString& text, bool number) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    return item;
}

}  // namespace

CHistoryDlg::CHistoryDlg(std::string archivePath, QSettings& settings, QWidget* parent)
    : QDialog(parent), m_archivePath(std::move(archivePath)), m_settings(settings) {
    setWindowTitle(QStringLiteral("History"));
    setObjectName("history");

    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName("downloads");
    m_table->setHorizontalHeaderLabels({QStringLiteral("ID"), QStringLiteral("Time"), QStringLiteral("Serial"),
                                        QStringLiteral("Records"), QStringLiteral("New records"),
                                        QStringLiteral("Wrap position")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setTabKeyNavigation(false);

    m_archiveEvery = new QCheckBox(QStringLiteral("Archive every download"), this);
    m_archiveEvery->setObjectName("archiveEvery");
    m_archiveEvery->setChecked(ArchiveEveryDownload(m_settings));
    connect(m_archiveEvery, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.setValue(QString::fromLatin1(kArchiveEveryKey), on);
        m_settings.sync();
    });

    m_location = new QLineEdit(U(ArchiveLocation(m_settings)), this);
    m_location->setObjectName("archiveLocation");
    m_location->setPlaceholderText(QStringLiteral("the default archive file"));
    m_location->setToolTip(
        QStringLiteral("An archive file, or a PostgreSQL server's archive as a libpq URI "
                       "(postgresql://host/database); its password comes from libpq's password "
                       "file or service file, never from here"));
    connect(m_location, &QLineEdit::editingFinished, this, [this] {
        const std::string location = m_location->text().trimmed().toStdString();
        if (location == ArchiveLocation(m_settings)) return;
        if (std::string why; HoldsPassword(location, why)) {
            m_status->setText(QStringLiteral("The archive's location was not changed: %1").arg(U(why)));
            m_location->setText(U(ArchiveLocation(m_settings)));
            return;
        }
        m_settings.setValue(QString::fromLatin1(kLocationKey), U(location));
        m_settings.sync();
        m_locationChanged = true;
        if (!m_locationInEffect) return;
        m_archivePath = location.empty() ? DefaultArchivePath() : location;
        Fill();
    });
    auto* where = new QFormLayout;
    where->addRow(QStringLiteral("A&rchive"), m_location);

    auto* buttons = new QDialogButtonBox(this);
    m_open = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
    m_open->setObjectName("open");
    m_open->setDefault(true);
    m_verify = buttons->addButton(QStringLiteral("&Verify"), QDialogButtonBox::ActionRole);
    m_verify->setObjectName("verify");
    m_verify->setAutoDefault(false);
    connect(m_verify, &QPushButton::clicked, this, &CHistoryDlg::OnVerify);
    m_sign = buttons->addButton(QStringLiteral("&Sign..."), QDialogButtonBox::ActionRole);
    m_sign->setObjectName("sign");
    m_sign->setAutoDefault(false);
    m_sign->setEnabled(false);
    connect(m_sign, &QPushButton::clicked, this, &CHistoryDlg::OnSign);
    auto* trail = buttons->addButton(QStringLiteral("&Audit trail..."), QDialogButtonBox::ActionRole);
    trail->setObjectName("auditTrail");
    trail->setAutoDefault(false);
    connect(trail, &QPushButton::clicked, this, [this] {
        CAuditDlg dlg(m_archivePath, this);
        dlg.exec();
    });
    buttons->addButton(QDialogButtonBox::Close);
    // Open reads the download first; the dialog ends only when it could.
    connect(buttons, &QDialogButtonBox::accepted, this, &CHistoryDlg::OnOpen);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] { OnOpen(); });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] {
        m_open->setEnabled(!m_table->selectedItems().isEmpty());
        m_sign->setEnabled(!m_table->selectedItems().isEmpty());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_archiveEvery);
    layout->addLayout(where);
    layout->addWidget(buttons);
    resize(620, 420);

    Fill();
}

bool CHistoryDlg::ArchiveEveryDownload(QSettings& settings) {
    return settings.value(QString::fromLatin1(kArchiveEveryKey), true).toBool();
}

std::string CHistoryDlg::ArchiveLocation(QSettings& settings) {
    return settings.value(QString::fromLatin1(kLocationKey)).toString().trimmed().toStdString();
}

QString CHistoryDlg::DownloadName(const Download& download) {
    return QStringLiteral("Download %1 of %2").arg(download.id).arg(U(LocalTimeText(download.time)));
}

void CHistoryDlg::Fill() {
    const QString where = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(m_archivePath)));
    std::string error;
    const auto archive = OpenStore(m_archivePath, OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!archive || !archive->Downloads(m_downloads, error)) {
        m_downloads.clear();
        m_status->setText(QStringLiteral("The archive cannot be read: %1").arg(U(error)));
    } else if (m_downloads.empty()) {
        m_status->setText(QStringLiteral("No download has been archived yet in %1.").arg(where));
    } else {
        m_status->setText(QStringLiteral("%1 %2 in %3")
                              .arg(m_downloads.size())
                              .arg(m_downloads.size() == 1 ? QStringLiteral("download") : QStringLiteral("downloads"))
                              .arg(where));
    }
    m_table->setRowCount(static_cast<int>(m_downloads.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const Download& d = m_downloads[static_cast<std::size_t>(row)];
        m_table->setItem(row, kId, Cell(QString::number(d.id), true));
        m_table->setItem(row, kTime, Cell(U(LocalTimeText(d.time)), false));
        m_table->setItem(row, kSerial, Cell(QString::number(d.serial), true));
        m_table->setItem(row, kRecords, Cell(QString::number(d.recordCount), true));
        m_table->setItem(row, kNewRecords, Cell(QString::number(d.newRecords), true));
        m_table->setItem(row, kWrapPosition, Cell(QString::number(d.wrapPosition), true));
    }
    m_table->resizeColumnsToContents();
    m_table->setEnabled(!m_downloads.empty());
    m_open->setEnabled(!m_downloads.empty());
    m_verify->setEnabled(!m_downloads.empty());
    // The latest download is the one most often wanted.
    if (!m_downloads.empty()) {
        m_table->selectRow(m_table->rowCount() - 1);
        m_table->scrollToBottom();
        m_table->setFocus(Qt::OtherFocusReason);
    }
}

QString CHistoryDlg::StatusText() const {
    return m_status->text();
}

void CHistoryDlg::OnSign() {
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_downloads.size())) return;
    const Download& download = m_downloads[static_cast<std::size_t>(row)];
    audit::Meaning meaning = audit::Meaning::Reviewed;
    QString password;
    if (askSignature) {
        if (!askSignature(meaning, password)) return;
    } else {
        QDialog ask(this);
        ask.setWindowTitle(QStringLiteral("Sign download %1").arg(download.id));
        auto* meanings = new QComboBox(&ask);
        for (const audit::Meaning m : {audit::Meaning::Performed, audit::Meaning::Reviewed, audit::Meaning::Approved})
            meanings->addItem(QString::fromLatin1(audit::MeaningCaption(m)), static_cast<int>(m));
        meanings->setCurrentIndex(1);
        auto* secret = new QLineEdit(&ask);
        secret->setEchoMode(QLineEdit::Password);
        auto* form = new QFormLayout(&ask);
        form->addRow(QStringLiteral("&Meaning"), meanings);
        form->addRow(QStringLiteral("Signing &password"), secret);
        auto* answer = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
        connect(answer, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
        connect(answer, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
        form->addRow(answer);
        if (ask.exec() != QDialog::Accepted) return;
        meaning = static_cast<audit::Meaning>(meanings->currentData().toInt());
        password = secret->text();
    }
    Archive archive;
    std::string error;
    Signature signature;
    if (IsServerLocation(m_archivePath)) {
        m_status->setText(QStringLiteral("Download %1 was not signed: signing works on an archive file; the archive "
                                         "on a PostgreSQL server does not keep signatures yet")
                              .arg(download.id));
        return;
    }
    if (!archive.Open(m_archivePath, OpenMode::ReadWrite, error) ||
        !archive.Sign(SignedKind::Download, download.id, meaning, password.toStdString(), signature, error)) {
        m_status->setText(QStringLiteral("Download %1 was not signed: %2").arg(download.id).arg(U(error)));
        return;
    }
    QString caption = QString::fromLatin1(audit::MeaningCaption(meaning));
    caption[0] = caption[0].toUpper();
    audit::Entry when;
    when.time = signature.time;
    when.utcOffsetMinutes = signature.utcOffsetMinutes;
    m_status->setText(QStringLiteral("Download %1 signed: %2 %3, %4.")
                          .arg(download.id)
                          .arg(caption, U(signature.fullName), U(audit::LocalTimeText(when))));
}

void CHistoryDlg::OnVerify() {
    std::string error;
    Verification result;
    const auto archive = OpenStore(m_archivePath, OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!archive || !archive->Verify(result, error)) {
        m_status->setText(QStringLiteral("The archive cannot be verified: %1").arg(U(error)));
        return;
    }
    const QString counted = QStringLiteral("%1 %2, %3 %4")
                                .arg(result.downloads)
                                .arg(result.downloads == 1 ? QStringLiteral("download") : QStringLiteral("downloads"))
                                .arg(result.records)
                                .arg(result.records == 1 ? QStringLiteral("record") : QStringLiteral("records"));
    if (result.Sound()) {
        m_status->setText(
            IsServerLocation(m_archivePath)
                ? QStringLiteral("The archive is sound (%1).").arg(counted)
                : QStringLiteral("The archive is sound (%1; SQLite's integrity check: ok).").arg(counted));
        return;
    }
    // The first findings in the dialog; the command line lists them all.
    constexpr std::size_t kShown = 8;
    const std::int64_t findings = static_cast<std::int64_t>(result.damage.size()) + result.moreDamage;
    QString text = QStringLiteral("The archive is damaged (%1 %2 in %3):")
                       .arg(findings)
                       .arg(findings == 1 ? QStringLiteral("finding") : QStringLiteral("findings"))
                       .arg(counted);
    for (std::size_t k = 0; k < result.damage.size() && k < kShown; ++k)
        text += QStringLiteral("\n- ") + U(result.damage[k]);
    if (findings > static_cast<std::int64_t>(kShown))
        text += QStringLiteral("\n(oront-v208-cli verify-archive lists every finding)");
    m_status->setText(text);
}

void CHistoryDlg::OnOpen() {
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty()) return;
    const Download& d = m_downloads[static_cast<std::size_t>(selected.first()->row())];
    std::string error;
    std::vector<std::uint8_t> image;
    const auto archive = OpenStore(m_archivePath, OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!archive || !archive->LoadImage(d.id, image, error)) {
        m_status->setText(QStringLiteral("Download %1 cannot be read: %2").arg(d.id).arg(U(error)));
        return;
    }
    m_chosen = d;
    m_image = std::move(image);
    accept();
}

}  // namespace oront::archive
