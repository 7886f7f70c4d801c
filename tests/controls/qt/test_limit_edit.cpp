// CLimitEdit: typed characters other than digits and backspace are dropped;
// the typing limit does not cut texts a program sets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include "controls/qt/LimitEdit.h"

namespace oront {
namespace {

TEST(LimitEdit, DropsEverythingButDigitsAndBackspace) {
    CLimitEdit edit;
    edit.setText("12");
    edit.setCursorPosition(2);
    QTest::keyClicks(&edit, "a-.x ");
    EXPECT_EQ(edit.text(), "12");
    QTest::keyClick(&edit, Qt::Key_7);
    EXPECT_EQ(edit.text(), "127");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "12");
    // Cursor keys and Delete are not character input and still work.
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "2");
}

TEST(LimitEdit, TypingStopsAtTheLimitButSetTextDoesNot) {
    CLimitEdit edit;
    edit.SetLimitText(3);
    QTest::keyClicks(&edit, "12345");
    EXPECT_EQ(edit.text(), "123");
    // Replacing a selection keeps within the limit.
    edit.selectAll();
    QTest::keyClicks(&edit, "9");
    EXPECT_EQ(edit.text(), "9");

    edit.setText("1667");  // a program may show a longer text
    EXPECT_EQ(edit.text(), "1667");
    edit.setCursorPosition(4);
    QTest::keyClick(&edit, Qt::Key_5);
    EXPECT_EQ(edit.text(), "1667");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), "166");
}

TEST(LimitEdit, PastingIsNotFiltered) {
    CLimitEdit edit;
    QApplication::clipboard()->setText("a1");
    edit.paste();
    EXPECT_EQ(edit.text(), "a1");
}

}  // namespace
}  // namespace oront
