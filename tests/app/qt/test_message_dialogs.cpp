// The message dialogs and the About box: end codes, the text taken from
// g_strMessage, layout, colours, and what each shows on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/qt/AboutDlg.h"
#include "app/qt/MessageDlg.h"
#include "base/Messages.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"
#include "controls/qt/Theme.h"
#include "support/qt/Pictures.h"

using namespace oront;

namespace {

// Runs the dialog modally; once it is on screen, `act` answers it. A
// dialog left open is ended with -1 after a few seconds.
int RunModal(QDialog& dialog, const std::function<void(QDialog&)>& act) {
    QTimer::singleShot(0, &dialog, [&] {
        if (QTest::qWaitForWindowExposed(&dialog)) act(dialog);
    });
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); });
    return dialog.exec();
}

QPushButton* Button(QDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

QString Shown(const QDialog& dialog) {
    return dialog.findChild<QLabel*>(QStringLiteral("1017"))->text();
}

// The dialog on screen, after its first paint.
QImage ShownShot(QWidget& widget) {
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QApplication::processEvents();
    return test::Shot(widget);
}

// The darkest value of the pixels inside `area` of the shot (text is dark).
int Darkest(const QImage& shot, const QRect& area) {
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) darkest = std::min(darkest, shot.pixelColor(x, y).value());
    return darkest;
}

}  // namespace

TEST(MessageDialogs, OkEndsWithOneAndEverythingElseWithTwo) {
    g_strMessage = msg::kNoData;
    {
        CMessageDlg1 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::mouseClick(Button(d, "1"), Qt::LeftButton); }), 1);
    }
    {
        CMessageDlg1 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }), 1) << "Enter";
    }
    {
        CMessageDlg1 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }), 2) << "Escape";
    }
    {
        CMessageDlg1 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { d.close(); }), 2) << "close box";
    }
    g_strMessage = msg::kDeleteAsk1;
    {
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::mouseClick(Button(d, "1"), Qt::LeftButton); }), 1);
    }
    {
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::mouseClick(Button(d, "2"), Qt::LeftButton); }), 2);
    }
    {
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }), 2) << "Escape";
    }
    {
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { d.close(); }), 2) << "close box";
    }
    {
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }), 1) << "Enter on OK";
    }
    {
        // Enter while Cancel has the focus answers Cancel.
        CMessageDlg2 dlg;
        EXPECT_EQ(RunModal(dlg,
                           [](QDialog& d) {
                               Button(d, "2")->setFocus();
                               QTest::keyClick(Button(d, "2"), Qt::Key_Return);
                           }),
                  2);
    }
}

TEST(MessageDialogs, ShowTheMessageWithLineBreaksAndLeaveTheStringAlone) {
    g_strMessage = msg::kDeleteAsk2;
    CMessageDlg2 dlg;
    QString seen;
    RunModal(dlg, [&](QDialog& d) {
        seen = Shown(d);
        d.done(1);
    });
    EXPECT_EQ(seen, QStringLiteral("Warning!\nIt will delete all the data from the device.\nDo you want to continue?"));
    EXPECT_EQ(g_strMessage, msg::kDeleteAsk2);

    EXPECT_EQ(MessageDisplayText(msg::kQuitUnsaved),
              QStringLiteral("Data are not saved yet! \n Are you sure you want to exit now?"));
    EXPECT_EQ(MessageDisplayText("a\r\nb"), QStringLiteral("a\nb"));
    EXPECT_EQ(MessageDisplayText("a\rb\nc"), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(MessageDisplayText("a\n\nb"), QStringLiteral("a\n\nb"));
    EXPECT_EQ(MessageDisplayText("a\n\r\n\rb"), QStringLiteral("a\n\nb"));
    EXPECT_EQ(MessageDisplayText("caf\xe9"), QStringLiteral("caf\u00e9"));
}

TEST(MessageDialogs, TwoMessagesInARowShowTheSecond) {
    g_strMessage = msg::kConnectFailed;
    CMessageDlg1 first;
    QString firstSeen;
    RunModal(first, [&](QDialog& d) {
        firstSeen = Shown(d);
        d.done(1);
    });
    g_strMessage = msg::kReadFailed;
    CMessageDlg1 second;
    QString secondSeen;
    RunModal(second, [&](QDialog& d) {
        secondSeen = Shown(d);
        d.done(1);
    });
    EXPECT_EQ(firstSeen, QString::fromLatin1(msg::kConnectFailed));
    EXPECT_EQ(secondSeen, QString::fromLatin1(msg::kReadFailed));

    // The text is taken when the dialog opens, not when it is created.
    CMessageDlg1 early;
    g_strMessage = msg::kDeleted;
    QString lateSeen;
    RunModal(early, [&](QDialog& d) {
        lateSeen = Shown(d);
        d.done(1);
    });
    EXPECT_EQ(lateSeen, QString::fromLatin1(msg::kDeleted));
}

TEST(MessageDialogs, TemplateLayoutColoursAndSkinnedButtons) {
    g_strMessage = msg::kSaveFailed;
    CMessageDlg1 one;
    const DialogUnits du10(DialogFont(QStringLiteral("Arial"), 10));
    EXPECT_EQ(one.windowTitle(), QStringLiteral("Oront V208 Software"));
    EXPECT_EQ(one.size(), du10.Size(211, 69));
    EXPECT_EQ(one.minimumSize(), one.maximumSize()) << "fixed size";
    EXPECT_EQ(one.findChild<QLabel*>(QStringLiteral("1024"))->geometry(), du10.Rect(16, 15, 20, 20));
    EXPECT_EQ(one.findChild<QLabel*>(QStringLiteral("1017"))->geometry(), du10.Rect(52, 19, 152, 27));
    auto* ok1 = one.findChild<CShadeButtonST*>(QStringLiteral("1"));
    ASSERT_NE(ok1, nullptr);
    EXPECT_EQ(ok1->geometry(), du10.Rect(82, 48, 50, 14));
    EXPECT_EQ(ok1->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok1->IsDefaultButton());
    EXPECT_FALSE(ok1->ButtonIcon().isNull());
    EXPECT_TRUE(ok1->FlatFocus());
    EXPECT_EQ(ok1->NormalFace().Width(), ok1->width());
    EXPECT_EQ(one.findChild<CShadeButtonST*>(QStringLiteral("2")), nullptr);

    CMessageDlg2 two;
    const DialogUnits du9(DialogFont(QStringLiteral("Arial"), 9));
    EXPECT_EQ(two.size(), du9.Size(211, 73));
    EXPECT_EQ(two.findChild<QLabel*>(QStringLiteral("1024"))->geometry(), du9.Rect(15, 17, 20, 20));
    EXPECT_EQ(two.findChild<QLabel*>(QStringLiteral("1017"))->geometry(), du9.Rect(48, 20, 151, 29));
    auto* ok2 = two.findChild<CShadeButtonST*>(QStringLiteral("1"));
    auto* cancel = two.findChild<CShadeButtonST*>(QStringLiteral("2"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(ok2->geometry(), du9.Rect(47, 53, 50, 15));
    EXPECT_EQ(cancel->geometry(), du9.Rect(122, 53, 50, 15));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(ok2->IsDefaultButton());
    EXPECT_FALSE(cancel->IsDefaultButton());

    // The text control: black on the shared background colour; the OK
    // button idle face light grey.
    one.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&one));
    const QImage shot = one.grab().toImage();
    const QRect text = one.findChild<QLabel*>(QStringLiteral("1017"))->geometry();
    EXPECT_EQ(shot.pixelColor(text.right() - 1, text.bottom() - 1), theme::Background());
    const QRect icon = one.findChild<QLabel*>(QStringLiteral("1024"))->geometry();
    EXPECT_EQ(shot.pixelColor(icon.left() + 1, icon.top()), theme::Background());
    EXPECT_EQ(shot.pixelColor(ok1->geometry().right() - 2, ok1->geometry().top() + 2), QColor(246, 246, 246));
    int darkest = 255;
    for (int y = text.top(); y <= text.bottom(); ++y)
        for (int x = text.left(); x <= text.right(); ++x) darkest = std::min(darkest, shot.pixelColor(x, y).value());
    EXPECT_LT(darkest, 50) << "black text";
    EXPECT_TRUE(ok1->hasFocus() || one.focusWidget() == ok1) << "focus starts on OK";
}

TEST(MessageDialogs, LongTextIsCutAndTheDialogKeepsItsSize) {
    g_strMessage = std::string(400, 'x') + " " + std::string(400, 'y');
    CMessageDlg1 dlg;
    const QSize before = dlg.size();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.size(), before);
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("1017"))->size(), DialogUnits(dlg.font()).Size(152, 27));
}

// What goes with a message: its cause under the text (the dialog grows for
// it and the buttons move below it), the icon of an error, and Cancel as the
// default of a question that cannot be undone. Then they are gone: the next
// message shows the template as it is.
TEST(MessageDialogs, DetailIconAndDefaultButtonGoWithOneMessage) {
    const std::string cause = "Permission denied: /home/qa/Measurements/2026/Filling room 2/records.csv";
    const QSize templateSize = CMessageDlg1().size();
    SetMessage(msg::kSaveFailed, cause, MessageIcon::Error);
    {
        CMessageDlg1 dlg;
        ShownShot(dlg);
        EXPECT_TRUE(g_messageExtras.detail.empty()) << "the dialog took the detail";
        QLabel* detail = dlg.DetailControl();
        ASSERT_TRUE(detail->isVisible());
        EXPECT_EQ(detail->text().remove(QChar(0x200B)).toStdString(), cause);
        EXPECT_EQ(Shown(dlg), QLatin1String(msg::kSaveFailed));
        EXPECT_GT(dlg.height(), templateSize.height());
        EXPECT_GE(Button(dlg, "1")->y(), detail->geometry().bottom()) << "OK stays below the detail";
        EXPECT_LE(detail->geometry().right(), dlg.width());
        EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("1024"))->property("icon").toInt(),
                  static_cast<int>(MessageIcon::Error));
    }
    {
        CMessageDlg1 dlg;
        ShownShot(dlg);
        EXPECT_EQ(dlg.size(), templateSize);
        EXPECT_FALSE(dlg.DetailControl()->isVisible());
        EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("1024"))->property("icon").toInt(),
                  static_cast<int>(MessageIcon::Information));
    }
    for (const bool cancelIsDefault : {true, false}) {
        SetMessage(msg::kDeleteAsk1, {}, MessageIcon::Warning, cancelIsDefault);
        CMessageDlg2 ask;
        const int code = RunModal(ask, [](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); });
        EXPECT_EQ(code, cancelIsDefault ? 2 : 1) << "Enter takes the default button";
    }
}

// Each message on screen: the background picture over the dialog, the
// message in black on the label colour, the icon drawn.
TEST(MessageDialogs, EveryMessageShowsOnTheBackgroundPicture) {
    struct Shown {
        const char* message;
        bool question;
    };
    for (const Shown m : {Shown{msg::kConnectFailed, false}, Shown{msg::kDeleteAsk2, true},
                          Shown{msg::kQuitUnsaved, true}, Shown{msg::kInputNull, false}}) {
        SCOPED_TRACE(m.message);
        g_strMessage = m.message;
        std::unique_ptr<QDialog> dlg;
        if (m.question)
            dlg = std::make_unique<CMessageDlg2>();
        else
            dlg = std::make_unique<CMessageDlg1>();
        const QImage shot = ShownShot(*dlg);
        test::ExpectBackgroundAtTheCorners(shot, true);
        const QRect text = dlg->findChild<QLabel*>(QStringLiteral("1017"))->geometry();
        EXPECT_EQ(shot.pixelColor(text.right() - 1, text.bottom() - 1), theme::Background());
        EXPECT_LT(Darkest(shot, text), 50) << "black text";
        const QRect icon = dlg->findChild<QLabel*>(QStringLiteral("1024"))->geometry();
        int drawn = 0;
        for (int y = icon.top(); y <= icon.bottom(); ++y)
            for (int x = icon.left(); x <= icon.right(); ++x) drawn += shot.pixelColor(x, y) != theme::Background();
        EXPECT_GT(drawn, 50) << "the message icon";
    }
}

TEST(AboutDialog, ShowsIconVersionCopyrightAndOk) {
    CAboutDlg about;
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Oront V208 Software, Version 2.61(CE)")));
    EXPECT_TRUE(texts.contains(CAboutDlg::CopyrightText()));
    const QLabel* icon = about.findChild<QLabel*>(QStringLiteral("icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    EXPECT_TRUE(about.findChildren<CShadeButtonST*>().isEmpty()) << "no skinned buttons";
    QPushButton* ok = Button(about, "1");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(RunModal(about, [](QDialog& d) { QTest::mouseClick(Button(d, "1"), Qt::LeftButton); }),
              QDialog::Accepted);
    // Every label fits its text, and shows it.
    const QImage shot = ShownShot(about);
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
        EXPECT_LT(Darkest(shot, label->geometry()), 80) << label->text().toStdString();
    }
    // The icon is drawn.
    const QRect area = icon->geometry();
    const QColor window = about.palette().color(QPalette::Window);
    int drawn = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) drawn += shot.pixelColor(x, y) != window;
    EXPECT_GT(drawn, 50);
}
