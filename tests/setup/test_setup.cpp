// The installer launcher on the offscreen platform: which program each button
// starts, the word-size choice, the window's end codes and the About box.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <vector>

#include "setup/CAboutDlg.h"
#include "setup/CBitmapButton.h"
#include "setup/CSetupDlg.h"
#include "setup/SetupPlatform.h"

namespace {

// ---------------------------------------------------------------------------
// Word-size test of a 32-bit Windows build, with stand-in queries.

using Query = bool (*)(int hProcess, bool* pbWow64);
int g_nLookups = 0;

bool QueryYes(int, bool* pbWow64) {
    *pbWow64 = true;
    return true;
}
bool QueryNo(int, bool* pbWow64) {
    *pbWow64 = false;
    return true;
}
bool QueryFails(int, bool* pbWow64) {
    *pbWow64 = true;  // a failing call's output must not count
    return false;
}

bool Ask(Query& cache, Query found) {
    return setup::RunsUnder32BitLayer(
        cache,
        [found] {
            ++g_nLookups;
            return found;
        },
        [](Query fn, bool& bWow64) {
            bool b = false;
            if (!fn(0, &b)) return false;
            bWow64 = b;
            return true;
        });
}

TEST(SetupWordSize, AnswersYesOnlyWhenTheQuerySucceedsAndSaysYes) {
    Query cache = nullptr;
    EXPECT_TRUE(Ask(cache, QueryYes));
    cache = nullptr;
    EXPECT_FALSE(Ask(cache, QueryNo));
    cache = nullptr;
    EXPECT_FALSE(Ask(cache, QueryFails)) << "a failing test counts as a 32-bit system";
    cache = nullptr;
    EXPECT_FALSE(Ask(cache, nullptr)) << "a missing test counts as a 32-bit system";
}

TEST(SetupWordSize, LooksTheQueryUpOnceButAgainWhileItIsMissing) {
    Query cache = nullptr;
    g_nLookups = 0;
    EXPECT_TRUE(Ask(cache, QueryYes));
    EXPECT_TRUE(Ask(cache, QueryNo)) << "the cached query is used, not looked up again";
    EXPECT_EQ(g_nLookups, 1);

    Query missing = nullptr;
    g_nLookups = 0;
    EXPECT_FALSE(Ask(missing, nullptr));
    EXPECT_FALSE(Ask(missing, nullptr));
    EXPECT_EQ(g_nLookups, 2);
    EXPECT_EQ(missing, nullptr);
}

TEST(SetupWordSize, MachineNamesAndThisBuild) {
    EXPECT_TRUE(setup::IsMachine64Bit("x86_64"));
    EXPECT_TRUE(setup::IsMachine64Bit("aarch64"));
    EXPECT_FALSE(setup::IsMachine64Bit("i686"));
    EXPECT_FALSE(setup::IsMachine64Bit("armv7l"));
    EXPECT_FALSE(setup::IsMachine64Bit(""));
    if constexpr (sizeof(void*) == 8) {
        EXPECT_TRUE(setup::SystemIs64Bit());
    }
}

TEST(SetupPaths, InstallerPathsAndDialogUnits) {
    EXPECT_STREQ(setup::DriverInstallerPath(true), ".\\Custom USB Device\\dpinst64.exe");
    EXPECT_STREQ(setup::DriverInstallerPath(false), ".\\Custom USB Device\\dpinst.exe");
    EXPECT_STREQ(setup::kAppInstallerPath, ".\\Oront V208 Software\\setup.exe");

    const setup::DialogUnits dlu(7, 14);
    EXPECT_EQ(dlu.Size(343, 227), QSize(600, 397));
    EXPECT_EQ(dlu.Point(120, 76), QPoint(210, 133));
}

// ---------------------------------------------------------------------------
// The launcher window, run from a temporary current folder.

class SetupDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strOldFolder = QDir::currentPath();
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir::setCurrent(m_folder.path()));
        m_dlg.m_bStartsInstallers = true;
        m_dlg.m_fnStartProgram = [this](const QString& strPath) {
            m_started.push_back(strPath);
            return m_strStartFailure;
        };
        m_dlg.m_fnShowMessage = [this](const QString& strText) { m_messages.push_back(strText); };
        m_dlg.m_fnSystemIs64Bit = [this] {
            ++m_nWordSizeTests;
            return m_bSystem64;
        };
    }
    void TearDown() override { QDir::setCurrent(m_strOldFolder); }

    QString Below(const QString& strFolder, const char* pszRelative) const {
        return QDir::toNativeSeparators(QDir(strFolder).absoluteFilePath(QString::fromLatin1(pszRelative)));
    }
    void Click(int nId) { QTest::mouseClick(m_dlg.Button(nId), Qt::LeftButton); }
    // The widget with the keyboard focus once the shown launcher has given it.
    QWidget* Focused() {
        static_cast<void>(QTest::qWaitFor([this] { return m_dlg.focusWidget() != nullptr; }));
        return m_dlg.focusWidget() != nullptr ? m_dlg.focusWidget() : static_cast<QWidget*>(&m_dlg);
    }
    void ShowActive() {
        m_dlg.show();
        m_dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_dlg));
    }

    QString m_strOldFolder;
    QTemporaryDir m_folder;
    CSetupDlg m_dlg;
    std::vector<QString> m_started;
    QString m_strStartFailure;
    std::vector<QString> m_messages;
    bool m_bSystem64 = false;
    int m_nWordSizeTests = 0;
};

TEST_F(SetupDlgTest, TemplateLayoutAndPictureButtons) {
    const setup::DialogUnits dlu(m_dlg.fontMetrics());
    EXPECT_EQ(m_dlg.windowTitle(), "Installer");
    EXPECT_EQ(m_dlg.size(), dlu.Size(343, 227));
    EXPECT_EQ(m_dlg.minimumSize(), m_dlg.maximumSize()) << "fixed size";

    struct Expected {
        int nId;
        const char* pszText;
        int x, y;
        QSize size;
    };
    const Expected expected[] = {{1006, "Install Oront V208 Software", 120, 76, QSize(207, 42)},
                                 {1002, "Install Custom Usb Device", 166, 121, QSize(207, 42)},
                                 {1003, "Exit", 212, 167, QSize(207, 41)}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.nId);
        CBitmapButton* pButton = m_dlg.findChild<CBitmapButton*>(QString::number(e.nId));
        ASSERT_NE(pButton, nullptr);
        EXPECT_EQ(pButton, m_dlg.Button(e.nId));
        EXPECT_EQ(pButton->text(), e.pszText);
        EXPECT_EQ(pButton->pos(), dlu.Point(e.x, e.y));
        EXPECT_EQ(pButton->size(), e.size);
        EXPECT_TRUE(QRect(QPoint(0, 0), m_dlg.size()).contains(pButton->geometry())) << "inside the window";

        // Normal/focused and pressed/disabled pictures differ and fill the button.
        const QImage normal = pButton->CurrentPicture().toImage();
        ASSERT_FALSE(normal.isNull());
        EXPECT_EQ(pButton->CurrentPicture().deviceIndependentSize().toSize(), e.size);
        pButton->setDown(true);
        const QImage pressed = pButton->CurrentPicture().toImage();
        pButton->setDown(false);
        EXPECT_NE(normal, pressed);
        pButton->setEnabled(false);
        EXPECT_EQ(pButton->CurrentPicture().toImage(), pressed);
        pButton->setEnabled(true);
    }
}

TEST_F(SetupDlgTest, EachButtonStartsItsProgramAndTheLauncherStaysOpen) {
    ShowActive();
    Click(1006);
    ASSERT_EQ(m_started.size(), 1u);
    EXPECT_EQ(m_started[0], Below(m_folder.path(), "Oront V208 Software/setup.exe"));
    EXPECT_EQ(m_nWordSizeTests, 0) << "the application installer needs no word-size test";

    m_bSystem64 = false;
    Click(1002);
    m_bSystem64 = true;
    Click(1002);
    Click(1006);
    ASSERT_EQ(m_started.size(), 4u);
    EXPECT_EQ(m_started[1], Below(m_folder.path(), "Custom USB Device/dpinst.exe"));
    EXPECT_EQ(m_started[2], Below(m_folder.path(), "Custom USB Device/dpinst64.exe"));
    EXPECT_EQ(m_started[3], m_started[0]) << "each press starts another instance";
    EXPECT_EQ(m_nWordSizeTests, 2);

    EXPECT_TRUE(m_dlg.isVisible());
    EXPECT_EQ(m_dlg.result(), 0);
    for (int nId : {1006, 1002, 1003}) EXPECT_TRUE(m_dlg.Button(nId)->isEnabled());
}

TEST_F(SetupDlgTest, AFailedStartAndAPlatformWithoutInstallersAreTold) {
    ShowActive();
    m_strStartFailure = QStringLiteral("The installer X is missing.");
    Click(1006);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], m_strStartFailure);

    m_dlg.m_bStartsInstallers = false;
    Click(1006);
    Click(1002);
    EXPECT_EQ(m_started.size(), 1u) << "nothing is started where the installers do not apply";
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_TRUE(m_messages[1].contains("sudo apt install")) << m_messages[1].toStdString();
    EXPECT_TRUE(m_messages[2].contains("needs no driver")) << m_messages[2].toStdString();
    EXPECT_TRUE(m_dlg.isVisible());
}

TEST_F(SetupDlgTest, PathsFollowTheCurrentFolderAtEachPress) {
    QDir(m_folder.path()).mkdir("elsewhere");
    const QString strElsewhere = m_folder.filePath("elsewhere");
    ASSERT_TRUE(QDir::setCurrent(strElsewhere));
    m_bSystem64 = true;
    Click(1002);
    Click(1006);
    ASSERT_EQ(m_started.size(), 2u);
    EXPECT_EQ(m_started[0], Below(strElsewhere, "Custom USB Device/dpinst64.exe"));
    EXPECT_EQ(m_started[1], Below(strElsewhere, "Oront V208 Software/setup.exe"));

    // Without the media's installer, the release's own beside the launcher,
    // the highest version of them; the media's again once it is there.
    const QString strLauncher = m_folder.filePath("launcher");
    QDir(m_folder.path()).mkdir("launcher");
    for (const char* pszName : {"oront-v208-1.9.0-setup.exe", "oront-v208-1.10.0-setup.exe", "oront-v208-setup.exe",
                                "oront-v208-2.0.0-setup.exe.part"}) {
        QFile file(QDir(strLauncher).filePath(QString::fromLatin1(pszName)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    m_dlg.m_strLauncherFolder = strLauncher;
    Click(1006);
    ASSERT_EQ(m_started.size(), 3u);
    EXPECT_EQ(m_started[2], Below(strLauncher, "oront-v208-1.10.0-setup.exe"));
    QDir(strElsewhere).mkpath("Oront V208 Software");
    QFile media(QDir(strElsewhere).filePath("Oront V208 Software/setup.exe"));
    ASSERT_TRUE(media.open(QIODevice::WriteOnly));
    media.close();
    Click(1006);
    ASSERT_EQ(m_started.size(), 4u);
    EXPECT_EQ(m_started[3], Below(strElsewhere, "Oront V208 Software/setup.exe"));
}

TEST_F(SetupDlgTest, FirstFocusIsTheDriverButtonAndSpacePressesIt) {
    ShowActive();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return QApplication::focusWidget() == static_cast<QWidget*>(m_dlg.Button(1002)); }));
    QTest::keyClick(m_dlg.Button(1002), Qt::Key_Space);
    ASSERT_EQ(m_started.size(), 1u);
    EXPECT_EQ(m_started[0], Below(m_folder.path(), "Custom USB Device/dpinst.exe"));
}

TEST_F(SetupDlgTest, ExitEscapeAndCloseEndWithCodeTwo) {
    QTimer::singleShot(0, &m_dlg, [this] { Click(1003); });
    EXPECT_EQ(m_dlg.exec(), 2);
    EXPECT_FALSE(m_dlg.isVisible());

    QTimer::singleShot(0, &m_dlg, [this] { QTest::keyClick(Focused(), Qt::Key_Escape); });
    EXPECT_EQ(m_dlg.exec(), 2);

    QTimer::singleShot(0, &m_dlg, [this] { m_dlg.close(); });
    EXPECT_EQ(m_dlg.exec(), 2);
    EXPECT_TRUE(m_started.empty());
}

TEST_F(SetupDlgTest, EnterIsTheOkCommandWithEndCodeOne) {
    QTimer::singleShot(0, &m_dlg, [this] { QTest::keyClick(Focused(), Qt::Key_Return); });
    EXPECT_EQ(m_dlg.exec(), 1);
    EXPECT_TRUE(m_started.empty()) << "Enter does not press the focused picture button";
}

// Runs `inspect` on the next About box that opens, then presses its OK.
void OnNextAboutBox(QObject* context, std::function<void(CAboutDlg*)> inspect) {
    auto* pTimer = new QTimer(context);
    QObject::connect(pTimer, &QTimer::timeout, pTimer, [pTimer, inspect] {
        auto* pBox = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (pBox == nullptr) return;
        pTimer->stop();
        pTimer->deleteLater();
        inspect(pBox);
        QTest::mouseClick(pBox->findChild<QPushButton*>("1"), Qt::LeftButton);
    });
    pTimer->start(5);
}

TEST_F(SetupDlgTest, AboutEntryOnTheContextMenuAndF1) {
    QAction* pAbout = m_dlg.AboutAction();
#if defined(Q_OS_WIN)
    // On Windows the entry is on the window's system menu instead.
    EXPECT_EQ(pAbout, nullptr);
    return;
#endif
    ASSERT_NE(pAbout, nullptr);
    EXPECT_EQ(pAbout->text(), "About Setup(&A)...");
    EXPECT_EQ(m_dlg.contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(m_dlg.actions().contains(pAbout));

    int nBoxes = 0;
    QStringList texts;
    auto inspect = [&](CAboutDlg* pBox) {
        ++nBoxes;
        EXPECT_EQ(pBox->windowTitle(), "Oront V208 Software Installer");
        texts.clear();
        for (QLabel* pLabel : pBox->findChildren<QLabel*>()) texts << pLabel->text();
        ASSERT_NE(pBox->findChild<QLabel*>("128"), nullptr);
        EXPECT_FALSE(pBox->findChild<QLabel*>("128")->pixmap().isNull());
        QPushButton* pOk = pBox->findChild<QPushButton*>("1");
        ASSERT_NE(pOk, nullptr);
        EXPECT_EQ(pOk->text(), "OK");
        EXPECT_TRUE(pOk->isDefault());
        if (const char* pszOut = getenv("ORONT_TEST_OUTPUT")) pBox->grab().save(QString(pszOut) + "/setup-about.png");
    };

    ShowActive();
    OnNextAboutBox(&m_dlg, inspect);
    pAbout->trigger();
    EXPECT_EQ(nBoxes, 1);
    EXPECT_TRUE(texts.contains("Setup,2.61"));

    // F1 is a window shortcut: it needs the launcher active again.
    m_dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_dlg));
    OnNextAboutBox(&m_dlg, inspect);
    QTest::keyClick(Focused(), Qt::Key_F1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return nBoxes == 2; }));
    EXPECT_TRUE(m_dlg.isVisible()) << "the launcher stays open after the About box";
    EXPECT_TRUE(m_started.empty());
}

TEST_F(SetupDlgTest, Screenshot) {
    ShowActive();
    const char* pszOut = getenv("ORONT_TEST_OUTPUT");
    if (pszOut == nullptr) GTEST_SKIP() << "ORONT_TEST_OUTPUT not set";
    const QImage shot = m_dlg.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(QString(pszOut) + "/setup.png")) << pszOut;
    // The background picture covers the whole client area (no bare window colour).
    const QColor corner = shot.pixelColor(shot.width() - 2, shot.height() - 2);
    EXPECT_NE(corner, m_dlg.palette().color(QPalette::Window));
}

}  // namespace

// ---------------------------------------------------------------------------
// The default starter hands an absolute file URL to the platform's opener.

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public slots:
    void Catch(const QUrl& url) { m_urls << url; }
};

TEST(SetupStarter, DefaultOpenerGetsTheInstallerAsFileUrl) {
    const QString strOld = QDir::currentPath();
    QTemporaryDir folder;
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Catch");
    const QString strDriver = folder.path() + "/Custom USB Device/dpinst64.exe";
    EXPECT_EQ(setup::StartWithDefaultOpener(strDriver),
              QDir::toNativeSeparators("The installer " + strDriver + " is missing."));
    for (const char* sub : {"Custom USB Device", "Oront V208 Software"}) QDir(folder.path()).mkdir(sub);
    for (const char* file : {"Custom USB Device/dpinst64.exe", "Oront V208 Software/setup.exe"}) {
        QFile f(folder.filePath(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    {
        CSetupDlg dlg;  // the platform's own starter, not replaced
        dlg.m_bStartsInstallers = true;
        dlg.m_fnSystemIs64Bit = [] { return true; };
        QTest::mouseClick(dlg.Button(1002), Qt::LeftButton);
        QTest::mouseClick(dlg.Button(1006), Qt::LeftButton);
    }
    QDesktopServices::unsetUrlHandler("file");
    QDir::setCurrent(strOld);
    ASSERT_EQ(catcher.m_urls.size(), 2);
    EXPECT_EQ(catcher.m_urls[0], QUrl::fromLocalFile(folder.path() + "/Custom USB Device/dpinst64.exe"));
    EXPECT_EQ(catcher.m_urls[1], QUrl::fromLocalFile(folder.path() + "/Oront V208 Software/setup.exe"));
}

#include "test_setup.moc"
