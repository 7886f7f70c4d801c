#include "classify/qt/ClassifyDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

#include "classify/ClassifyText.h"
#include "classify/qt/CertificatePrinter.h"

namespace oront::classify {

namespace {

constexpr const char* kStandardKey = "Classify/standard";
constexpr const char* kClassKey = "Classify/class";
constexpr const char* kGradeKey = "Classify/grade";
constexpr const char* kStateKey = "Classify/state";
constexpr const char* kSizesKey = "Classify/sizes";
constexpr const char* kCountsKey = "Classify/counts";
constexpr const char* kAreaKey = "Classify/area";
constexpr const char* kPaperKey = "Classify/paper";
constexpr const char* kRoomKey = "Classify/room";
constexpr int kPreviewDpi = 80;

QString U(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QTableWidgetItem* Cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A number entry that reads and shows numbers the same in any locale: a
// decimal point, no thousands separators; a comma typed becomes the decimal
// point, so "12,5" is 12.5 as "12.5" is, never 125.
class CNumberBox : public QDoubleSpinBox {
public:
    explicit CNumberBox(QWidget* parent) : QDoubleSpinBox(parent) {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        setLocale(c);
    }

    QValidator::State validate(QString& input, int& pos) const override {
        input.replace(QLatin1Char(','), QLatin1Char('.'));
        return QDoubleSpinBox::validate(input, pos);
    }

    double valueFromText(const QString& text) const override {
        QString copy = text;
        copy.replace(QLatin1Char(','), QLatin1Char('.'));
        return QDoubleSpinBox::valueFromText(copy);
    }
};

// The verdict in words, on green for a pass, on red for a failure and on
// amber for a run that is not valid.
QTableWidgetItem* VerdictCell(Verdict verdict) {
    QTableWidgetItem* item = Cell(QString::fromLatin1(VerdictName(verdict)));
    if (verdict == Verdict::Pass) item->setBackground(QColor(190, 235, 190));
    if (verdict == Verdict::Fail || verdict == Verdict::NotClassified) item->setBackground(QColor(245, 185, 185));
    if (verdict == Verdict::NotValid) item->setBackground(QColor(250, 215, 140));
    return item;
}

}  // namespace

bool HasCompleteRun(const RecordStore& store) {
    bool any = false;
    ReadRuns(store, [&](const RunSamples&) { any = true; });
    return any;
}

CClassifyDlg::CClassifyDlg(const RecordStore& store, QSettings& settings, QWidget* parent, ClassifySite site,
                           CertificateIssuer issuer)
    : QDialog(parent), m_store(store), m_settings(settings), m_site(std::move(site)), m_issuer(std::move(issuer)) {
    setWindowTitle(QStringLiteral("Classify"));
    setObjectName("classify");
    // Every number shows the same in any locale, as in the files and reports.
    setLocale(QLocale::c());

    m_room = new QComboBox(this);
    m_room->setObjectName("room");
    m_room->addItem(QStringLiteral("every run, each room with its register settings"), QString());
    for (const ClassifySite::Room& room : m_site.rooms)
        m_room->addItem(U(room.id + (room.name.empty() ? "" : " " + room.name)), U(room.id));
    m_room->setToolTip(
        QStringLiteral("The runs of one room of the site register, with the room's standard, target, state and area; "
                       "the settings below for the runs of locations that are no room's"));
    m_standard = new QComboBox(this);
    for (const Standard s : {Standard::Iso2015, Standard::Iso1999, Standard::Gmp2022})
        m_standard->addItem(QString::fromLatin1(StandardName(s)));
    m_class = new QComboBox(this);
    m_class->addItem(QStringLiteral("none (achieved class only)"), 0);
    for (int c = kLowestClass; c <= kHighestClass; ++c) m_class->addItem(U(ClassText(c)), c);
    m_grade = new QComboBox(this);
    m_grade->addItem(QStringLiteral("none (achieved class only)"), 0);
    for (const char g : {'A', 'B', 'C', 'D'}) m_grade->addItem(QStringLiteral("grade %1").arg(QChar(g)), int(g));
    m_state = new QComboBox(this);
    for (const Occupancy o : {Occupancy::AsBuilt, Occupancy::AtRest, Occupancy::Operational})
        m_state->addItem(QString::fromLatin1(StateName(o)));
    auto* sizes = new QHBoxLayout;
    for (const int size : kSizes) {
        auto* box = new QCheckBox(U(SizeText(size)), this);
        box->setProperty("sizeTenths", size);
        box->setObjectName(QStringLiteral("size%1").arg(size));
        sizes->addWidget(box);
        m_sizes.push_back(box);
    }
    sizes->addStretch();
    m_counts = new QComboBox(this);
    m_counts->addItems({QStringLiteral("cumulative"), QStringLiteral("differential")});
    m_area = new CNumberBox(this);
    m_area->setRange(0, 100000);
    m_area->setDecimals(1);
    m_area->setSuffix(QString::fromUtf8(" m²"));
    m_area->setSpecialValueText(QStringLiteral("not given"));
    m_paper = new QComboBox(this);
    m_paper->addItems({QStringLiteral("A4"), QStringLiteral("Letter")});
    m_standard->setObjectName("standard");
    m_class->setObjectName("class");
    m_grade->setObjectName("grade");
    m_state->setObjectName("state");
    m_counts->setObjectName("counts");
    m_area->setObjectName("area");
    m_paper->setObjectName("paper");

    auto* form = new QFormLayout;
    m_roomLabel = new QLabel(QStringLiteral("Room:"), this);
    form->addRow(m_roomLabel, m_room);
    m_roomLabel->setVisible(!m_site.rooms.empty());
    m_room->setVisible(!m_site.rooms.empty());
    form->addRow(QStringLiteral("Standard:"), m_standard);
    m_classLabel = new QLabel(QStringLiteral("Target class:"), this);
    m_gradeLabel = new QLabel(QStringLiteral("Target grade:"), this);
    form->addRow(m_classLabel, m_class);
    form->addRow(m_gradeLabel, m_grade);
    form->addRow(QStringLiteral("Occupancy state:"), m_state);
    form->addRow(QStringLiteral("Considered sizes (none: every size):"), sizes);
    form->addRow(QStringLiteral("Counts:"), m_counts);
    form->addRow(QStringLiteral("Room area:"), m_area);
    form->addRow(QStringLiteral("Certificate paper:"), m_paper);

    m_table = new QTableWidget(0, kColumns, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Run"), QStringLiteral("Location"), QStringLiteral("Size"),
                                        QString::fromUtf8("Mean /m³"), QString::fromUtf8("Limit /m³"),
                                        QString::fromUtf8("UCL /m³"), QStringLiteral("Verdict")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One line per run: a full memory has hundreds.
    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName("summary");
    m_summary->setReadOnly(true);
    m_summary->setMaximumHeight(110);
    m_requirements = new QPlainTextEdit(this);
    m_requirements->setObjectName("requirements");
    m_requirements->setReadOnly(true);
    m_requirements->setMaximumHeight(90);
    m_warnings = new QPlainTextEdit(this);
    m_warnings->setObjectName("warnings");
    m_warnings->setReadOnly(true);
    m_warnings->setMaximumHeight(90);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* print = buttons->addButton(QStringLiteral("Print..."), QDialogButtonBox::ActionRole);
    QPushButton* preview = buttons->addButton(QStringLiteral("Preview..."), QDialogButtonBox::ActionRole);
    QPushButton* pdf = buttons->addButton(QStringLiteral("Export PDF..."), QDialogButtonBox::ActionRole);
    print->setObjectName("print");
    preview->setObjectName("preview");
    pdf->setObjectName("exportPdf");
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(print, &QPushButton::clicked, this, &CClassifyDlg::OnPrint);
    connect(preview, &QPushButton::clicked, this, &CClassifyDlg::OnPreview);
    connect(pdf, &QPushButton::clicked, this, &CClassifyDlg::OnExportPdf);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
    layout->addWidget(new QLabel(QStringLiteral("Requirements of the standard broken:"), this));
    layout->addWidget(m_requirements);
    layout->addWidget(new QLabel(QStringLiteral("Warnings:"), this));
    layout->addWidget(m_warnings);
    layout->addWidget(buttons);
    resize(760, 720);

    LoadSettings();
    const auto changed = [this] {
        if (m_loading) return;
        ShowStandardControls();
        Reclassify();
    };
    for (QComboBox* box : {m_standard, m_class, m_grade, m_state, m_counts})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    connect(m_paper, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading) SaveSettings();
    });
    for (QCheckBox* box : m_sizes) connect(box, &QCheckBox::toggled, this, changed);
    connect(m_area, &QDoubleSpinBox::valueChanged, this, changed);
    connect(m_room, &QComboBox::currentIndexChanged, this, [this, changed] {
        if (m_loading) return;
        TakeRoomSettings();
        changed();
    });
    ShowStandardControls();
    Reclassify();
}

void CClassifyDlg::LoadSettings() {
    m_loading = true;
    m_standard->setCurrentIndex(std::clamp(m_settings.value(kStandardKey, 0).toInt(), 0, 2));
    m_class->setCurrentIndex(std::max(0, m_class->findData(m_settings.value(kClassKey, 0).toInt())));
    m_grade->setCurrentIndex(std::max(0, m_grade->findData(m_settings.value(kGradeKey, 0).toInt())));
    m_state->setCurrentIndex(std::clamp(m_settings.value(kStateKey, 1).toInt(), 0, 2));
    const QStringList sizes = m_settings.value(kSizesKey).toString().split(',', Qt::SkipEmptyParts);
    for (QCheckBox* box : m_sizes) box->setChecked(sizes.contains(box->property("sizeTenths").toString()));
    m_counts->setCurrentIndex(std::clamp(m_settings.value(kCountsKey, 0).toInt(), 0, 1));
    m_area->setValue(m_settings.value(kAreaKey, 0.0).toDouble());
    m_paper->setCurrentIndex(std::clamp(m_settings.value(kPaperKey, 0).toInt(), 0, 1));
    m_room->setCurrentIndex(std::max(0, m_room->findData(m_settings.value(kRoomKey, QString()).toString())));
    m_loading = false;
}

void CClassifyDlg::SaveSettings() {
    m_settings.setValue(kStandardKey, m_standard->currentIndex());
    m_settings.setValue(kClassKey, m_class->currentData().toInt());
    m_settings.setValue(kGradeKey, m_grade->currentData().toInt());
    m_settings.setValue(kStateKey, m_state->currentIndex());
    QStringList sizes;
    for (QCheckBox* box : m_sizes)
        if (box->isChecked()) sizes << box->property("sizeTenths").toString();
    m_settings.setValue(kSizesKey, sizes.join(','));
    m_settings.setValue(kCountsKey, m_counts->currentIndex());
    m_settings.setValue(kAreaKey, m_area->value());
    m_settings.setValue(kPaperKey, m_paper->currentIndex());
    m_settings.setValue(kRoomKey, m_room->currentData().toString());
    m_settings.sync();
}

void CClassifyDlg::ShowStandardControls() {
    const bool gmp = m_standard->currentIndex() == 2;
    m_classLabel->setVisible(!gmp);
    m_class->setVisible(!gmp);
    m_gradeLabel->setVisible(gmp);
    m_grade->setVisible(gmp);
}

Settings CClassifyDlg::CurrentSettings() const {
    Settings s;
    s.standard = static_cast<Standard>(m_standard->currentIndex());
    if (s.standard == Standard::Gmp2022)
        s.target.grade = static_cast<char>(m_grade->currentData().toInt());
    else
        s.target.classTenths = m_class->currentData().toInt();
    s.target.state = static_cast<Occupancy>(m_state->currentIndex());
    s.target.stateDeclared = true;
    for (QCheckBox* box : m_sizes)
        if (box->isChecked()) s.sizes.push_back(box->property("sizeTenths").toInt());
    s.counts = m_counts->currentIndex() == 1 ? CountMode::Differential : CountMode::Cumulative;
    s.areaM2 = m_area->value();
    return s;
}

CertificatePaper CClassifyDlg::Paper() const {
    return m_paper->currentIndex() == 1 ? CertificatePaper::Letter : CertificatePaper::A4;
}

void CClassifyDlg::TakeRoomSettings() {
    const std::string id = m_room->currentData().toString().toStdString();
    for (const ClassifySite::Room& room : m_site.rooms) {
        if (room.id != id) continue;
        const Settings& s = room.settings;
        m_loading = true;
        m_standard->setCurrentIndex(static_cast<int>(s.standard));
        m_class->setCurrentIndex(std::max(0, m_class->findData(s.target.classTenths)));
        m_grade->setCurrentIndex(std::max(0, m_grade->findData(int(s.target.grade))));
        m_state->setCurrentIndex(static_cast<int>(s.target.state));
        m_area->setValue(s.areaM2);
        m_loading = false;
    }
}

void CClassifyDlg::Reclassify() {
    SaveSettings();
    RoomRequest request;
    request.settings = CurrentSettings();
    request.settings.calibrationDue = m_site.calibrationDue;
    request.room = m_room->currentData().toString().toStdString();
    // One room: the settings shown (the room's, as changed); every run: each
    // room's own.
    const RoomFinder finder = m_site.finder ? m_site.finder(request.settings, request.room.empty()) : RoomFinder{};
    m_result = ClassifyRooms(m_store, request, finder);
    m_table->setRowCount(0);
    QString summary;
    QString warnings;
    QString requirements;
    if (!m_result.error.empty()) summary = U(m_result.error);
    int rows = 0;
    for (const RoomSection& section : m_result.sections)
        for (const RunResult& run : section.result.runs) {
            const auto locations = section.result.Locations(run);
            rows += static_cast<int>(locations.size() + 1) * 3 + 1;
        }
    m_table->setRowCount(rows);
    int row = 0;
    const auto put = [&](int column, QTableWidgetItem* item) { m_table->setItem(row, column, item); };
    for (const RoomSection& section : m_result.sections) {
        const Classification& result = section.result;
        if (!result.error.empty() && result.runs.empty())
            summary += U(SectionTitle(section)) + QStringLiteral(": ") + U(result.error) + QLatin1Char('\n');
        for (const RunResult& run : result.runs) {
            const QString where = U(std::string(run.location.view())) +
                                  (section.roomId.empty() ? QString() : QStringLiteral(", ") + U(section.roomId));
            const QString runText = QStringLiteral("%1 (%2)").arg(run.run).arg(where);
            // Each location against the limit, then the run's verdict per size.
            for (const Location& loc : result.Locations(run)) {
                for (int k = 0; k < 3; ++k) {
                    const SizeResult& size = run.sizes[k];
                    put(kRun, Cell(runText));
                    put(kLocation, Cell(QStringLiteral("Point %1").arg(loc.point)));
                    put(kSize,
                        Cell(size.sizeTenths ? U(SizeText(size.sizeTenths)) : QStringLiteral("Ch%1").arg(k + 1)));
                    put(kMean, Cell(U(FormatDecimal(loc.meanPerM3[k], 1)), true));
                    put(kLimit, Cell(size.limit ? QString::number(*size.limit) : QString(), true));
                    put(kUcl, Cell(QString()));
                    const bool judged = size.limit && (size.verdict == Verdict::Pass || size.verdict == Verdict::Fail);
                    put(kVerdict,
                        VerdictCell(judged ? (loc.meanPerM3[k] <= static_cast<double>(*size.limit) ? Verdict::Pass
                                                                                                   : Verdict::Fail)
                                           : size.verdict));
                    ++row;
                }
            }
            for (int k = 0; k < 3; ++k) {
                const SizeResult& size = run.sizes[k];
                put(kRun, Cell(runText));
                put(kLocation, Cell(QStringLiteral("run")));
                put(kSize, Cell(size.sizeTenths ? U(SizeText(size.sizeTenths)) : QStringLiteral("Ch%1").arg(k + 1)));
                put(kMean, Cell(QString()));
                put(kLimit, Cell(size.limit ? QString::number(*size.limit) : QString(), true));
                put(kUcl, Cell(run.uclPerM3 ? U(FormatDecimal((*run.uclPerM3)[k], 1)) : QString(), true));
                put(kVerdict, VerdictCell(size.verdict));
                ++row;
            }
            // The run's own verdict: within its limits, a broken requirement
            // makes it not valid.
            put(kRun, Cell(runText));
            put(kLocation, Cell(QStringLiteral("run verdict")));
            for (const int column : {kSize, kMean, kLimit, kUcl}) put(column, Cell(QString()));
            put(kVerdict, VerdictCell(run.verdict));
            ++row;
            summary += QStringLiteral("Run %1, location %2: %3; achieved class %4\n")
                           .arg(run.run)
                           .arg(where)
                           .arg(QString::fromLatin1(VerdictName(run.verdict)))
                           .arg(U(AchievedText(run)));
            for (const Warning& w : result.Requirements(run))
                requirements += QStringLiteral("Run %1: %2\n").arg(run.run).arg(U(RequirementText(w, result.settings)));
            for (const Warning& w : result.Warnings(run))
                warnings += QStringLiteral("Run %1: %2\n").arg(run.run).arg(U(WarningText(w, result.settings)));
        }
    }
    if (m_result.error.empty())
        summary += QStringLiteral("Overall verdict: %1").arg(QString::fromLatin1(VerdictName(m_result.verdict)));
    m_table->resizeColumnsToContents();
    // That gives the verdicts, the last column, the width of their contents
    // only: they take the rest of the width again, which the header keeps
    // as the table is resized.
    QHeaderView* header = m_table->horizontalHeader();
    int others = 0;
    for (int column = 0; column < kVerdict; ++column) others += header->sectionSize(column);
    header->resizeSection(kVerdict, std::max(header->sectionSize(kVerdict), m_table->viewport()->width() - others));
    m_summary->setPlainText(summary.trimmed());
    m_requirements->setPlainText(requirements.isEmpty() ? QStringLiteral("none") : requirements.trimmed());
    m_warnings->setPlainText(warnings.isEmpty() ? QStringLiteral("none") : warnings.trimmed());
}

QString CClassifyDlg::SummaryText() const {
    return m_summary->toPlainText();
}

QString CClassifyDlg::WarningsText() const {
    return m_warnings->toPlainText();
}

QString CClassifyDlg::RequirementsText() const {
    return m_requirements->toPlainText();
}

Certificate CClassifyDlg::MakeCertificate(const CertificateData& data) const {
    return Certificate(m_result, data, Paper());
}

bool CClassifyDlg::Issue(CertificateData& data, std::int64_t& id, std::string& text) {
    data = m_issuer.data;
    if (data.instrument.serial == 0) data.instrument.serial = static_cast<std::uint32_t>(m_store.ReportSerialNumber());
    data.testDate = TestDates(m_result);
    id = 0;
    std::string error;
    if (m_issuer.number && !m_issuer.number(data, id, error)) {
        Message(QStringLiteral("The certificate cannot be numbered (%1)").arg(U(error)));
        return false;
    }
    if (!m_issuer.number) data.reportNumber = "not numbered (no archive)";
    text = CertificateDataText(m_result, data);
    if (m_issuer.sha256) data.dataSha256 = m_issuer.sha256(text);
    return true;
}

void CClassifyDlg::Message(const QString& text) {
    if (m_seams.message) {
        m_seams.message(text);
        return;
    }
    QMessageBox::warning(this, windowTitle(), text);
}

void CClassifyDlg::OnPrint() {
    if (!m_result.error.empty()) return;
    if (m_seams.print) {
        CertificateData data;
        std::int64_t id = 0;
        std::string text;
        if (!Issue(data, id, text)) return;
        m_seams.print(MakeCertificate(data));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    CertificateData data;
    std::int64_t id = 0;
    std::string text;
    if (!Issue(data, id, text)) return;
    std::string error;
    if (!PrintCertificate(MakeCertificate(data), printer, error)) {
        Message(U(error));
        return;
    }
    if (m_issuer.keep && id != 0 && !m_issuer.keep(id, text, {}, error))
        Message(QStringLiteral("The certificate was printed but is not kept (%1)").arg(U(error)));
}

void CClassifyDlg::OnPreview() {
    if (!m_result.error.empty()) return;
    // A preview is no certificate issued: it takes no number.
    CertificateData data = m_issuer.data;
    if (data.instrument.serial == 0) data.instrument.serial = static_cast<std::uint32_t>(m_store.ReportSerialNumber());
    data.testDate = TestDates(m_result);
    data.reportNumber = "assigned when the certificate is printed or exported";
    const Certificate certificate = MakeCertificate(data);
    if (m_seams.preview) {
        m_seams.preview(certificate);
        return;
    }
    // The pages one under the other.
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Certificate Preview"));
    auto* pages = new QWidget;
    auto* column = new QVBoxLayout(pages);
    for (int page = 1; page <= certificate.PageCount(); ++page) {
        auto* label = new QLabel;
        label->setPixmap(QPixmap::fromImage(RenderCertificatePage(certificate, page, kPreviewDpi)));
        label->setFrameShape(QFrame::Box);
        column->addWidget(label, 0, Qt::AlignHCenter);
    }
    auto* scroll = new QScrollArea(&dialog);
    scroll->setWidget(pages);
    scroll->setBackgroundRole(QPalette::Dark);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(scroll);
    dialog.resize(pages->sizeHint().width() + 40, 760);
    dialog.exec();
}

void CClassifyDlg::OnExportPdf() {
    if (!m_result.error.empty()) return;
    std::string path;
    if (m_seams.saveFile) {
        if (!m_seams.saveFile(path)) return;
    } else {
        const QString name = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export PDF"), QStringLiteral("certificate.pdf"), QStringLiteral("PDF files (*.pdf)"));
        if (name.isEmpty()) return;
        path = name.toLocal8Bit().toStdString();
    }
    CertificateData data;
    std::int64_t id = 0;
    std::string text;
    if (!Issue(data, id, text)) return;
    std::string error;
    std::string pdf;
    if (!WriteCertificatePdf(MakeCertificate(data), path, error, &pdf)) {
        Message(QStringLiteral("Cannot write the certificate (%1)").arg(U(error)));
        return;
    }
    if (m_issuer.keep && id != 0 && !m_issuer.keep(id, text, pdf, error))
        Message(QStringLiteral("The certificate was written but is not kept (%1)").arg(U(error)));
}

}  // namespace oront::classify
