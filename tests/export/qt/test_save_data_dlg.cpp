// The record range dialog of "Save Selected" (its digits-only fields are
// tested with the controls, tests/controls/qt/test_limit_edit.cpp), and the
// save dialog of both save buttons.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "base/Messages.h"
#include "controls/qt/LimitEdit.h"
#include "controls/qt/Resources.h"
#include "export/SaveFlows.h"
#include "export/SaveRange.h"
#include "export/qt/SaveDataDlg.h"
#include "export/qt/SaveFileDialog.h"
#include "support/StoreBuilders.h"
#include "support/TestEnvironment.h"
#include "support/qt/Pictures.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"
#include "table/qt/RecordTableCtrl.h"

namespace oront {
namespace {

class SaveDataDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bRangeFromSelection = false;
        g_nStartRecord = g_nEndRecord = g_nStartIndex = g_nEndIndex = 0;
        for (int i = 0; i < 3; ++i) b.AddPlain("0");  // records 1..3, indices 0..2
        b.AddRun(1, 2);                               // group (shows 4) 3, members 4, 5, summary 6
        b.AddPlain("1");                              // record 6, index 7
        table.FillRecordTable();
    }
    test::StoreBuilder b;
    MemoryReportList list;
    RecordTable table{b.store, list};
};

TEST_F(SaveDataDlgTest, LayoutAndDefaults) {
    CSaveDataDlg dlg(b.store, list);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Oront V208 Software"));
    auto* start = dlg.findChild<CLimitEdit*>(QStringLiteral("1019"));
    auto* end = dlg.findChild<CLimitEdit*>(QStringLiteral("1020"));
    ASSERT_NE(start, nullptr);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(start->text(), QStringLiteral("0001"));
    EXPECT_EQ(end->text(), QStringLiteral("0006"));
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(end->isEnabled());
    EXPECT_EQ(start->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    auto* startLabel = dlg.findChild<QLabel*>(QStringLiteral("1021"));
    ASSERT_NE(startLabel, nullptr);
    EXPECT_EQ(startLabel->text(), QStringLiteral("Start Record :"));
    EXPECT_EQ(startLabel->palette().color(QPalette::Window), QColor(144, 183, 204));
    EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("1022"))->text(), QStringLiteral("End Record :"));
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("2"))->text(), QStringLiteral("Cancel"));
    // The frame lies inside the dialog, above the buttons.
    auto* frame = dlg.findChild<QGroupBox*>();
    ASSERT_NE(frame, nullptr);
    EXPECT_LT(frame->geometry().bottom(), ok->geometry().top());
    EXPECT_TRUE(dlg.rect().contains(frame->geometry()));
    EXPECT_LT(start->geometry().right(), frame->geometry().right());
}

TEST_F(SaveDataDlgTest, OkTakesTheRangeAndCancelChangesNothing) {
    {
        CSaveDataDlg dlg(b.store, list);
        QTimer::singleShot(0, &dlg, [&dlg] { dlg.findChild<QPushButton*>(QStringLiteral("1"))->click(); });
        EXPECT_EQ(dlg.DoModal(), CSaveDataDlg::kIdOk);
        EXPECT_EQ(g_nStartIndex, 0);
        EXPECT_EQ(g_nEndIndex, 7);
    }
    list.SelectRow(1);
    list.SelectRow(3);
    RangeFromSelection(list);
    {
        CSaveDataDlg dlg(b.store, list);
        EXPECT_EQ(dlg.StartField()->text(), QStringLiteral("0002"));
        EXPECT_EQ(dlg.EndField()->text(), QStringLiteral("0004"));
        QTimer::singleShot(0, &dlg, [&dlg] { dlg.findChild<QPushButton*>(QStringLiteral("2"))->click(); });
        EXPECT_EQ(dlg.DoModal(), CSaveDataDlg::kIdCancel);
        EXPECT_EQ(g_nStartIndex, 0);  // as the first run left them
        EXPECT_EQ(g_nEndIndex, 7);
    }
    {
        CSaveDataDlg dlg(b.store, list);
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), CSaveDataDlg::kIdOk);
        EXPECT_EQ(g_nStartIndex, 1);
        EXPECT_EQ(g_nEndIndex, 3);
    }
}

// Only the MIN line of the run selected: the fields show the group row above
// it, and a note under the frame says that the file holds the run's summary.
// Any other selection keeps the dialog as it is.
TEST_F(SaveDataDlgTest, SummaryLinesSelectedAddTheNote) {
    list.SelectRow(1);
    list.SelectRow(2);
    RangeFromSelection(list);
    CSaveDataDlg plain(b.store, list);
    EXPECT_EQ(plain.Note(), nullptr);
    EXPECT_EQ(plain.findChild<QLabel*>(QStringLiteral("1023")), nullptr);

    list.ClearSelection();
    list.SelectRow(6);  // rows: 0..2 plain, 3 group, 4..7 AVG, MAX, MIN, 95%UCL, 8 plain
    RangeFromSelection(list);
    CSaveDataDlg dlg(b.store, list);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.StartField()->text(), QStringLiteral("0004"));
    EXPECT_EQ(dlg.EndField()->text(), QStringLiteral("0004"));
    QLabel* note = dlg.Note();
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->objectName(), QStringLiteral("1023"));
    EXPECT_EQ(note->text().toStdString(),
              "The file will hold only the summary (AVG, MAX, MIN, 95%UCL) of the ISO run ending at record 0005.");
    EXPECT_TRUE(note->isVisible());
    EXPECT_GE(note->height(), note->heightForWidth(note->width()));  // every line shows

    // Under the frame, above the buttons, which move down by the note's room.
    auto* frame = dlg.findChild<QGroupBox*>();
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("1"));
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("2"));
    EXPECT_GT(note->geometry().top(), frame->geometry().bottom());
    EXPECT_LT(note->geometry().bottom(), ok->geometry().top());
    EXPECT_EQ(frame->geometry(), plain.findChild<QGroupBox*>()->geometry());
    for (const char* id : {"1019", "1020", "1021", "1022"})
        EXPECT_EQ(dlg.findChild<QWidget*>(id)->geometry(), plain.findChild<QWidget*>(id)->geometry()) << id;
    const int shift = ok->y() - plain.findChild<QPushButton*>(QStringLiteral("1"))->y();
    EXPECT_GT(shift, note->height());
    EXPECT_EQ(cancel->y() - plain.findChild<QPushButton*>(QStringLiteral("2"))->y(), shift);
    EXPECT_EQ(dlg.width(), plain.width());
    EXPECT_NEAR(dlg.height(), plain.height() + shift, 1);  // dialog units rounded apart
    EXPECT_TRUE(dlg.rect().contains(cancel->geometry()));

    // OK takes the numbers as before.
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), CSaveDataDlg::kIdOk);
    EXPECT_EQ(g_nStartIndex, 3);
    EXPECT_EQ(g_nEndIndex, 3);
}

TEST_F(SaveDataDlgTest, FailingFieldShowsTheMessageAndStaysOpen) {
    CSaveDataDlg dlg(b.store, list);
    std::vector<std::string> shown;
    dlg.SetMessageHandler([&shown] { shown.push_back(g_strMessage); });
    dlg.show();
    dlg.StartField()->setText(QString());
    dlg.EndField()->setText(QStringLiteral("1.2.3"));
    dlg.OnOK();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], msg::kInputNull);
    EXPECT_TRUE(dlg.isVisible());
    dlg.StartField()->setText(QStringLiteral("0002"));
    dlg.OnOK();
    EXPECT_EQ(shown.back(), msg::kFormatError);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(g_nStartIndex, 0);
}

TEST_F(SaveDataDlgTest, BackgroundPictureFillsTheDialogAndTheCaptionsKeepTheirBrush) {
    CSaveDataDlg dlg(b.store, list);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QImage shot = test::Shot(dlg);
    test::ExpectBackgroundAtTheCorners(shot, false);
    for (const char* id : {"1021", "1022"}) {
        const QRect caption = dlg.findChild<QLabel*>(QString::fromLatin1(id))->geometry();
        EXPECT_EQ(shot.pixelColor(caption.right() - 1, caption.bottom() - 1), QColor(144, 183, 204)) << id;
    }
}

TEST(SaveDataDlgOnTheTable, SelectionOfTheWidgetBecomesTheRange) {
    g_bRangeFromSelection = false;
    test::StoreBuilder b;
    for (int i = 0; i < 4; ++i) b.AddPlain("0");  // records 1..4, indices 0..3
    b.AddRun(1, 3);                               // group shows 5 (index 4), summary index 8
    b.AddPlain("1");                              // record 8, index 9
    CRecordTableCtrl table(b.store, nullptr);
    table.resize(760, 300);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    table.FillRecordTable();
    // rows: 0..3 plain, 4 group, 5..8 summary lines, 9 plain
    auto point = [&table](int row) { return QPoint(30, table.rowViewportPosition(row) + table.rowHeight(row) / 2); };
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, point(2));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::ShiftModifier, point(6));
    EXPECT_EQ(table.GetFirstSelectedRow(), 2);
    EXPECT_EQ(table.GetLastSelectedRow(), 6);
    EXPECT_EQ(table.GetSelectedCount(), 5);
    RangeFromSelection(table);
    CSaveDataDlg dlg(b.store, table);
    EXPECT_EQ(dlg.StartField()->text(), QStringLiteral("0003"));
    EXPECT_EQ(dlg.EndField()->text(), QStringLiteral("0005"));  // the MAX line walks up to the group
    dlg.OnOK();
    EXPECT_EQ(g_nStartIndex, 2);
    EXPECT_EQ(g_nEndIndex, 4);
}

// The file-type box names the CSV filter once, and the filter keeps only
// CSV files in the list.
TEST(SaveFileDialog, ShowsTheCsvFilterOnce) {
    EXPECT_EQ(QtNameFilters(kCsvFilter), QStringList{"DATA FILE(*.csv)"});
    EXPECT_EQ(QtNameFilters("Text|*.txt;*.log|All files (*)|*|"), (QStringList{"Text (*.txt *.log)", "All files (*)"}));

    const QString folder = QString::fromStdString(test::FreshTestFolder("save_file_dialog").string());
    for (const char* name : {"/kept.csv", "/other.txt"}) {
        QFile file(folder + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(folder);
    SetupSaveFileDialog(dialog, "20151024093005", kCsvFilter, kCsvExtension);
    EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog.defaultSuffix(), "csv");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 1);
    EXPECT_EQ(types->currentText().toStdString(), "DATA FILE(*.csv)");
    EXPECT_EQ(dialog.findChild<QLineEdit*>("fileNameEdit")->text().toStdString(), "20151024093005");
    auto* list = dialog.findChild<QAbstractItemView*>("listView");
    ASSERT_NE(list, nullptr);
    auto shown = [list] {
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int r = 0; r < list->model()->rowCount(root); ++r)
            names << list->model()->index(r, 0, root).data().toString();
        return names;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown().isEmpty(); }, 5000));
    EXPECT_EQ(shown().join('|').toStdString(), "kept.csv");
}

}  // namespace
}  // namespace oront
