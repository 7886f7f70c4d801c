#include "app/qt/DataTransferDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/qt/AboutDlg.h"
#include "app/qt/MessageDlg.h"
#include "archive/Archive.h"
#include "archive/ArchiveClassify.h"
#include "archive/qt/HistoryDlg.h"
#include "archive/qt/TrendDlg.h"
#include "base/FreedMemory.h"
#include "base/Messages.h"
#include "base/OutputFile.h"
#include "classify/qt/ClassifyDlg.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"
#include "controls/qt/Theme.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "export/CsvWriter.h"
#include "export/SaveFlows.h"
#include "export/qt/SaveDataDlg.h"
#include "export/qt/SaveFileDialog.h"
#include "pgstore/Stores.h"
#include "print/qt/PrintPreViewParent.h"
#include "site/Monitoring.h"
#include "site/qt/SiteDlg.h"
#include "table/DragSelect.h"
#include "table/qt/RecordTableCtrl.h"

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace oront {

namespace {

// What the title says of a download or event that waits in the local spool
// (the next read's title replaces it).
const QString kSpooledTitle = QStringLiteral(" - kept in the local spool: the archive's server cannot be reached");

constexpr int kGroupBoxName = -1;  // the group box has no number of its own
#ifdef Q_OS_WIN
constexpr int kSysCommandAbout = 16;  // system menu command of the About entry
#endif

// The template's size in dialog units: the window's smallest size.
constexpr int kTemplateWidth = 435;
constexpr int kTemplateHeight = 259;

using Anchor = CDataTransferDlg::Anchor;

struct StaticSpec {
    int id;
    const char* text;
    int x, y, w, h;
    bool value;
    Anchor anchor;
};

// The labels under the list, in template order.
constexpr StaticSpec kStatics[] = {
    {ctl::kCh3Caption, "Ch3 Size :", 239, 203, 34, 9, false, Anchor::BottomCentre},
    {ctl::kCh3Value, "5.0um", 272, 203, 36, 9, true, Anchor::BottomCentre},
    {ctl::kUnitCaption, "Unit :", 352, 203, 24, 9, false, Anchor::BottomRight},
    {ctl::kUnitValue, "CNT", 383, 203, 26, 9, true, Anchor::BottomRight},
    {ctl::kCh1Caption, "Ch1 Size :", 13, 203, 34, 9, false, Anchor::BottomLeft},
    {ctl::kCh1Value, "0.3um", 50, 203, 36, 9, true, Anchor::BottomLeft},
    {ctl::kCh2Caption, "Ch2 Size:", 126, 203, 34, 9, false, Anchor::BottomCentre},
    {ctl::kCh2Value, "0.5um", 161, 203, 36, 9, true, Anchor::BottomCentre},
};

struct ButtonSpec {
    int id;
    const char* text;
    int x, y, w, h;
    int icon;
    Anchor anchor;
};

// The action buttons in the order they get their skins.
constexpr ButtonSpec kButtons[] = {
    {ctl::kReadRecords, "Read Records", 6, 218, 72, 16, res::kIconReadRecords, Anchor::BottomLeft},
    {ctl::kDeleteRecords, "Delete Records", 6, 238, 72, 16, res::kIconDeleteRecords, Anchor::BottomLeft},
    {ctl::kSaveSelected, "Save Selected", 182, 218, 72, 16, res::kIconSaveSelected, Anchor::BottomCentre},
    {ctl::kSaveAll, "Save All", 183, 238, 72, 16, res::kIconSaveAll, Anchor::BottomCentre},
    {ctl::kDataPrint, "Data Print", 356, 218, 72, 16, res::kIconDataPrint, Anchor::BottomRight},
    {ctl::kQuit, "Quit", 356, 238, 72, 16, res::kIconQuit, Anchor::BottomRight},
    // Not in the template: between Save Selected and Data Print, keeping its
    // distance from the middle like Save Selected.
    {CDataTransferDlg::kClassifyButton, "Classify", 269, 218, 72, 16, res::kIconOk, Anchor::BottomCentre},
    // Not in the template either: the archive's views, History between Read
    // Records and Save Selected, Trend under Classify, keeping their
    // distance from the middle too.
    {ctl::kHistory, "History", 94, 218, 72, 16, res::kIconMessage, Anchor::BottomCentre},
    {ctl::kTrend, "Trend", 269, 238, 72, 16, res::kIconPrintPreview, Anchor::BottomCentre},
    // The site register's view, under History.
    {ctl::kSite, "Site", 94, 238, 72, 16, res::kIconSaveSelected, Anchor::BottomCentre},
};

// The window's place between runs: an INI file of the user's settings
// folder (on Linux $XDG_CONFIG_HOME/oront-v208/window.ini).
constexpr const char* kSettingsFolder = "oront-v208";
constexpr const char* kSettingsName = "window";
constexpr const char* kGeometryKey = "MainWindow/geometry";

// The marks of records above an alert or action limit.
constexpr QRgb kAlertTint = 0xFFFFD98C;
constexpr QRgb kActionTint = 0xFFFFA89A;
// The message when an instrument is past its calibration or not registered.
constexpr const char* kCheckCalibration = "Check the instrument's calibration!";

QString Latin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CDataTransferDlg::CDataTransferDlg(std::unique_ptr<DeviceBackend> backend, QWidget* parent)
    : QDialog(parent), m_pBackend(std::move(backend)), m_archivePath(archive::DefaultArchivePath()) {
    m_pLogic = std::make_unique<MainWindowLogic>(static_cast<MainWindowView&>(*this), m_pBackend.get());
    m_pLogic->SetDownloadHandler([this](const MemoryImage& image) { ArchiveDownload(image); });
    SetArchive({}, false);

    // A window with caption, system menu, minimise and maximise boxes,
    // sizable down to the template's size, where every control has its
    // template place.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromLatin1(msg::kAppTitle));
    setObjectName("102");
    const QFont font = DialogFont("Arial", 9);
    setFont(font);
    const DialogUnits du(font);
    m_templateSize = du.Size(kTemplateWidth, kTemplateHeight);
    setMinimumSize(m_templateSize);
    resize(m_templateSize);
    setWindowIcon(ResourceIcon(res::kIconApp));

    CreateControls();
    LayOut();
    RestoreWindowPlace();

    // Initialisation: the logic's state, the record list, the background
    // and the button skins, then labels, buttons and the first focus.
    SetupButtons();
    m_pLogic->OnInitDialog();
    ApplyRoles();

    qApp->installEventFilter(this);

    // F1 opens the About box too, wherever the focus is in the window.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CDataTransferDlg::OnAbout);
    auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(open, &QShortcut::activated, this, &CDataTransferDlg::OnOpenImage);
    auto* classify = new QShortcut(QKeySequence(Qt::Key_F7), this);
    connect(classify, &QShortcut::activated, this, &CDataTransferDlg::OnClassify);
    auto* history = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(history, &QShortcut::activated, this, &CDataTransferDlg::OnHistory);
    auto* trend = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    connect(trend, &QShortcut::activated, this, &CDataTransferDlg::OnTrend);
    setAcceptDrops(true);
}

CDataTransferDlg::~CDataTransferDlg() {
    if (qApp) qApp->removeEventFilter(this);
}

void CDataTransferDlg::CreateControls() {
    const DialogUnits du(font());
    QPalette captionPalette = palette();
    captionPalette.setColor(QPalette::Window, theme::Background());
    captionPalette.setColor(QPalette::WindowText, theme::CaptionText());
    QPalette valuePalette = captionPalette;
    valuePalette.setColor(QPalette::WindowText, theme::ValueText());

    // Template order: the labels of Ch3 and the unit, Save Selected, the
    // labels of Ch1 and Ch2, the group box, the other buttons and the list.
    auto place = [&](QWidget* widget, QRect rect, Anchor anchor) {
        widget->setGeometry(rect);
        m_places.push_back({widget, rect, anchor});
    };
    auto addStatic = [&](const StaticSpec& s) {
        auto* label = new QLabel(QString::fromLatin1(s.text), this);
        label->setObjectName(QString::number(s.id));
        place(label, du.Rect(s.x, s.y, s.w, s.h), s.anchor);
        label->setAutoFillBackground(true);
        label->setPalette(s.value ? valuePalette : captionPalette);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    };
    auto addButton = [&](const ButtonSpec& b) {
        auto* button = new CShadeButtonST(QString::fromLatin1(b.text), this);
        button->setObjectName(QString::number(b.id));
        place(button, du.Rect(b.x, b.y, b.w, b.h), b.anchor);
        button->setAutoDefault(true);
        return button;
    };
    auto buttonSpec = [](int id) -> const ButtonSpec& {
        for (const ButtonSpec& b : kButtons)
            if (b.id == id) return b;
        return kButtons[0];
    };

    for (int i = 0; i < 4; ++i) addStatic(kStatics[i]);
    auto* saveSelected = addButton(buttonSpec(ctl::kSaveSelected));
    for (int i = 4; i < 8; ++i) addStatic(kStatics[i]);
    auto* group = new QGroupBox(this);
    group->setObjectName(QString::number(kGroupBoxName));
    place(group, du.Rect(6, 195, 422, 22), Anchor::BottomStretch);
    group->lower();
    auto* read = addButton(buttonSpec(ctl::kReadRecords));
    auto* erase = addButton(buttonSpec(ctl::kDeleteRecords));
    auto* quit = addButton(buttonSpec(ctl::kQuit));
    auto* saveAll = addButton(buttonSpec(ctl::kSaveAll));

    m_pList = new CRecordTableCtrl(m_pLogic->Store(), static_cast<IRecordLabels*>(this), this);
    m_pList->setObjectName(QString::number(ctl::kRecordList));
    place(m_pList, du.Rect(6, 7, 422, 191), Anchor::Fill);
    // At the template's width the columns have their own widths; a wider
    // window shares its extra width among them.
    m_pList->SetNaturalWidth(du.Rect(6, 7, 422, 191).width());
    // A record above an alert or action limit of its room is marked in
    // amber or red.
    m_pList->SetKeyTint([this](int key) -> std::optional<QRgb> {
        const RecordStore& store = m_pLogic->Store();
        // A key is four times the row's index in the result table (and a
        // summary's line 0 to 3).
        const int index = key / 4;
        if (m_levels.empty() || key < 0 || index > store.m_nLastRow) return std::nullopt;
        // The level of a record row's record; a point's group row takes the
        // worst of the cycles under it; a run's summary none.
        const auto levelOf = [&](const ResultRow& row) {
            if (row.m_nSlot < 0) return site::Level::None;
            // The rows number the records in time order; the levels follow
            // the instrument's slots, which a full memory rotates.
            std::size_t slot = static_cast<std::size_t>(row.m_nSlot);
            if (store.m_nRecordCount == kMaxRecords && store.m_nWrapPosition > 0)
                slot = (slot + static_cast<std::size_t>(store.m_nWrapPosition)) % kMaxRecords;
            return slot < m_levels.size() ? m_levels[slot] : site::Level::None;
        };
        const ResultRow& row = store.Row(index);
        const std::string_view kind = row.m_strKind;
        site::Level level = site::Level::None;
        if (kind == kind::kGroupCollapsed || kind == kind::kGroupExpanded) {
            for (int member = index + 1; member <= store.m_nLastRow; ++member) {
                const ResultRow& m = store.Row(member);
                if (std::string_view(m.m_strKind) != kind::kMember) break;
                level = std::max(level, levelOf(m));
            }
        } else if (kind != kind::kSummary) {
            level = levelOf(row);
        }
        if (level == site::Level::Action) return kActionTint;
        if (level == site::Level::Alert) return kAlertTint;
        return std::nullopt;
    });
    // What monitoring found in the download, in a line under the list.
    m_pMonitoring = new QLabel(this);
    m_pMonitoring->setObjectName("monitoring");
    m_pMonitoring->setAutoFillBackground(true);
    m_pMonitoring->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pMonitoring->setContentsMargins(4, 1, 4, 1);
    m_pMonitoring->hide();

    auto* print = addButton(buttonSpec(ctl::kDataPrint));
    auto* classify = addButton(buttonSpec(kClassifyButton));
    auto* history = addButton(buttonSpec(ctl::kHistory));
    auto* trend = addButton(buttonSpec(ctl::kTrend));
    auto* site = addButton(buttonSpec(ctl::kSite));

    // Tab order as the controls are seen: the list, then the buttons row by
    // row from left to right.
    QWidget* order[] = {m_pList, read, history, saveSelected, classify, print, erase, site, saveAll, trend, quit};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

    // Every button names its shortcut. F7, Ctrl+H and Ctrl+T are the
    // window's own shortcuts (see the constructor); the others belong to
    // their buttons, which take them only while enabled.
    struct Key {
        QPushButton* button;
        QKeySequence keys;
        const char* what;
        bool own;
    };
    const Key keys[] = {
        {read, QKeySequence(Qt::CTRL | Qt::Key_R), "Read all records from the instrument", true},
        {history, QKeySequence(Qt::CTRL | Qt::Key_H), "The archived downloads", false},
        {saveSelected, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), "Save the selected records as CSV", true},
        {classify, QKeySequence(Qt::Key_F7), "Classify the cleanroom from the complete ISO runs", false},
        {print, QKeySequence(Qt::CTRL | Qt::Key_P), "Preview and print the report", true},
        {erase, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), "Erase every record on the instrument", true},
        {saveAll, QKeySequence(Qt::CTRL | Qt::Key_S), "Save all records as CSV", true},
        {trend, QKeySequence(Qt::CTRL | Qt::Key_T), "A location's concentrations over time", false},
        {site, QKeySequence(Qt::CTRL | Qt::Key_E), "The site register: rooms, locations, limits, instruments", true},
        {quit, QKeySequence(Qt::CTRL | Qt::Key_Q), "Quit the program", true},
    };
    for (const Key& k : keys) {
        if (k.own) k.button->setShortcut(k.keys);
        k.button->setToolTip(
            QStringLiteral("%1 (%2)").arg(QLatin1String(k.what), k.keys.toString(QKeySequence::PortableText)));
    }

    connect(read, &QPushButton::clicked, this, &CDataTransferDlg::OnReadRecords);
    connect(erase, &QPushButton::clicked, this, &CDataTransferDlg::OnDeleteRecords);
    connect(saveSelected, &QPushButton::clicked, this, &CDataTransferDlg::OnSaveSelected);
    connect(saveAll, &QPushButton::clicked, this, &CDataTransferDlg::OnSaveAll);
    connect(print, &QPushButton::clicked, this, &CDataTransferDlg::OnDataPrint);
    connect(quit, &QPushButton::clicked, this, &CDataTransferDlg::OnQuit);
    connect(classify, &QPushButton::clicked, this, &CDataTransferDlg::OnClassify);
    connect(history, &QPushButton::clicked, this, &CDataTransferDlg::OnHistory);
    connect(trend, &QPushButton::clicked, this, &CDataTransferDlg::OnTrend);
    connect(site, &QPushButton::clicked, this, &CDataTransferDlg::OnSite);

    // How far a download has come, over the middle of the list.
    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName("progress");
    place(m_pProgress, du.Rect(117, 93, 200, 12), Anchor::Middle);
    m_pProgress->setTextVisible(true);
    m_pProgress->setAlignment(Qt::AlignCenter);
    m_pProgress->hide();
    // Its Cancel button (Escape does the same) ends the download before the
    // next packet.
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName("cancel");
    place(m_pCancel, du.Rect(192, 108, 50, 14), Anchor::Middle);
    m_pCancel->setFocusPolicy(Qt::NoFocus);
    m_pCancel->setAutoDefault(false);
    m_pCancel->hide();
    connect(m_pCancel, &QPushButton::clicked, this, [this] { m_pLogic->RequestCancel(); });
}

void CDataTransferDlg::SetupButtons() {
    for (const ButtonSpec& b : kButtons) {
        auto* button = findChild<CShadeButtonST*>(QString::number(b.id), Qt::FindDirectChildrenOnly);
        if (!button) continue;
        button->SetButtonIcon(ResourceIcon(b.icon), ResourceIconSize(b.icon));
        button->BuildShadeImages();
        button->SetFlatFocus(true);
        button->update();
    }
}

QRect CDataTransferDlg::Placed(QRect rect, Anchor anchor, QSize extra) {
    const int dx = extra.width();
    const int dy = extra.height();
    switch (anchor) {
        case Anchor::Fill:
            return rect.adjusted(0, 0, dx, dy);
        case Anchor::Middle:
            return rect.translated(dx / 2, dy / 2);
        case Anchor::BottomLeft:
            return rect.translated(0, dy);
        case Anchor::BottomCentre:
            return rect.translated(dx / 2, dy);
        case Anchor::BottomRight:
            return rect.translated(dx, dy);
        case Anchor::BottomStretch:
            return rect.translated(0, dy).adjusted(0, 0, dx, 0);
    }
    return rect;
}

void CDataTransferDlg::LayOut() {
    const QSize extra = (size() - m_templateSize).expandedTo(QSize(0, 0));
    for (const Place& p : m_places) p.widget->setGeometry(Placed(p.rect, p.anchor, extra));
    // The monitoring line takes the list's last line of room while it shows.
    if (m_pMonitoring != nullptr && m_pMonitoring->isVisible()) {
        const QRect list = m_pList->geometry();
        const int height = m_pMonitoring->sizeHint().height();
        m_pList->setGeometry(list.adjusted(0, 0, 0, -height));
        m_pMonitoring->setGeometry(list.x(), list.bottom() - height + 1, list.width(), height);
    }
}

std::unique_ptr<QSettings> CDataTransferDlg::OpenSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kSettingsFolder),
                                       QString::fromLatin1(kSettingsName));
}

void CDataTransferDlg::RestoreWindowPlace() {
    const QByteArray geometry = OpenSettings()->value(QString::fromLatin1(kGeometryKey)).toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
}

void CDataTransferDlg::SaveWindowPlace() {
    auto settings = OpenSettings();
    settings->setValue(QString::fromLatin1(kGeometryKey), saveGeometry());
    settings->sync();
}

QWidget* CDataTransferDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

// --- handlers ------------------------------------------------------------------------

std::string CDataTransferDlg::JudgeListed(bool warn) {
    m_levels.clear();
    m_monitoringText.clear();
    m_monitoringLevel = site::Level::None;
    std::string error;
    site::Register reg;
    const auto reader = archive::OpenStore(m_archivePath, archive::OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!reader || !reader->LoadRegister(reg, error) || reg.Empty()) {
        m_pList->viewport()->update();
        return {};
    }
    const site::DownloadJudgement judged = site::JudgeDownload(reg, site::FramesOf(m_listedImage));
    m_levels = judged.levels;
    m_monitoringText = QString::fromStdString(site::JudgementText(judged));
    m_monitoringLevel = judged.action > 0  ? site::Level::Action
                        : judged.alert > 0 ? site::Level::Alert
                                           : site::Level::None;
    std::string warnings;
    for (const std::string& w : judged.calibration) warnings += (warnings.empty() ? "" : "; ") + w;
    if (warn) m_calibrationWarnings = judged.calibration;
    m_pList->viewport()->update();
    return warnings;
}

void CDataTransferDlg::OnReadRecords() {
    m_pLogic->OnReadRecords();
    ShowMonitoring();
    // The download's decoding, archiving and table build are done: what
    // they used in passing goes back to the system.
    ReturnFreedMemory();
}

void CDataTransferDlg::ShowMonitoring() {
    m_pMonitoring->setText(m_monitoringText);
    QPalette pal = m_pMonitoring->palette();
    pal.setColor(QPalette::Window, m_monitoringLevel == site::Level::Action  ? QColor(kActionTint)
                                   : m_monitoringLevel == site::Level::Alert ? QColor(kAlertTint)
                                                                             : theme::Background());
    m_pMonitoring->setPalette(pal);
    m_pMonitoring->setVisible(!m_monitoringText.isEmpty());
    LayOut();
    if (m_calibrationWarnings.empty()) return;
    // An instrument past its calibration (or one the register does not
    // know): the title says so, and a message.
    std::string detail;
    for (const std::string& w : m_calibrationWarnings) detail += (detail.empty() ? "" : "\n") + w;
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + QString::fromStdString(m_calibrationWarnings.front()));
    m_calibrationWarnings.clear();
    SetMessage(kCheckCalibration, detail, MessageIcon::Warning);
    ShowMessage();
}

void CDataTransferDlg::OnDeleteRecords() {
    m_pLogic->OnDeleteRecords();
}

// The writer of the save flows: the CSV file, then its event with the
// file's SHA-256 in the audit trail.
CsvWriteFunction CDataTransferDlg::AuditedWriter() {
    return [this](const RecordStore& store, const std::string& path, int start, int end, std::string& cause) {
        if (!WriteCsvFileWithCause(store, path, start, end, cause)) return false;
        const nlohmann::json data = {{"file", path},
                                     {"rows", {start, end}},
                                     {"serial", store.ReportSerialNumber()},
                                     {"sha256", archive::Sha256Hex(CsvText(store, start, end))}};
        AuditEvent(audit::Action::Save, "records saved", data.dump());
        return true;
    };
}

void CDataTransferDlg::OnSaveAll() {
    if (m_pLogic->IsBusy() || m_refused.count(ctl::kSaveAll) > 0) return;
    SaveFlows flows(m_pLogic->Store(), *m_pList, static_cast<ISaveFlowView&>(*this));
    flows.SetWriter(AuditedWriter());
    flows.OnSaveAll();
}

void CDataTransferDlg::OnSaveSelected() {
    if (m_pLogic->IsBusy() || m_refused.count(ctl::kSaveSelected) > 0) return;
    SaveFlows flows(m_pLogic->Store(), *m_pList, static_cast<ISaveFlowView&>(*this));
    flows.SetWriter(AuditedWriter());
    flows.OnSaveSelected();
}

void CDataTransferDlg::OnDataPrint() {
    if (m_pLogic->IsBusy() || m_pLogic->Store().m_nRecordCount <= 0) return;
    if (m_seams.printPreview) {
        m_seams.printPreview();
        return;
    }
    oront::OnDataPrint(m_pLogic->Store(), this);
}

void CDataTransferDlg::OnClassify() {
    if (m_pLogic->IsBusy() || m_refused.count(kClassifyButton) > 0) return;
    if (!classify::HasCompleteRun(m_pLogic->Store())) {
        g_strMessage = kNoRunToClassify;
        ShowMessage();
        return;
    }
    if (m_seams.classify) {
        m_seams.classify();
        return;
    }
    const std::unique_ptr<QSettings> settings = OpenSettings();
    const auto serial = static_cast<std::uint32_t>(m_pLogic->Store().ReportSerialNumber());
    classify::CClassifyDlg dlg(m_pLogic->Store(), *settings, this, archive::ClassifySiteOf(m_archivePath, serial),
                               archive::CertificateIssuerOf(m_archivePath, serial));
    dlg.exec();
    // The classification as the dialog ended, with its settings.
    const classify::Settings chosen = dlg.CurrentSettings();
    const nlohmann::json data = {
        {"standard", static_cast<int>(chosen.standard)},
        {"class_tenths", chosen.target.classTenths},
        {"grade", chosen.target.grade == 0 ? std::string() : std::string(1, chosen.target.grade)},
        {"state", static_cast<int>(chosen.target.state)},
        {"sizes", chosen.sizes},
        {"counts", static_cast<int>(chosen.counts)},
        {"area_m2", chosen.areaM2},
        {"runs", dlg.Result().RunCount()},
        {"exit_status", dlg.Result().ExitStatus()},
        {"serial", serial}};
    AuditEvent(audit::Action::Classify, "classification run", data.dump());
}

void CDataTransferDlg::OnHistory() {
    if (m_pLogic->IsBusy()) return;
    archive::Download chosen;
    MemoryImage image;
    {
        const std::unique_ptr<QSettings> settings = OpenSettings();
        archive::CHistoryDlg dlg(m_archivePath, *settings, this);
        dlg.UseLocationSetting(LocationFromSettings());
        const bool accepted = dlg.exec() == QDialog::Accepted;
        // A new location of the archive is the window's from now on.
        if (dlg.LocationChanged() && LocationFromSettings()) SetArchive({}, m_bArchiveOff);
        if (!accepted) return;
        chosen = dlg.Chosen();
        image = dlg.ChosenImage();
    }
    ReadImage(std::move(image), archive::CHistoryDlg::DownloadName(chosen), false);
    // What is listed now is that archived download.
    if (m_pLogic->State() == Ready && m_pLogic->HasUnsavedRows()) m_pLogic->SetListedArchiveId(chosen.id);
}

void CDataTransferDlg::OnTrend() {
    if (m_pLogic->IsBusy()) return;
    if (m_seams.trend) {
        m_seams.trend(m_archivePath);
        return;
    }
    // The view keeps its location, size, time span and limit with the
    // window's settings.
    const std::unique_ptr<QSettings> settings = OpenSettings();
    archive::CTrendDlg dlg(m_archivePath, *settings, this);
    dlg.exec();
}

void CDataTransferDlg::OnSite() {
    if (m_pLogic->IsBusy()) return;
    bool saved = false;
    if (m_seams.site) {
        saved = m_seams.site(m_archivePath);
    } else {
        site::CSiteDlg dlg(m_archivePath, this);
        dlg.exec();
        saved = dlg.Saved();
    }
    // A new register judges the listed download again.
    if (saved && !m_listedImage.empty()) {
        JudgeListed(false);
        ShowMonitoring();
    }
}

bool CDataTransferDlg::LocationFromSettings() const {
    const char* env = std::getenv("ORONT_ARCHIVE");
    return m_archiveGiven.empty() && (env == nullptr || *env == '\0');
}

void CDataTransferDlg::SetArchive(const std::string& path, bool off) {
    // The command line first, then ORONT_ARCHIVE, then History's setting.
    m_archiveGiven = path;
    std::string chosen = path;
    if (LocationFromSettings()) chosen = archive::CHistoryDlg::ArchiveLocation(*OpenSettings());
    m_archivePath = chosen.empty() ? archive::DefaultArchivePath() : chosen;
    m_bArchiveOff = off;
    // No file the window saves or exports may replace the archive (or the
    // local spool of the archive on a server).
    const std::string file = archive::IsServerLocation(m_archivePath)
                                 ? archive::SpoolPath(m_archivePath, audit::CurrentIdentity().user)
                                 : m_archivePath;
    if (!file.empty()) ProtectFromOutput(archive::ArchiveFiles(file), "it is a file of the download archive");
    // The controls' roles are those of the archive's user list (once the
    // controls exist).
    if (m_pList != nullptr) ApplyRoles();
}

void CDataTransferDlg::ArchiveDownload(const MemoryImage& image) {
    // Monitoring first: the site register kept in the archive judges the
    // download, also one that is not archived (without a register nothing
    // is marked or said).
    m_listedImage = image;
    const std::string warnings = JudgeListed(true);
    if (!m_bArchiveRead) return;
    if (m_bArchiveOff || !archive::CHistoryDlg::ArchiveEveryDownload(*OpenSettings())) {
        // The measurements stay out of the archive; the action goes into its trail.
        const nlohmann::json data = {{"image_sha256", archive::Sha256Hex(std::string_view(
                                                          reinterpret_cast<const char*>(image.data()), image.size()))},
                                     {"records", image.size() >= 128 ? (image.size() - 64) / 128 : 0}};
        AuditEvent(audit::Action::Download, "download read, not archived", data.dump());
        return;
    }
    std::string message;
    archive::Download added;
    switch (archive::KeepDownload(m_archivePath, audit::CurrentIdentity(), image,
                                  static_cast<std::int64_t>(std::time(nullptr)), warnings, message, nullptr, {},
                                  &added)) {
        case archive::Kept::Archived:
            m_pLogic->SetListedArchiveId(added.id);
            return;
        case archive::Kept::Spooled:
            setWindowTitle(windowTitle() + kSpooledTitle);
            return;
        case archive::Kept::Failed:
            break;
    }
    // The download itself succeeded: the title says what was not kept, and
    // the next read's title replaces it.
    setWindowTitle(windowTitle() + QStringLiteral(" - not archived: ") + QString::fromStdString(message));
}

void CDataTransferDlg::OnQuit() {
    m_pLogic->RequestExit(ExitSource::QuitButton);
}

void CDataTransferDlg::OnAbout() {
    if (m_pLogic->IsBusy()) return;
    if (m_seams.about) {
        m_seams.about();
        return;
    }
    CAboutDlg about(this);
    about.exec();
}

void CDataTransferDlg::OnOpenImage() {
    if (m_pLogic->IsBusy()) return;
    std::string path;
    if (m_seams.openFile) {
        if (!m_seams.openFile(path)) return;
    } else {
        const QString file =
            QFileDialog::getOpenFileName(this, QStringLiteral("Open Memory Image"), QString(),
                                         QStringLiteral("Memory images (*.v208img *.img);;All files (*)"));
        if (file.isEmpty()) return;
        path = QFile::encodeName(file).toStdString();
    }
    OpenImage(QFile::decodeName(QByteArray::fromStdString(path)));
}

void CDataTransferDlg::OpenImage(const QString& path) {
    if (m_pLogic->IsBusy()) return;
    MemoryImage image;
    std::string reason;
    if (!LoadMemoryImage(QFile::encodeName(path).toStdString(), image, &reason)) {
        ShowImageFailure(ImageFailureText(path, reason));
        return;
    }
    ReadImage(std::move(image), QFileInfo(path).fileName(), true);
}

void CDataTransferDlg::ReadImage(MemoryImage image, const QString& name, bool archive) {
    // Played in real time, so that an image that stops short fails as the
    // instrument it was dumped from did.
    SimulatedInstrument instrument(std::move(image));
    m_readingName = name;
    m_bArchiveRead = archive;
    m_pLogic->ReadRecordsFrom(instrument, name.toStdString());
    ShowMonitoring();
    m_readingName.clear();
    m_bArchiveRead = true;
}

QString CDataTransferDlg::ImageFailureText(const QString& path, const std::string& reason) {
    return QStringLiteral("The memory image %1 cannot be played:\n%2")
        .arg(QDir::toNativeSeparators(path), QString::fromStdString(reason));
}

void CDataTransferDlg::OpenImageLater(const QString& path) {
    QTimer::singleShot(0, this, [this, path] { OpenImage(path); });
}

void CDataTransferDlg::ShowImageFailure(const QString& text) {
    if (m_seams.message) {
        g_strMessage = text.toStdString();
        m_seams.message();
        return;
    }
    // The message dialogs are sized for their fixed texts; a path and a
    // reason need a box that fits them.
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(msg::kAppTitle), text, QMessageBox::Ok, this);
    box.exec();
}

void CDataTransferDlg::accept() {
    // Enter is no way out of the window (the dialog's OK is not one either).
}

void CDataTransferDlg::reject() {
    m_pLogic->RequestExit(ExitSource::EscapeKey);
}

QString CDataTransferDlg::ProgressText() const {
    return m_pProgress->isVisible() ? m_pProgress->text() : QString();
}

// --- events --------------------------------------------------------------------------

void CDataTransferDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!m_background.Paint(painter, rect(), devicePixelRatioF())) painter.fillRect(rect(), theme::Background());
}

void CDataTransferDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOut();
}

void CDataTransferDlg::closeEvent(QCloseEvent* event) {
    // The logic decides; when it ends the window, done() hides it.
    event->ignore();
    m_pLogic->RequestExit(ExitSource::CloseCommand);
}

void CDataTransferDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || (event->modifiers() == Qt::KeypadModifier && key == Qt::Key_Enter)) {
        if (key == Qt::Key_Escape) {
            m_pLogic->RequestExit(ExitSource::EscapeKey);
            return;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // A focused push button takes Enter itself; on the record list
            // Enter opens or closes the ISO group at the row, as a click
            // does; elsewhere it does nothing.
            if (qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
                if (focusWidget() == m_pList && !m_pLogic->IsBusy()) m_pList->Logic().OnClickRecordTable();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}

void CDataTransferDlg::contextMenuEvent(QContextMenuEvent* event) {
#ifdef Q_OS_WIN
    QDialog::contextMenuEvent(event);
#else
    // Without a system menu to extend, the About entry lives on the window's
    // own context menu: a right click on its surface (or on a label or the
    // group box drawn on it). A right click on the list or a button, which
    // they leave unhandled, reaches the window too and opens nothing.
    QWidget* under = childAt(event->pos());
    const bool surface = under == nullptr || qobject_cast<QLabel*>(under) || qobject_cast<QGroupBox*>(under);
    if (event->reason() != QContextMenuEvent::Mouse || !surface) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromLatin1(msg::kAboutMenuEntry));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    if (menu.exec(event->globalPos()) == about) OnAbout();
#endif
}

namespace {
// The one local file a drag brings, or "" when it brings anything else.
QString DraggedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
}  // namespace

void CDataTransferDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_pLogic->IsBusy() && !DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CDataTransferDlg::dropEvent(QDropEvent* event) {
    const QString file = DraggedFile(event->mimeData());
    if (m_pLogic->IsBusy() || file.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Read after the drop has been answered, not inside its delivery.
    OpenImageLater(file);
}

void CDataTransferDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
#ifdef Q_OS_WIN
    if (!m_bSystemMenuReady) {
        HMENU menu = ::GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
        if (menu != nullptr) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(menu, MF_STRING, kSysCommandAbout, msg::kAboutMenuEntry);
        }
        m_bSystemMenuReady = true;
    }
#endif
}

#ifdef Q_OS_WIN
bool CDataTransferDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "windows_generic_MSG") {
        const MSG* native = static_cast<const MSG*>(message);
        if (native->message == WM_SYSCOMMAND && (native->wParam & 0xFFF0) == static_cast<WPARAM>(kSysCommandAbout)) {
            OnAbout();
            *result = 0;
            return true;
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

bool CDataTransferDlg::event(QEvent* event) {
    // A Ctrl key released while another window had the focus is never seen:
    // drop the flag when the window loses activation, so the list does not
    // go on ignoring clicks.
    if (event->type() == QEvent::WindowDeactivate) MainWindowLogic::OnKeyUp(kCtrlKeyCode);
    return QDialog::event(event);
}

namespace {
// Input of the user, which reaches nothing but the Cancel button during a
// download.
bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
    }
}
}  // namespace

bool CDataTransferDlg::eventFilter(QObject* watched, QEvent* event) {
    // The Ctrl key seen anywhere in this window (the window or one of its
    // controls) sets and clears the flag the record list reads.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget == this || isAncestorOf(widget)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Control) {
                if (event->type() == QEvent::KeyPress)
                    MainWindowLogic::OnKeyDown(kCtrlKeyCode);
                else
                    MainWindowLogic::OnKeyUp(kCtrlKeyCode);
            }
        }
    }
    // While a download runs, the window keeps painting (Progress) but takes
    // no input except the Cancel button and Escape, which cancel it.
    if (m_pLogic->IsBusy() && watched->isWidgetType()) {
        if (watched == m_pCancel) {
            // The arrow over the button that can be pressed.
            if (event->type() == QEvent::Enter) QApplication::changeOverrideCursor(Qt::ArrowCursor);
            if (event->type() == QEvent::Leave) QApplication::changeOverrideCursor(Qt::WaitCursor);
        } else if (IsUserInput(event->type())) {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                m_pLogic->RequestCancel();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// --- MainWindowView ----------------------------------------------------------------

void CDataTransferDlg::ShowMessage() {
    if (m_seams.message) {
        m_seams.message();
        g_messageExtras = MessageExtras{};  // shown with the message, as the dialog does
        return;
    }
    CMessageDlg1 dlg(this);
    dlg.exec();
}

int CDataTransferDlg::Ask() {
    if (m_seams.ask) {
        const int answer = m_seams.ask();
        g_messageExtras = MessageExtras{};
        return answer;
    }
    CMessageDlg2 dlg(this);
    return dlg.exec();
}

void CDataTransferDlg::ShowStatus(const std::string& text) {
    m_status = QString::fromStdString(text);
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + m_status);
}

void CDataTransferDlg::EnableButton(int id, bool enable) {
    m_wanted[id] = enable;
    if (QWidget* w = Control(id)) w->setEnabled(enable && m_refused.count(id) == 0);
}

void CDataTransferDlg::ApplyRoles() {
    m_refused.clear();
    std::string error;
    // No archive yet, or one that cannot be read: nothing is refused (its
    // first writer becomes its administrator).
    if (const auto reader =
            archive::OpenStore(m_archivePath, archive::OpenMode::ReadOnly, audit::CurrentIdentity(), error)) {
        for (const auto& [id, action] :
             {std::pair{ctl::kReadRecords, audit::Action::Download},
              std::pair{ctl::kDeleteRecords, audit::Action::Erase}, std::pair{ctl::kSaveSelected, audit::Action::Save},
              std::pair{ctl::kSaveAll, audit::Action::Save}, std::pair{int{kClassifyButton}, audit::Action::Classify}})
            if (std::string why; !reader->Check(action, why) && reader->Refused())
                m_refused[id] = QString::fromStdString(why);
    }
    for (const int id :
         {ctl::kReadRecords, ctl::kDeleteRecords, ctl::kSaveSelected, ctl::kSaveAll, int{kClassifyButton}}) {
        QWidget* w = Control(id);
        if (w == nullptr) continue;
        if (m_tips.count(id) == 0) m_tips[id] = w->toolTip();
        // As the window's state wants it, unless the role refuses it.
        if (m_wanted.count(id) == 0) m_wanted[id] = w->isEnabled();
        const auto refused = m_refused.find(id);
        w->setToolTip(refused != m_refused.end() ? refused->second : m_tips[id]);
        w->setEnabled(m_wanted[id] && refused == m_refused.end());
    }
}

void CDataTransferDlg::AuditEvent(audit::Action action, const std::string& event, const std::string& data) {
    std::string error;
    switch (archive::KeepEvent(m_archivePath, audit::CurrentIdentity(), action, event, data, {}, error)) {
        case archive::Kept::Archived:
            return;
        case archive::Kept::Spooled:
            setWindowTitle(windowTitle() + kSpooledTitle);
            return;
        case archive::Kept::Failed:
            break;
    }
    setWindowTitle(windowTitle() + QStringLiteral(" - not in the audit trail: ") + QString::fromStdString(error));
}

void CDataTransferDlg::RecordsErased() {
    AuditEvent(audit::Action::Erase, "instrument erased", "{}");
}

void CDataTransferDlg::SetLabelText(int id, const std::string& text) {
    if (auto* label = qobject_cast<QLabel*>(Control(id))) label->setText(Latin1(text));
}

void CDataTransferDlg::ShowLabel(int id, bool show) {
    if (QWidget* w = Control(id)) w->setVisible(show);
}

void CDataTransferDlg::SetFocus(int id) {
    if (QWidget* w = Control(id)) w->setFocus(Qt::OtherFocusReason);
}

void CDataTransferDlg::SetWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_nLastProgressPaint = 0;
    } else {
        QApplication::restoreOverrideCursor();
        m_pProgress->hide();
        m_pCancel->hide();
    }
}

void CDataTransferDlg::ClearTable() {
    // The list is emptied for the records of a new read: the title names
    // the file or archived download they come from, or none for the
    // instrument.
    const QString title = QString::fromLatin1(msg::kAppTitle);
    setWindowTitle(m_readingName.isEmpty() ? title : title + QStringLiteral(" - ") + m_readingName);
    m_levels.clear();
    m_listedImage.clear();
    m_monitoringText.clear();
    m_monitoringLevel = site::Level::None;
    m_calibrationWarnings.clear();
    m_pList->SuspendRedraw();
    m_pList->DeleteAllItems();
    m_pList->ResumeRedraw();
    m_pList->repaint();
}

void CDataTransferDlg::FillTable() {
    m_pList->FillRecordTable();
}

void CDataTransferDlg::SelectFirstRow() {
    if (m_pList->GetItemCount() <= 0) return;
    m_pList->SelectRow(0);
    m_pList->SetSelectionMark(0);
    m_pList->selectionModel()->setCurrentIndex(m_pList->model()->index(0, 0), QItemSelectionModel::NoUpdate);
}

void CDataTransferDlg::Progress(int received, int count) {
    // Keep the window painted and show how far the download has come; user
    // input reaches only the Cancel button (and Escape) until the download
    // ends (eventFilter). Painting every record would slow a full memory
    // down, so the window is refreshed at most every 50 ms (and at the end).
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    const qint64 now = clock.elapsed() + 1;
    if (received < count && m_nLastProgressPaint != 0 && now - m_nLastProgressPaint < 50) return;
    m_nLastProgressPaint = now;
    m_pProgress->setRange(0, count);
    m_pProgress->setValue(received);
    m_pProgress->setFormat(QStringLiteral("%1 of %2 records").arg(received).arg(count));
    if (!m_pProgress->isVisible()) {
        m_pProgress->show();
        m_pProgress->raise();
        m_pCancel->show();
        m_pCancel->raise();
    }
    QCoreApplication::processEvents();
}

void CDataTransferDlg::EndDialog(int code) {
    SaveWindowPlace();
    QDialog::done(code);
}

// --- ISaveFlowView -------------------------------------------------------------------

bool CDataTransferDlg::RunSaveFileDialog(const std::string& initialName, const std::string& filter,
                                         const std::string& defaultExtension, std::string& path) {
    if (m_seams.saveFile) return m_seams.saveFile(path);
    QFileDialog dialog(this);
    SetupSaveFileDialog(dialog, initialName, filter, defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
    return true;
}

bool CDataTransferDlg::RunRangeDialog() {
    if (m_seams.range) return m_seams.range();
    CSaveDataDlg dlg(m_pLogic->Store(), *m_pList, this);
    dlg.SetMessageHandler([this] { ShowMessage(); });
    return dlg.DoModal() == CSaveDataDlg::kIdOk;
}

void CDataTransferDlg::FocusRecordTable() {
    SetFocus(ctl::kRecordList);
}

void CDataTransferDlg::ClearDataNotSaved() {
    m_pLogic->OnSaveFinished(true);
}

}  // namespace oront
