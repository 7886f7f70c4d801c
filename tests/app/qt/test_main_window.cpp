// The main window on the offscreen platform, playing the demo instrument.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowOptions.h"
#include "app/qt/AboutDlg.h"
#include "app/qt/DataTransferDlg.h"
#include "app/qt/MessageDlg.h"
#include "archive/Archive.h"
#include "archive/ArchiveText.h"
#include "archive/qt/HistoryDlg.h"
#include "archive/qt/TrendDlg.h"
#include "base/Messages.h"
#include "classify/qt/ClassifyDlg.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/LimitEdit.h"
#include "controls/qt/Resources.h"
#include "controls/qt/WindowFit.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "export/qt/SaveDataDlg.h"
#include "print/qt/PrintPreViewParent.h"
#include "records/CFormat.h"
#include "site/Register.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"
#include "support/qt/Pictures.h"
#include "table/DragSelect.h"
#include "table/RecordTable.h"
#include "table/qt/ReportCtrl.h"

// Readable values in the failure messages.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace oront {
namespace {

constexpr int kActionButtons[] = {1000, 1002, 1003, 1005, 1006, 1028};
constexpr int kValueLabels[] = {1010, 1012, 1014, 1016};

// The window keeps its size and place in settings of the tests' own, never
// in the user's.
class PrivateSettings : public ::testing::Environment {
public:
    void SetUp() override {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(test::FreshTestFolder("main-window-settings").string()));
    }
};
const auto* const kPrivateSettings = ::testing::AddGlobalTestEnvironment(new PrivateSettings);

// A main window on a simulated instrument, with the modal dialogs replaced:
// messages and questions are recorded, questions answered from `answers`.
// The window starts without a kept size and place unless `keepPlace`.
struct MainWindowHarness {
    explicit MainWindowHarness(MemoryImage image, SimulatorFaults faults = {}, bool keepPlace = false) {
        if (!keepPlace) CDataTransferDlg::OpenSettings()->clear();
        faults.realTimeSilence = false;
        auto backend = std::make_unique<SimulatedInstrument>(std::move(image), faults);
        sim = backend.get();
        dlg = std::make_unique<CDataTransferDlg>(std::move(backend));
        CDataTransferDlg::DialogSeams seams;
        seams.message = [this] { messages.push_back(g_strMessage); };
        seams.ask = [this] {
            questions.push_back(g_strMessage);
            const int a = answers.empty() ? 1 : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            return a;
        };
        seams.about = [this] { ++abouts; };
        seams.classify = [this] { ++classifies; };
        seams.trend = [this](const std::string& archive) { trends.push_back(archive); };
        seams.site = [this](const std::string& archive) { return site ? site(archive) : false; };
        seams.openFile = [this](std::string& path) {
            path = openPath;
            return !path.empty();
        };
        dlg->SetDialogSeams(seams);
        dlg->show();
        dlg->activateWindow();
        (void)QTest::qWaitForWindowExposed(dlg.get());
    }
    QWidget* W(int id) const { return dlg->Control(id); }
    bool Enabled(int id) const { return W(id)->isEnabled(); }
    bool Shown(int id) const { return W(id)->isVisible(); }
    QString Text(int id) const { return qobject_cast<QLabel*>(W(id))->text(); }

    SimulatedInstrument* sim = nullptr;
    std::unique_ptr<CDataTransferDlg> dlg;
    std::vector<std::string> messages, questions;
    std::vector<int> answers;
    int abouts = 0;
    int classifies = 0;
    std::vector<std::string> trends;  // the archive each Trend view was opened on
    std::string openPath;             // what the open-file dialog answers; "" for Cancel
    // What the Site view does with the archive; true when it saved.
    std::function<bool(const std::string&)> site;
};

// Every cell of the record list, row by row.
QStringList TableTexts(const MainWindowHarness& h) {
    const QAbstractItemModel* model = qobject_cast<QAbstractItemView*>(h.W(1007))->model();
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c) texts << model->index(r, c).data().toString();
    return texts;
}

// The controls of the template with their places in dialog units, and how
// they follow a larger window: L, C, R keep their distance from the bottom
// and the left side, the middle or the right side; S also stretches with
// the width; F (the list) takes all extra room.
struct Place {
    int id, x, y, w, h;
    const char* text;
    char follows;
};
constexpr Place kPlaces[] = {
    {1013, 239, 203, 34, 9, "Ch3 Size :", 'C'},     {1014, 272, 203, 36, 9, "5.0um", 'C'},
    {1015, 352, 203, 24, 9, "Unit :", 'R'},         {1016, 383, 203, 26, 9, "CNT", 'R'},
    {1003, 182, 218, 72, 16, "Save Selected", 'C'}, {1009, 13, 203, 34, 9, "Ch1 Size :", 'L'},
    {1010, 50, 203, 36, 9, "0.3um", 'L'},           {1011, 126, 203, 34, 9, "Ch2 Size:", 'C'},
    {1012, 161, 203, 36, 9, "0.5um", 'C'},          {-1, 6, 195, 422, 22, "", 'S'},
    {1000, 6, 218, 72, 16, "Read Records", 'L'},    {1002, 6, 238, 72, 16, "Delete Records", 'L'},
    {1006, 356, 238, 72, 16, "Quit", 'R'},          {1005, 183, 238, 72, 16, "Save All", 'C'},
    {1007, 6, 7, 422, 191, nullptr, 'F'},           {1028, 356, 218, 72, 16, "Data Print", 'R'},
    {1100, 269, 218, 72, 16, "Classify", 'C'},      {1101, 94, 218, 72, 16, "History", 'C'},
    {1102, 269, 238, 72, 16, "Trend", 'C'},         {1103, 94, 238, 72, 16, "Site", 'C'}};

// Every control at its place in a window `dx` x `dy` pixels larger than the
// template.
void ExpectPlaces(const MainWindowHarness& h, int dx, int dy) {
    const DialogUnits du(DialogFont("Arial", 9));
    for (const Place& p : kPlaces) {
        const QRect t = du.Rect(p.x, p.y, p.w, p.h);
        const QRect want = p.follows == 'F'   ? t.adjusted(0, 0, dx, dy)
                           : p.follows == 'S' ? t.adjusted(0, dy, dx, dy)
                                              : t.translated(p.follows == 'L'   ? 0
                                                             : p.follows == 'C' ? dx / 2
                                                                                : dx,
                                                             dy);
        EXPECT_EQ(h.W(p.id)->geometry(), want) << p.id << " in a window larger by " << dx << " x " << dy;
    }
}

TEST(MainWindow, LayoutFollowsTheTemplateInDialogUnits) {
    MainWindowHarness h(MakeDemoImage());
    EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software");
    const DialogUnits du(DialogFont("Arial", 9));
    EXPECT_EQ(h.dlg->size(), du.Size(435, 259));
    EXPECT_EQ(h.dlg->minimumSize(), du.Size(435, 259));
    EXPECT_NE(h.dlg->minimumSize(), h.dlg->maximumSize()) << "sizable";
    EXPECT_TRUE(h.dlg->windowFlags() & Qt::WindowMaximizeButtonHint);

    ExpectPlaces(h, 0, 0);
    // The buttons the template does not have found free room.
    for (const Place& a : kPlaces) {
        for (const Place& b : kPlaces) {
            const bool button = qobject_cast<QPushButton*>(h.W(a.id)) || qobject_cast<QPushButton*>(h.W(b.id));
            if (a.id < b.id && button) {
                EXPECT_FALSE(h.W(a.id)->geometry().intersects(h.W(b.id)->geometry())) << a.id << " and " << b.id;
            }
        }
    }
    for (const Place& p : kPlaces) {
        QWidget* w = h.W(p.id);
        if (p.text == nullptr) continue;
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(b->text(), p.text) << p.id;
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(l->text(), p.text) << p.id;
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            EXPECT_EQ(g->title(), p.text);
        }
    }

    // Colours of the labels: captions black, values violet, on the blue-grey brush.
    for (int id : {1009, 1011, 1013, 1015, 1010, 1012, 1014, 1016}) {
        const QPalette pal = h.W(id)->palette();
        EXPECT_EQ(pal.color(QPalette::Window), QColor(144, 183, 204)) << id;
        const bool value = id % 2 == 0;
        EXPECT_EQ(pal.color(QPalette::WindowText), value ? QColor(128, 0, 255) : QColor(0, 0, 0)) << id;
    }

    // Tab order as the controls are seen: the list, then the buttons row by
    // row, left to right; every button's tooltip names its shortcut.
    const int order[] = {1007, 1000, 1101, 1003, 1100, 1028, 1002, 1103, 1005, 1102, 1006};
    const char* const shortcuts[] = {nullptr,          "Ctrl+R", "Ctrl+H", "Ctrl+Shift+S", "F7",    "Ctrl+P",
                                     "Ctrl+Shift+Del", "Ctrl+E", "Ctrl+S", "Ctrl+T",       "Ctrl+Q"};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        auto* button = qobject_cast<QPushButton*>(h.W(order[i]));
        ASSERT_NE(button, nullptr) << order[i];
        EXPECT_TRUE(button->toolTip().endsWith(QStringLiteral("(%1)").arg(QLatin1String(shortcuts[i]))))
            << order[i] << ": " << button->toolTip().toStdString();
        if (!button->shortcut().isEmpty()) {
            EXPECT_EQ(button->shortcut().toString(QKeySequence::PortableText), QLatin1String(shortcuts[i]));
        }
    }
    auto nextTabStop = [&](QWidget* w) {
        do w = w->nextInFocusChain();
        while ((w->focusPolicy() & Qt::TabFocus) == 0);
        return w;
    };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(nextTabStop(h.W(order[i])), h.W(order[i + 1])) << order[i];
}

TEST(MainWindow, SizableWithTheListTakingTheRoomAndItsPlaceKeptBetweenRuns) {
    const QSize minimum = DialogUnits(DialogFont("Arial", 9)).Size(435, 259);
    {
        MainWindowHarness h(MakeDemoImage());
        QTest::mouseClick(h.W(1000), Qt::LeftButton);
        auto* table = qobject_cast<CReportCtrl*>(h.W(1007));
        const auto shownWidths = [table] {
            std::vector<int> widths;
            for (int c = 0; c < table->GetColumnCount(); ++c) widths.push_back(table->columnWidth(c));
            return widths;
        };
        std::vector<int> given;
        for (int c = 0; c < table->GetColumnCount(); ++c) given.push_back(table->GetColumnWidth(c));
        EXPECT_EQ(shownWidths(), given) << "at the template's size the columns have their own widths";
        h.dlg->resize(minimum + QSize(141, 97));  // an odd width: the middle moves by half, rounded down
        ExpectPlaces(h, 141, 97);
        // The extra width goes to the shown columns, in proportion to theirs.
        const std::vector<int> wide = shownWidths();
        int added = 0;
        int total = 0;
        for (std::size_t c = 0; c < given.size(); ++c) {
            if (given[c] == 0) continue;
            added += wide[c] - given[c];
            total += given[c];
        }
        EXPECT_EQ(added, 141);
        for (std::size_t c = 0; c < given.size(); ++c) {
            if (given[c] == 0) continue;
            EXPECT_NEAR(wide[c] - given[c], 141.0 * given[c] / total, 1.0) << "column " << c;
        }
        EXPECT_EQ(table->GetColumnWidth(col::Ch1), given[col::Ch1]) << "the widths given stay as they were";
        QTest::qWait(20);
        const QImage shot = test::Shot(*h.dlg);
        ASSERT_EQ(shot.size(), h.dlg->size() * h.dlg->devicePixelRatio());
        test::ExpectBackgroundAtTheCorners(shot, false);
        // The buttons are drawn at their new places, the list over all its room.
        for (int id : {1000, 1005, 1006}) {
            const QRect r = h.W(id)->geometry();
            EXPECT_EQ(shot.copy(r), test::Shot(*h.W(id))) << id;
        }
        const QRect list = h.W(1007)->geometry();
        EXPECT_EQ(shot.copy(list), test::Shot(*h.W(1007)));
        EXPECT_TRUE(shot.save(QString::fromStdString((test::TestOutputFolder() / "main-window-resized.png").string())));

        h.dlg->resize(100, 100);
        EXPECT_EQ(h.dlg->size(), minimum) << "never below the template's size";
        ExpectPlaces(h, 0, 0);

        h.dlg->showMaximized();
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.dlg->size() != minimum; }));
        ExpectPlaces(h, h.dlg->width() - minimum.width(), h.dlg->height() - minimum.height());
        h.dlg->showNormal();
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.dlg->size() == minimum; }));

        h.dlg->resize(minimum + QSize(60, 40));
        h.dlg->move(37, 29);
        QTest::mouseClick(h.W(1006), Qt::LeftButton);  // answered OK
        ASSERT_FALSE(h.dlg->isVisible());
    }
    MainWindowHarness again(MakeDemoImage(), {}, true);
    EXPECT_EQ(again.dlg->size(), minimum + QSize(60, 40));
    EXPECT_EQ(again.dlg->pos(), QPoint(37, 29));
    ExpectPlaces(again, 60, 40);
}

// Every window opens within the screen's available area, frame and title
// bar included, whatever the scale factor (the test command runs this test
// again at QT_SCALE_FACTOR=2 on a 1600 x 1000 screen): the main window from a
// place that no longer fits, and each dialog it opens; a dialog whose content
// needs more room than the screen has scrolls it.
TEST(MainWindow, EveryWindowOpensWithinTheScreen) {
    InstallWindowFit();
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    const QRect area = h.dlg->screen()->availableGeometry();
    // The scaled run's desktop of 1600 x 1000 is 800 x 500 at twice the scale.
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2")) {
        EXPECT_EQ(area.size(), QSize(800, 500));
    }
    const auto expectWithin = [&area](QWidget& window, const char* what) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window)) << what;
        QApplication::processEvents();
        const QMargins frame = WindowFrameOf(&window);
        EXPECT_TRUE(area.contains(window.geometry().marginsAdded(frame)))
            << what << ": " << window.geometry().x() << "," << window.geometry().y() << " " << window.geometry().width()
            << "x" << window.geometry().height() << " in " << area.width() << "x" << area.height();
        // Every button can be reached: on the window, or on its content
        // that scrolls.
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            if (!button->isVisibleTo(&window)) continue;
            const bool scrolls = window.findChild<QScrollArea*>(QStringLiteral("contentScroll")) != nullptr;
            EXPECT_TRUE(scrolls || window.rect().contains(QRect(button->mapTo(&window, QPoint()), button->size())))
                << what << ": " << button->text().toStdString();
        }
    };
    // A place from a larger screen: partly outside and larger than this one.
    h.dlg->hide();
    h.dlg->setGeometry(area.right() - 100, area.top() - 200, area.width() + 300, area.height() + 100);
    expectWithin(*h.dlg, "the main window");

    const std::string archive = (test::FreshTestFolder("fit-archive") / "archive.sqlite").string();
    {
        archive::Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(archive, archive::OpenMode::ReadWrite, error) &&
                    a.AddDownload(MakeDemoImage(), 1, nullptr, error))
            << error;
    }
    const std::unique_ptr<QSettings> settings = CDataTransferDlg::OpenSettings();
    classify::CClassifyDlg classify(h.dlg->Logic().Store(), *settings, h.dlg.get());
    expectWithin(classify, "Classify");
    const int scale = static_cast<int>(classify.devicePixelRatioF());
    EXPECT_TRUE(classify.grab().save(QString::fromStdString(
        (test::TestOutputFolder("screenshots") / ("classify-dialog-fitted@" + std::to_string(scale) + "x.png"))
            .string())));
    archive::CTrendDlg trend(archive, h.dlg.get());
    expectWithin(trend, "Trend");
    archive::CHistoryDlg history(archive, *settings, h.dlg.get());
    expectWithin(history, "History");
    CSaveDataDlg range(h.dlg->Logic().Store(), *qobject_cast<CReportCtrl*>(h.W(1007)), h.dlg.get());
    expectWithin(range, "the record range");
    SetMessage(msg::kSaveFailed, "Permission denied: " + std::string(300, 'x'), MessageIcon::Error);
    CMessageDlg1 message(h.dlg.get());
    expectWithin(message, "a message with a long cause");
    CAboutDlg about(h.dlg.get());
    expectWithin(about, "About");
    PrintRequest request;
    request.nRowCount = h.dlg->Logic().Store().m_nReportLineCount;
    request.hOwnerWnd = h.dlg.get();
    CPrintPreViewParent preview(request, MakeReportCallback(h.dlg->Logic().Store()), h.dlg.get());
    expectWithin(preview, "the print preview");
}

TEST(MainWindow, StartUpEnablesOnlyReadAndQuitAndHidesTheValues) {
    MainWindowHarness h(MakeDemoImage());
    for (int id : kActionButtons) EXPECT_EQ(h.Enabled(id), id == 1000 || id == 1006) << id;
    for (int id : kValueLabels) EXPECT_FALSE(h.Shown(id)) << id;
    for (int id : {1009, 1011, 1013, 1015}) EXPECT_TRUE(h.Shown(id)) << id;
    EXPECT_EQ(h.dlg->focusWidget(), h.W(1000));

    QTest::mouseClick(h.W(1006), Qt::LeftButton);
    EXPECT_TRUE(h.questions.empty());
    EXPECT_FALSE(h.dlg->isVisible());
    EXPECT_EQ(h.dlg->result(), 1);
}

// Classify (its button or F7) opens the dialog once the download has a
// complete ISO run, and says why not before.
TEST(MainWindow, ClassifyFromItsButtonAndF7) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1100), Qt::LeftButton);
    EXPECT_EQ(h.messages, std::vector<std::string>{CDataTransferDlg::kNoRunToClassify});
    EXPECT_EQ(h.classifies, 0);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    QTest::mouseClick(h.W(1100), Qt::LeftButton);
    EXPECT_EQ(h.classifies, 1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.dlg.get()));
    QTest::keyClick(h.dlg.get(), Qt::Key_F7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.classifies == 2; }));
    EXPECT_EQ(h.messages.size(), 1u);
}

// The classification dialog's run, as it ended, is in the audit trail with
// its settings.
TEST(MainWindow, AClassificationInTheWindowIsInTheAuditTrail) {
    const std::string path = (test::FreshTestFolder("main-window-classify-audit") / "archive.sqlite").string();
    MainWindowHarness h(MakeDemoImage());
    h.dlg->SetArchive(path, false);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    CDataTransferDlg::DialogSeams seams;
    seams.message = [&] { h.messages.push_back(g_strMessage); };
    h.dlg->SetDialogSeams(seams);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        auto* dlg = qobject_cast<classify::CClassifyDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr || !dlg->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        dlg->reject();
    });
    poll->start(5);
    QTest::mouseClick(h.W(1100), Qt::LeftButton);
    archive::Archive a;
    std::string error;
    std::vector<audit::Entry> runs;
    archive::AuditFilter filter;
    filter.event = "classification run";
    ASSERT_TRUE(a.Open(path, archive::OpenMode::ReadOnly, error) && a.AuditTrail(filter, runs, error)) << error;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].data.find("\"standard\""), std::string::npos) << runs[0].data;
    EXPECT_NE(runs[0].data.find("\"runs\""), std::string::npos) << runs[0].data;
}

// The archived downloads of `path`, in the order of archiving.
std::vector<archive::Download> ArchivedDownloads(const std::string& path) {
    archive::Archive a;
    std::string error;
    std::vector<archive::Download> downloads;
    EXPECT_TRUE(a.Open(path, archive::OpenMode::ReadOnly, error) && a.Downloads(downloads, error)) << error;
    return downloads;
}

// Answers the History dialog with `answer` once it shows (closing it if the
// answer left it open); true once answered.
std::shared_ptr<bool> WhenHistoryShows(std::function<void(archive::CHistoryDlg&)> answer) {
    auto answered = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer, answered] {
        auto* dlg = qobject_cast<archive::CHistoryDlg*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        answer(*dlg);
        *answered = true;
        if (dlg->isVisible()) dlg->reject();
    });
    poll->start(5);
    return answered;
}

// Every download is archived, that of a memory image file too; History
// (its button, Ctrl+H) lists them and opens one as it was read, without
// archiving it again; its box turns archiving off for good. Trend (its
// button, Ctrl+T) opens on the same archive.
TEST(MainWindow, DownloadsAreArchivedAndHistoryOpensOneAsItWasRead) {
    const std::filesystem::path folder = test::FreshTestFolder("main-window-archive");
    const std::string path = (folder / "archive.sqlite").string();
    const std::string threeFile = (folder / "three.v208img").string();
    ASSERT_TRUE(SaveMemoryImage(threeFile, test::ThreeRecordImage()));
    MainWindowHarness h(MakeDemoImage());
    h.dlg->SetArchive(path, false);
    EXPECT_EQ(h.dlg->ArchivePath(), path);

    QString status;
    int rows = -1;
    auto answered = WhenHistoryShows([&](archive::CHistoryDlg& dlg) {
        status = dlg.StatusText();
        rows = dlg.Table()->rowCount();
        dlg.reject();
    });
    QTest::mouseClick(h.W(1101), Qt::LeftButton);
    ASSERT_TRUE(*answered);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(status,
              "No download has been archived yet in " + QDir::toNativeSeparators(QString::fromStdString(path)) + ".");

    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    const QStringList demo = TableTexts(h);
    h.dlg->OpenImage(QString::fromStdString(threeFile));
    const QStringList three = TableTexts(h);
    EXPECT_NE(three, demo);
    std::vector<archive::Download> downloads = ArchivedDownloads(path);
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0].recordCount, 300);
    EXPECT_EQ(downloads[1].recordCount, 3);

    // A double click on the first download, after Verify found the archive
    // sound.
    answered = WhenHistoryShows([&](archive::CHistoryDlg& dlg) {
        dlg.findChild<QPushButton*>("verify")->click();
        status = dlg.StatusText();
        rows = dlg.Table()->rowCount();
        QTableWidget* table = dlg.Table();
        const QPoint row0 = table->visualRect(table->model()->index(0, 1)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row0);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row0);
    });
    h.dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.dlg.get()));
    QTest::keyClick(h.dlg.get(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return *answered && h.dlg->Logic().State() == Ready; }));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(status, "The archive is sound (2 downloads, 303 records; SQLite's integrity check: ok).");
    EXPECT_EQ(TableTexts(h), demo);
    // The records it replaced, unsaved, were in the archive: the title says so.
    EXPECT_EQ(h.dlg->windowTitle().toStdString(), "Oront V208 Software - Download 1 of " +
                                                      archive::LocalTimeText(downloads[0].time) +
                                                      " - the records listed before are in the archive as download 2");
    EXPECT_TRUE(h.dlg->Logic().DataNotSaved());
    EXPECT_TRUE(h.messages.empty());
    EXPECT_EQ(ArchivedDownloads(path).size(), 2u) << "an archived download is not archived again";

    // Enter opens the latest, which is chosen at first; the box is cleared.
    answered = WhenHistoryShows([&](archive::CHistoryDlg& dlg) {
        dlg.findChild<QCheckBox*>("archiveEvery")->click();
        QTest::keyClick(dlg.Table(), Qt::Key_Return);
    });
    QTest::mouseClick(h.W(1101), Qt::LeftButton);
    ASSERT_TRUE(*answered);
    EXPECT_EQ(TableTexts(h), three);
    EXPECT_TRUE(h.dlg->windowTitle().startsWith("Oront V208 Software - Download 2 of "))
        << h.dlg->windowTitle().toStdString();
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software - the records listed before are in the archive as download 2");
    EXPECT_EQ(ArchivedDownloads(path).size(), 2u) << "archiving was turned off";
    // Those records are not in the archive: the next read asks first.
    h.answers = {2};
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_EQ(h.questions, std::vector<std::string>{msg::kReplaceUnsaved});
    EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software - the records listed before are in the archive as download 2");
    EXPECT_FALSE(archive::CHistoryDlg::ArchiveEveryDownload(*CDataTransferDlg::OpenSettings()));

    QTest::mouseClick(h.W(1102), Qt::LeftButton);
    h.dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.dlg.get()));
    QTest::keyClick(h.dlg.get(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.trends.size() == 2; }));
    EXPECT_EQ(h.trends, (std::vector<std::string>{path, path}));
}

// With a site register in the archive, every download is judged: the
// records above an alert or action limit of their room are marked amber or
// red, a line under the list counts them, and an instrument past its
// calibration is warned of in the title and a message. Without one, nothing
// of it shows.
TEST(MainWindow, MonitoringMarksTheRecordsAboveTheLimitsOfTheirRoom) {
    const std::string path = (test::FreshTestFolder("main-window-monitoring") / "archive.sqlite").string();
    MainWindowHarness h(MakeDemoImage());
    h.dlg->SetArchive(path, false);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_FALSE(h.dlg->findChild<QLabel*>("monitoring")->isVisible()) << "no register, no monitoring line";
    EXPECT_TRUE(h.messages.empty());

    site::Register reg;
    site::Room lab;
    lab.id = "LAB";
    lab.name = "QC lab";
    lab.areaM2 = 40;
    lab.classTenths = 70;
    lab.locations = {{1, "entry", 0, 0, false, {}, {}}};
    lab.limits = {{5, 200000, 352000, {}}};
    reg.rooms = {lab};
    reg.instruments = {{2150042, "V208", 20140301, 20150301, "CAL-1", 2.83}};
    {
        archive::Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(path, archive::OpenMode::ReadWrite, error) && a.StoreRegister(reg, error)) << error;
    }
    h.dlg->Logic().OnSaveFinished(true);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    auto* line = h.dlg->findChild<QLabel*>("monitoring");
    ASSERT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().startsWith("Monitoring: 7 records above the alert limit and 13 above the action limit"))
        << line->text().toStdString();
    EXPECT_EQ(line->geometry().top(), h.W(1007)->geometry().bottom() + 1) << "the line sits under the list";
    // The first records of the entry: 417,773 per m³ at 0.5 µm (above the
    // action limit), then 252,500 (above the alert limit), 281,105 (alert).
    const QAbstractItemModel* model = qobject_cast<QAbstractItemView*>(h.W(1007))->model();
    const auto tint = [model](int row) { return model->index(row, 3).data(Qt::BackgroundRole).value<QColor>(); };
    EXPECT_EQ(tint(0), QColor(0xFF, 0xA8, 0x9A));
    EXPECT_EQ(tint(1), QColor(0xFF, 0xD9, 0x8C));
    EXPECT_EQ(tint(2), QColor(0xFF, 0xD9, 0x8C));
    int marked = 0;
    for (int r = 0; r < model->rowCount(); ++r) marked += tint(r) != tint(model->rowCount() - 1) ? 1 : 0;
    EXPECT_GT(marked, 3);
    EXPECT_EQ(h.messages, std::vector<std::string>{"Check the instrument's calibration!"});
    EXPECT_TRUE(h.dlg->windowTitle().endsWith(
        "the instrument 2150042 was past its calibration due date 2015-03-01 on 2015-03-19"))
        << h.dlg->windowTitle().toStdString();
    const QImage shot = test::Shot(*h.dlg);
    EXPECT_TRUE(shot.save(
        QString::fromStdString((test::TestOutputFolder("screenshots") / "main-window-monitoring.png").string())));

    // The Site view (Ctrl+E) saves a register without limits: the listed
    // download is judged again, and nothing is above a limit any more.
    h.site = [&](const std::string& archive) {
        reg.rooms[0].limits.clear();
        archive::Archive a;
        std::string error;
        return a.Open(archive, archive::OpenMode::ReadWrite, error) && a.StoreRegister(reg, error);
    };
    h.dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.dlg.get()));
    QTest::keyClick(h.dlg.get(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !line->isVisible(); }));
    EXPECT_NE(tint(0), QColor(0xFF, 0xA8, 0x9A));
}

// A download that cannot be archived is listed all the same, and the title
// says why; a file at the archive's path that is not an archive stays as it
// was, and History says it cannot read it. --no-archive archives nothing.
TEST(MainWindow, ADownloadThatCannotBeArchivedIsListedAndTheTitleSaysWhy) {
    const std::filesystem::path folder = test::FreshTestFolder("main-window-archive-refused");
    const std::string foreign = (folder / "notes.txt").string();
    const std::string content = "not an archive\n";
    {
        QFile f(QString::fromStdString(foreign));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content.data(), static_cast<qint64>(content.size()));
    }
    MainWindowHarness h(MakeDemoImage());
    h.dlg->SetArchive(foreign, false);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_TRUE(h.messages.empty());
    EXPECT_EQ(h.dlg->Logic().State(), Ready);
    EXPECT_FALSE(TableTexts(h).isEmpty());
    EXPECT_TRUE(h.dlg->windowTitle().startsWith("Oront V208 Software - not archived: not an archive"))
        << h.dlg->windowTitle().toStdString();
    EXPECT_EQ(test::ReadFileBytes(foreign), content);

    QString status;
    int rows = -1;
    const auto answered = WhenHistoryShows([&](archive::CHistoryDlg& dlg) {
        status = dlg.StatusText();
        rows = dlg.Table()->rowCount();
        dlg.reject();
    });
    QTest::mouseClick(h.W(1101), Qt::LeftButton);
    ASSERT_TRUE(*answered);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(status.startsWith("The archive cannot be read: not an archive")) << status.toStdString();
    EXPECT_EQ(test::ReadFileBytes(foreign), content);

    const std::string unused = (folder / "unused.sqlite").string();
    h.dlg->SetArchive(unused, true);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software");
    // Archiving off keeps the download out of the archive, not the read out
    // of its audit trail.
    archive::Archive trail;
    std::string error;
    std::vector<archive::Download> downloads;
    std::vector<audit::Entry> entries;
    ASSERT_TRUE(trail.Open(unused, archive::OpenMode::ReadOnly, error) && trail.Downloads(downloads, error) &&
                trail.AuditTrail({}, entries, error))
        << error;
    EXPECT_TRUE(downloads.empty());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().event, "download read, not archived");
}

TEST(MainWindow, DemoReadEnablesAllAndShowsTheFirstRecordsLabels) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_TRUE(h.messages.empty());
    for (int id : kActionButtons) EXPECT_TRUE(h.Enabled(id)) << id;
    for (int id : kValueLabels) EXPECT_TRUE(h.Shown(id)) << id;

    const RecordStore& store = h.dlg->Logic().Store();
    ASSERT_GT(store.m_nRecordCount, 0);
    const ChannelLabels want = ChannelLabelsForCode(CAtoi(store.RecordOf(0).m_strSizeCode));
    EXPECT_EQ(h.Text(1010), want.ch1);
    EXPECT_EQ(h.Text(1012), want.ch2);
    EXPECT_EQ(h.Text(1014), want.ch3);
    EXPECT_EQ(h.Text(1016).toStdString(), store.RecordOf(0).m_strUnit.str());

    auto* list = qobject_cast<QAbstractItemView*>(h.W(1007));
    ASSERT_NE(list, nullptr);
    EXPECT_GT(list->model()->rowCount(), 0);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_EQ(h.dlg->focusWidget(), list);
    EXPECT_TRUE(h.dlg->ProgressText().isEmpty()) << "the progress display goes with the download";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
}

TEST(MainWindow, ReadWithoutInstrumentReportsAndEnablesQuit) {
    SimulatorFaults faults;
    faults.noDevice = true;
    MainWindowHarness h(MakeDemoImage(), faults);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    EXPECT_EQ(h.messages, std::vector<std::string>{msg::kConnectFailed});
    for (int id : kActionButtons) EXPECT_EQ(h.Enabled(id), id == 1000 || id == 1006) << id;
    for (int id : kValueLabels) EXPECT_FALSE(h.Shown(id)) << id;
}

TEST(MainWindow, QuitAndCloseAskWithTheirOwnWording) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);

    h.answers = {2};
    QTest::mouseClick(h.W(1006), Qt::LeftButton);
    EXPECT_EQ(h.questions, std::vector<std::string>{msg::kQuitUnsaved});
    EXPECT_TRUE(h.dlg->isVisible()) << "Cancel keeps the window";

    h.answers = {2};
    h.dlg->close();
    EXPECT_EQ(h.questions.back(), msg::kCloseUnsaved);
    EXPECT_TRUE(h.dlg->isVisible());

    h.answers = {1};
    h.dlg->close();
    EXPECT_FALSE(h.dlg->isVisible());
    EXPECT_EQ(h.dlg->result(), 2);
}

TEST(MainWindow, QuitEndsWithOkAfterTheQuestion) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    h.answers = {1};
    QTest::mouseClick(h.W(1006), Qt::LeftButton);
    EXPECT_FALSE(h.dlg->isVisible());
    EXPECT_EQ(h.dlg->result(), 1);
}

// Enter never leaves the window: on the list it opens or closes the ISO
// group at the row, as a click does. Escape does nothing on an empty window
// and asks whenever records are listed, saved or not.
TEST(MainWindow, EnterNeverQuitsAndEscapeAsksWhileAnythingIsListed) {
    MainWindowHarness h(MakeDemoImage());
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) QTest::keyClick(h.dlg.get(), key);
    EXPECT_TRUE(h.questions.empty());
    EXPECT_TRUE(h.dlg->isVisible());

    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    ASSERT_EQ(h.dlg->focusWidget(), h.W(1007));
    auto* list = qobject_cast<CReportCtrl*>(h.W(1007));
    const RecordStore& store = h.dlg->Logic().Store();
    int group = -1;
    for (int row = 0; row < list->GetItemCount() && group < 0; ++row)
        if (store.Row(CAtoi(list->GetItemText(row, col::Cnt))).m_strKind == kind::kGroupCollapsed) group = row;
    ASSERT_GE(group, 0);
    const int rows = list->GetItemCount();
    list->setCurrentIndex(list->model()->index(group, 0));
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Down);  // the keyboard moves the mark onto the group
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_GT(list->GetItemCount(), rows) << "Enter opens the group";
    QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(list->GetItemCount(), rows) << "and closes it again";
    h.dlg->Logic().OnSaveFinished(true);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(h.questions.empty());
    EXPECT_TRUE(h.dlg->isVisible()) << "Enter on saved records does not quit either";

    h.answers = {2};
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(h.questions, std::vector<std::string>{msg::kExitListed});
    EXPECT_TRUE(h.dlg->isVisible());
    h.answers = {1};
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(h.dlg->isVisible());
    EXPECT_EQ(h.dlg->result(), 2);
}

TEST(MainWindow, CtrlFlagFollowsTheKey) {
    MainWindowHarness h(MakeDemoImage());
    g_bCtrlKeyDown = 0;
    QTest::keyPress(h.W(1000), Qt::Key_Control);
    EXPECT_EQ(g_bCtrlKeyDown, 1);
    QTest::keyRelease(h.W(1000), Qt::Key_Control);
    EXPECT_EQ(g_bCtrlKeyDown, 0);
    QTest::keyPress(h.dlg.get(), Qt::Key_Control);
    EXPECT_EQ(g_bCtrlKeyDown, 1);
    QTest::keyRelease(h.dlg.get(), Qt::Key_Control);
    EXPECT_EQ(g_bCtrlKeyDown, 0);
}

TEST(MainWindow, DownloadKeepsPaintingAndShowsHowFarItHasCome) {
    MainWindowHarness h(MakeFullDemoImage());
    QString seen;
    bool quitEnabled = true;
    // A timer only fires while the download lets the window process events.
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (seen.isEmpty()) {
            seen = h.dlg->ProgressText();
            quitEnabled = h.Enabled(1006);
        }
    });
    probe.start(0);
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    probe.stop();
    EXPECT_TRUE(seen.endsWith(" of 8000 records")) << seen.toStdString();
    EXPECT_FALSE(quitEnabled) << "Busy during the download";
    EXPECT_TRUE(h.Enabled(1006));
    EXPECT_TRUE(h.messages.empty());
}

TEST(MainWindow, CancelAndEscapeEndAFullDownloadAsAFailureWithoutItsMessage) {
    MainWindowHarness h(MakeFullDemoImage());
    auto* cancel = h.dlg->findChild<QPushButton*>(QStringLiteral("cancel"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(cancel->isVisible());
    auto* table = qobject_cast<QAbstractItemView*>(h.W(1007));
    constexpr int kAllPackets = 1 + 2 * 8000;
    for (const char* how : {"Cancel", "Escape"}) {
        bool pressed = false;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (pressed || !cancel->isVisible()) return;
            pressed = true;
            // Other input is shut out while the download runs.
            QTest::keyClick(h.W(1007), Qt::Key_F1);
            if (std::string(how) == "Cancel")
                QTest::mouseClick(cancel, Qt::LeftButton);
            else
                QTest::keyClick(h.W(1007), Qt::Key_Escape);
        });
        probe.start(0);
        const int sentBefore = h.sim->PacketsSent();
        QTest::mouseClick(h.W(1000), Qt::LeftButton);
        probe.stop();
        ASSERT_TRUE(pressed) << how;
        EXPECT_LT(h.sim->PacketsSent() - sentBefore, kAllPackets) << how;
        EXPECT_TRUE(h.messages.empty()) << how;
        EXPECT_TRUE(h.questions.empty()) << how;
        EXPECT_EQ(h.abouts, 0) << how;
        EXPECT_EQ(h.sim->OpenPipeCount(), 0) << how;
        EXPECT_EQ(h.dlg->Logic().State(), Failed) << how;
        for (int id : kActionButtons) EXPECT_EQ(h.Enabled(id), id == 1000 || id == 1006) << how << " " << id;
        EXPECT_EQ(table->model()->rowCount(), 0) << how;
        EXPECT_FALSE(cancel->isVisible()) << how;
        EXPECT_TRUE(h.dlg->ProgressText().isEmpty()) << how;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << how;
        EXPECT_TRUE(h.dlg->isVisible()) << how;
    }
}

TEST(MainWindow, SaveAllClearsTheFlagOnlyWhenTheFileWasWritten) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    const QString dir = QDir::temp().filePath("oront-main-window-save");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    std::string target = (dir + "/missing/records.csv").toStdString();  // no such folder: the write fails
    CDataTransferDlg::DialogSeams seams;
    seams.message = [&] { h.messages.push_back(g_strMessage); };
    seams.ask = [&] {
        h.questions.push_back(g_strMessage);
        return 2;
    };
    seams.saveFile = [&](std::string& path) {
        path = target;
        return true;
    };
    int previews = 0;
    seams.printPreview = [&] { ++previews; };
    h.dlg->SetDialogSeams(seams);

    QTest::mouseClick(h.W(1005), Qt::LeftButton);
    EXPECT_EQ(h.messages, std::vector<std::string>{msg::kSaveFailed});
    EXPECT_EQ(h.dlg->focusWidget(), h.W(1007));
    QTest::mouseClick(h.W(1006), Qt::LeftButton);
    EXPECT_EQ(h.questions.size(), 1u) << "a failed save leaves the records unsaved";
    // The archive is no file to save into, nor is any of its companions.
    h.dlg->SetArchive((dir + "/archive.sqlite").toStdString(), false);
    for (const char* name : {"/archive.sqlite", "/archive.sqlite-journal"}) {
        target = (dir + name).toStdString();
        QTest::mouseClick(h.W(1005), Qt::LeftButton);
        EXPECT_FALSE(QFile::exists(dir + name));
    }
    EXPECT_EQ(h.messages.size(), 3u);

    target = (dir + "/records.csv").toStdString();
    QTest::mouseClick(h.W(1005), Qt::LeftButton);
    EXPECT_EQ(h.messages.size(), 3u);
    EXPECT_TRUE(QFile::exists(dir + "/records.csv"));
    EXPECT_FALSE(h.dlg->Logic().DataNotSaved());
    // The save is in the archive's audit trail with the file's SHA-256.
    {
        archive::Archive trail;
        std::string error;
        std::vector<audit::Entry> saved;
        archive::AuditFilter filter;
        filter.event = "records saved";
        ASSERT_TRUE(trail.Open((dir + "/archive.sqlite").toStdString(), archive::OpenMode::ReadOnly, error) &&
                    trail.AuditTrail(filter, saved, error))
            << error;
        QFile csv(dir + "/records.csv");
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        ASSERT_EQ(saved.size(), 1u);
        EXPECT_NE(saved[0].data.find(archive::Sha256Hex(csv.readAll().toStdString())), std::string::npos)
            << saved[0].data;
        EXPECT_EQ(saved[0].user, audit::CurrentIdentity().user);
    }
    // An account the archive's administrator never added: the actions on
    // the instrument and its records are disabled, each saying why.
    {
        archive::Archive other;
        std::string error;
        other.SetActor({"deputy", "Deputy"});
        const std::string foreign = (dir + "/foreign.sqlite").toStdString();
        ASSERT_TRUE(other.Open(foreign, archive::OpenMode::ReadWrite, error) &&
                    other.RecordEvent(audit::Action::Download, "archive set up", "{}", error))
            << error;
        h.dlg->SetArchive(foreign, false);
        for (const int id : {1000, 1002, 1003, 1005, 1100}) {
            EXPECT_FALSE(h.W(id)->isEnabled()) << id;
            EXPECT_TRUE(h.W(id)->toolTip().contains(QStringLiteral("is not a user of this archive")))
                << id << h.W(id)->toolTip().toStdString();
        }
        ASSERT_TRUE(other.AddUser(audit::CurrentIdentity().user, "", audit::Role::Operator, "", error)) << error;
        h.dlg->SetArchive(foreign, false);
        EXPECT_TRUE(h.W(1005)->isEnabled());
        EXPECT_TRUE(h.W(1005)->toolTip().startsWith(QStringLiteral("Save all records as CSV")));
    }

    QTest::mouseClick(h.W(1028), Qt::LeftButton);
    EXPECT_EQ(previews, 1);

    QTest::mouseClick(h.W(1006), Qt::LeftButton);
    EXPECT_EQ(h.questions.size(), 1u);
    EXPECT_FALSE(h.dlg->isVisible());
    QDir(dir).removeRecursively();
}

// A right click at `pos` of the window, as the window system delivers it
// (with the context menu it brings); the entries of the menu that opened,
// whose first entry is chosen, or nothing when none opened.
QStringList RightClickMenu(CDataTransferDlg& dlg, QPoint pos) {
    QStringList entries;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions()) entries << a->text();
        if (!menu->actions().isEmpty()) menu->setActiveAction(menu->actions().first());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, {}, pos);
    QTest::qWait(10);
    return entries;
}

TEST(MainWindow, AboutOpensFromF1AndARightClickOnTheBackgroundOnly) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    QTest::keyClick(h.W(1007), Qt::Key_F1);
    EXPECT_EQ(h.abouts, 1);

    // A right click on the table selects the row and shows its unit.
    auto* table = qobject_cast<QAbstractItemView*>(h.W(1007));
    const RecordStore& store = h.dlg->Logic().Store();
    int row = 1;
    while (store.RecordOf(table->model()->index(row, 10).data().toInt()).m_strUnit == store.RecordOf(0).m_strUnit)
        ++row;
    ASSERT_LT(row, table->model()->rowCount());
    table->scrollTo(table->model()->index(row, 0));
    const QPoint rowPos =
        table->viewport()->mapTo(h.dlg.get(), table->visualRect(table->model()->index(row, 1)).center());
    EXPECT_TRUE(RightClickMenu(*h.dlg, rowPos).isEmpty());
    EXPECT_TRUE(table->selectionModel()->isRowSelected(row, {}));
    EXPECT_EQ(h.Text(1016).toStdString(),
              store.RecordOf(table->model()->index(row, 10).data().toInt()).m_strUnit.str());
    for (int id : kActionButtons) {
        if (id == 1006) continue;  // keep the window
        EXPECT_TRUE(RightClickMenu(*h.dlg, h.W(id)->geometry().center()).isEmpty()) << id;
    }
    EXPECT_EQ(h.abouts, 1);

#ifndef Q_OS_WIN
    // The window's own surface, and a label drawn on it.
    EXPECT_EQ(RightClickMenu(*h.dlg, QPoint(3, 3)), QStringList{QString::fromLatin1(msg::kAboutMenuEntry)});
    EXPECT_EQ(h.abouts, 2);
    EXPECT_EQ(RightClickMenu(*h.dlg, h.W(1009)->geometry().center()).size(), 1);
    EXPECT_EQ(h.abouts, 3);
#endif
}

TEST(MainWindow, BackgroundPictureCoversTheWindowAfterADemoRead) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    QTest::qWait(20);
    const QImage shot = test::Shot(*h.dlg);
    EXPECT_EQ(shot.size(), h.dlg->size() * h.dlg->devicePixelRatio());
    // The background picture shows around the controls: not a blank window.
    EXPECT_NE(shot.pixelColor(2, 2), shot.pixelColor(shot.width() - 3, shot.height() - 3));
    test::ExpectBackgroundAtTheCorners(shot, false);
    // The value labels show on their blue-grey brush.
    const QRect unit = h.W(1016)->geometry();
    EXPECT_EQ(shot.pixelColor(unit.right() - 1, unit.bottom() - 1), QColor(144, 183, 204));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the command-line tool on the demo instrument; its output file's bytes.
QByteArray CliOutput(const QStringList& args, const QString& out) {
    QProcess cli;
    cli.start(qEnvironmentVariable("ORONT_CLI"), QStringList{"--demo"} + args + QStringList{out});
    if (!cli.waitForFinished(30000) || cli.exitCode() != 0) return {};
    return ReadAll(out);
}

// Save All and Save Selected in the window, through the real range dialog,
// write what the command-line tool writes for the same range.
TEST(MainWindow, SavingInTheWindowWritesWhatTheCommandLineToolWrites) {
    if (qEnvironmentVariableIsEmpty("ORONT_CLI")) ORONT_SKIP_OR_FAIL("ORONT_CLI does not name the command-line tool");
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    const QString dir = QDir::temp().filePath("oront-main-window-save-range");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    std::string target;
    int fileDialogs = 0;
    CDataTransferDlg::DialogSeams seams;
    seams.message = [&] { h.messages.push_back(g_strMessage); };
    seams.ask = [] { return 1; };
    seams.saveFile = [&](std::string& path) {
        ++fileDialogs;
        path = target;
        return true;
    };
    h.dlg->SetDialogSeams(seams);

    target = (dir + "/all").toStdString();  // ".csv" is added
    QTest::mouseClick(h.W(1005), Qt::LeftButton);
    const QByteArray all = ReadAll(dir + "/all.csv");
    ASSERT_FALSE(all.isEmpty());
    EXPECT_EQ(all, CliOutput({"save-all"}, dir + "/cli-all.csv"));

    // Rows 5 to 9 selected: the range dialog shows their record numbers.
    auto* table = qobject_cast<QAbstractItemView*>(h.W(1007));
    ASSERT_NE(table, nullptr);
    auto rowPoint = [table](int row) { return table->visualRect(table->model()->index(row, 1)).center(); };
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rowPoint(5));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(9));
    const QString first = table->model()->index(5, 0).data().toString().trimmed();
    QString start, end;
    bool cancel = false;
    auto answerRangeDialog = [&] {
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CSaveDataDlg*>(QApplication::activeModalWidget());
            if (!dlg) return;
            start = dlg->StartField()->text();
            end = dlg->EndField()->text();
            if (cancel)
                QTest::keyClick(dlg, Qt::Key_Escape);
            else
                dlg->OnOK();
        });
    };
    target = (dir + "/selected.csv").toStdString();
    answerRangeDialog();
    QTest::mouseClick(h.W(1003), Qt::LeftButton);
    EXPECT_EQ(start, first);
    ASSERT_FALSE(end.isEmpty());
    EXPECT_EQ(fileDialogs, 2);
    const QByteArray selected = ReadAll(dir + "/selected.csv");
    ASSERT_FALSE(selected.isEmpty());
    EXPECT_EQ(selected, CliOutput({"save-range", start, end}, dir + "/cli-selected.csv"));
    EXPECT_LT(selected.size(), all.size());

    // From record 0061 down to the 95%UCL line of the run after it: every
    // selected row is written, the run's collapsed members and summary too.
    auto rowOf = [table](int from, int column, const QString& text) {
        for (int r = from; r < table->model()->rowCount(); ++r)
            if (table->model()->index(r, column).data().toString().trimmed() == text) return r;
        return -1;
    };
    const int row61 = rowOf(0, 0, "0061");
    const int ucl = rowOf(row61, 4, "95%UCL");
    ASSERT_GE(row61, 0);
    ASSERT_GT(ucl, row61);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rowPoint(row61));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(ucl));
    target = (dir + "/to-summary.csv").toStdString();
    answerRangeDialog();
    QTest::mouseClick(h.W(1003), Qt::LeftButton);
    EXPECT_EQ(start, "0061");
    EXPECT_EQ(end, "0066");  // the dialog confirms the record row above the summary lines
    EXPECT_EQ(ReadAll(dir + "/to-summary.csv"), CliOutput({"save-range", "61", "67"}, dir + "/cli-to-summary.csv"));

    // A fast drag (one far move) highlights and saves the whole run of rows.
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, rowPoint(1));
    QTest::mouseMove(table->viewport(), rowPoint(12));
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, rowPoint(12));
    for (int r = 0; r < 15; ++r)
        EXPECT_EQ(table->selectionModel()->isRowSelected(r, {}), r >= 1 && r <= 12) << "row " << r;
    target = (dir + "/dragged.csv").toStdString();
    answerRangeDialog();
    QTest::mouseClick(h.W(1003), Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir + "/dragged.csv"), CliOutput({"save-range", "2", "13"}, dir + "/cli-dragged.csv"));

    // Cancel in the range dialog writes nothing and opens no file dialog.
    cancel = true;
    target = (dir + "/cancelled.csv").toStdString();
    answerRangeDialog();
    QTest::mouseClick(h.W(1003), Qt::LeftButton);
    EXPECT_EQ(fileDialogs, 4);
    EXPECT_FALSE(QFile::exists(dir + "/cancelled.csv"));
    EXPECT_TRUE(h.messages.empty());
    QDir(dir).removeRecursively();
}

// A memory image written by the command-line tool's dump opens from the
// file dialog, a drop and the program's argument, as Read Records of an
// instrument playing it.
TEST(MainWindow, AMemoryImageOpensAsAReadOfItFromTheDialogADropAndTheArgument) {
    const MemoryImage demo = MakeDemoImage();
    const std::filesystem::path folder = test::FreshTestFolder("main-window-open-image");
    const QString file = QString::fromStdString((folder / "demo.v208img").string());
    ASSERT_TRUE(SaveMemoryImage(file.toStdString(), demo));
    MainWindowHarness simulator(demo);
    QTest::mouseClick(simulator.W(1000), Qt::LeftButton);
    const QStringList want = TableTexts(simulator);
    ASSERT_FALSE(want.isEmpty());

    // The window's own instrument holds other records, and is not asked.
    auto expectOpened = [&](MainWindowHarness& h, const char* route) {
        EXPECT_EQ(TableTexts(h), want) << route;
        EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software - demo.v208img") << route;
        EXPECT_TRUE(h.messages.empty()) << route;
        for (int id : kActionButtons) EXPECT_TRUE(h.Enabled(id)) << route << " " << id;
        for (int id : kValueLabels) EXPECT_EQ(h.Text(id), simulator.Text(id)) << route << " " << id;
        EXPECT_TRUE(h.dlg->Logic().DataNotSaved()) << route;
        EXPECT_TRUE(h.sim->Commands().empty()) << route;
    };
    {
        MainWindowHarness h(test::ThreeRecordImage());
        h.openPath = file.toStdString();
        QString progress;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (progress.isEmpty()) progress = h.dlg->ProgressText();
        });
        probe.start(0);
        QTest::keyClick(h.dlg.get(), Qt::Key_O, Qt::ControlModifier);
        probe.stop();
        expectOpened(h, "file dialog");
        EXPECT_TRUE(progress.endsWith(QStringLiteral(" of %1 records").arg(demo.size() / 128)))
            << progress.toStdString();

        // A picture of the window with the image's records: the list shows
        // them with the first row selected.
        QTest::qWait(20);
        const QImage shot = test::Shot(*h.dlg);
        const QRect list = h.W(1007)->geometry();
        EXPECT_EQ(shot.copy(list), test::Shot(*h.W(1007)));
        auto* table = qobject_cast<QAbstractItemView*>(h.W(1007));
        const QRect cell = table->visualRect(table->model()->index(0, 6));
        const QPoint inFirstRow = table->viewport()->mapTo(h.dlg.get(), cell.topLeft() + QPoint(3, cell.height() / 2));
        EXPECT_EQ(shot.pixelColor(inFirstRow), table->palette().color(QPalette::Highlight));
        EXPECT_TRUE(shot.save(QString::fromStdString((test::TestOutputFolder() / "main-window-image.png").string())));

        // Read Records reads the own instrument again; the title follows,
        // and says that the image's records it replaced are in the archive.
        QTest::mouseClick(h.W(1000), Qt::LeftButton);
        EXPECT_TRUE(h.dlg->windowTitle().startsWith(
            "Oront V208 Software - the records listed before are in the archive as download "))
            << h.dlg->windowTitle().toStdString();
        EXPECT_EQ(table->model()->rowCount(), 3);
    }
    {
        MainWindowHarness h(test::ThreeRecordImage());
        EXPECT_TRUE(h.dlg->acceptDrops());
        QMimeData text;
        text.setText(file);
        QDragEnterEvent refused(QPoint(40, 40), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.dlg.get(), &refused);
        EXPECT_FALSE(refused.isAccepted()) << "only a file is taken";
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.dlg.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.dlg.get(), &drop);
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.dlg->Logic().State() == Ready; }));
        expectOpened(h, "drop");
    }
    {
        // What the program does with its argument.
        const ParsedWindowOptions parsed = ParseWindowArguments({file.toStdString()});
        ASSERT_TRUE(parsed.error.empty());
        MainWindowHarness h(test::ThreeRecordImage());
        h.dlg->OpenImageLater(QString::fromStdString(parsed.options.open));
        ASSERT_TRUE(QTest::qWaitFor([&] { return h.dlg->Logic().State() == Ready; }));
        expectOpened(h, "argument");

        // A file that cannot be played is named with the reason; the window
        // keeps what it shows.
        const QString missing = QString::fromStdString((folder / "missing.v208img").string());
        const QString odd = QString::fromStdString((folder / "odd.v208img").string());
        QFile f(odd);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, 'x'));
        f.close();
        h.dlg->OpenImage(missing);
        h.openPath = odd.toStdString();
        QTest::keyClick(h.dlg.get(), Qt::Key_O, Qt::ControlModifier);
        ASSERT_EQ(h.messages.size(), 2u);
        // The name as the system writes names (backslashes on Windows).
        EXPECT_EQ(h.messages[0], "The memory image " + QDir::toNativeSeparators(missing).toStdString() +
                                     " cannot be played:\ncannot open it: No such file or directory");
        EXPECT_EQ(h.messages[1], "The memory image " + QDir::toNativeSeparators(odd).toStdString() +
                                     " cannot be played:\nits length (100 bytes) is not a multiple of 64 bytes");
        EXPECT_EQ(TableTexts(h), want);
        EXPECT_EQ(h.dlg->windowTitle(), "Oront V208 Software - demo.v208img");
    }
}

// Data Print opens the real preview of the downloaded report.
TEST(MainWindow, DataPrintOpensThePreviewOfTheDownloadedReport) {
    MainWindowHarness h(MakeDemoImage());
    QTest::mouseClick(h.W(1000), Qt::LeftButton);
    QString title;
    int rows = 0;
    QTimer::singleShot(0, [&] {
        auto* frame = qobject_cast<CPrintPreViewParent*>(QApplication::activeModalWidget());
        if (!frame) return;
        title = frame->windowTitle();
        rows = frame->m_nRowCount;
        frame->OnCommand(cmd::kExit);
    });
    QTest::mouseClick(h.W(1028), Qt::LeftButton);
    EXPECT_EQ(title, "Print Preview");
    EXPECT_EQ(rows, h.dlg->Logic().Store().m_nReportLineCount);
    EXPECT_GT(rows, 0);
}

}  // namespace
}  // namespace oront
