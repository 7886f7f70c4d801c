// CReportCtrl and the record table control on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <map>

#include "controls/qt/DialogUnits.h"
#include "device/MemoryImage.h"
#include "support/InstrumentBuilders.h"
#include "support/StoreBuilders.h"
#include "table/DragSelect.h"
#include "table/qt/RecordTableCtrl.h"
#include "table/qt/ReportCtrl.h"

namespace oront {
namespace {

struct Labels : IRecordLabels {
    void SetLabelText(int id, const std::string& text) override { text_[id] = text; }
    std::map<int, std::string> text_;
};

QPoint RowPoint(const CReportCtrl& ctrl, int row) {
    return QPoint(30, ctrl.rowViewportPosition(row) + ctrl.rowHeight(row) / 2);
}

// Checks every change of the list's model against the item-model contract;
// a breach ends the test program.
void TestModel(CReportCtrl& ctrl) {
    new QAbstractItemModelTester(ctrl.model(), QAbstractItemModelTester::FailureReportingMode::Fatal, &ctrl);
}

std::vector<int> SelectedRows(const IReportList& list) {
    std::vector<int> rows;
    for (int r = 0; r < list.GetItemCount(); ++r)
        if (list.IsRowSelected(r)) rows.push_back(r);
    return rows;
}

TEST(ReportCtrl, RowColorsFollowColumnInsertions) {
    CReportCtrl ctrl;
    for (int c = 0; c < 12; ++c) ctrl.InsertColumn(c, QStringLiteral("C%1").arg(c), ColumnAlign::Left, 40);
    ASSERT_EQ(ctrl.InsertRow(0), 0);
    const RowColors* colors = ctrl.GetRowColors(0);
    ASSERT_NE(colors, nullptr);
    EXPECT_EQ(colors->m_dwData, 0u);
    ASSERT_EQ(colors->m_textColors.size(), 12u);
    ASSERT_EQ(colors->m_backColors.size(), 12u);
    const QRgb text = ctrl.palette().color(QPalette::Text).rgb();
    const QRgb back = ctrl.palette().color(QPalette::Base).rgb();
    EXPECT_EQ(colors->m_textColors[3], text);
    EXPECT_EQ(colors->m_backColors[3], back);

    ctrl.SetCellColors(0, 5, qRgb(255, 0, 0), qRgb(0, 255, 0));
    ctrl.SetItemText(0, 5, "five");
    ctrl.InsertColumn(5, QStringLiteral("new"), ColumnAlign::Right, 30);
    colors = ctrl.GetRowColors(0);
    ASSERT_EQ(colors->m_textColors.size(), 13u);
    ASSERT_EQ(colors->m_backColors.size(), 13u);
    EXPECT_EQ(colors->m_textColors[5], text);
    EXPECT_EQ(colors->m_backColors[5], back);
    EXPECT_EQ(colors->m_textColors[6], qRgb(255, 0, 0));
    EXPECT_EQ(colors->m_backColors[6], qRgb(0, 255, 0));
    EXPECT_EQ(ctrl.GetItemText(0, 6), "five");
    EXPECT_EQ(ctrl.GetItemText(0, 5), "");
    // The colours are what the cell is drawn with.
    EXPECT_EQ(ctrl.model()->index(0, 6).data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(ctrl.model()->index(0, 6).data(Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
    EXPECT_EQ(ctrl.InsertRow(1), 1);
    EXPECT_EQ(ctrl.GetRowColors(1)->m_textColors.size(), 13u);
    EXPECT_EQ(ctrl.SortColumn(), -1);
    EXPECT_TRUE(ctrl.SortAscending());
}

TEST(ReportCtrl, DeleteAllItemsReturnsTheFormerCount) {
    CReportCtrl ctrl;
    TestModel(ctrl);
    ctrl.InsertColumn(0, QStringLiteral("A"), ColumnAlign::Left, 40);
    EXPECT_EQ(ctrl.DeleteAllItems(), 0);
    for (int i = 0; i < 3; ++i) ctrl.InsertRow(i);
    EXPECT_EQ(ctrl.DeleteAllItems(), 3);
    EXPECT_EQ(ctrl.model()->rowCount(), 0);
    EXPECT_EQ(ctrl.GetRowColors(0), nullptr);
}

TEST(ReportCtrl, AppendsWhileSuspendedAreAnnouncedOnResume) {
    CReportCtrl ctrl;
    TestModel(ctrl);
    ctrl.InsertColumn(0, QStringLiteral("A"), ColumnAlign::Left, 40);
    ctrl.SuspendRedraw();
    for (int i = 0; i < 5; ++i) ctrl.SetItemText(ctrl.InsertRow(i), 0, std::to_string(i));
    EXPECT_EQ(ctrl.GetItemCount(), 5);
    ctrl.ResumeRedraw();
    EXPECT_EQ(ctrl.model()->rowCount(), 5);
    EXPECT_EQ(ctrl.model()->index(4, 0).data().toString(), QStringLiteral("4"));
    ctrl.InsertRow(2);  // not suspended: at once
    EXPECT_EQ(ctrl.model()->rowCount(), 6);
    EXPECT_EQ(ctrl.GetItemText(3, 0), "2");
}

// A list of rows "0".."9" in column 0, shown, with row `selected` selected.
class HeldRunsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestModel(ctrl);
        ctrl.InsertColumn(0, QStringLiteral("A"), ColumnAlign::Left, 40);
        for (int i = 0; i < 10; ++i) ctrl.SetItemText(ctrl.InsertRow(i), 0, std::to_string(i));
        ctrl.resize(200, 300);
        ctrl.show();
        ctrl.SelectRow(3);
        ctrl.SelectRow(4);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (int r = 0; r < ctrl.GetItemCount(); ++r) texts.push_back(ctrl.GetItemText(r, 0));
        return texts;
    }
    std::vector<std::string> ViewTexts() const {
        std::vector<std::string> texts;
        for (int r = 0; r < ctrl.model()->rowCount(); ++r)
            texts.push_back(ctrl.model()->index(r, 0).data().toString().toStdString());
        return texts;
    }
    CReportCtrl ctrl;
};

TEST_F(HeldRunsTest, InsertionsInTheMiddleAreAnnouncedOnResume) {
    ctrl.SuspendRedraw();
    for (int k = 1; k <= 3; ++k) ctrl.SetItemText(ctrl.InsertRow(3 + k), 0, "m" + std::to_string(k));
    ctrl.SetItemText(8, 0, "7'");  // a row below the held run
    ctrl.SetItemText(2, 0, "2'");  // a row above it
    using V = std::vector<std::string>;
    EXPECT_EQ(Texts(), (V{"0", "1", "2'", "3", "m1", "m2", "m3", "4", "7'", "6", "7", "8", "9"}));
    EXPECT_EQ(ctrl.model()->rowCount(), 10);
    EXPECT_EQ(ctrl.GetItemCount(), 13);
    ctrl.ResumeRedraw();
    EXPECT_EQ(ViewTexts(), Texts());
    // The selection moved with its rows.
    EXPECT_EQ(SelectedRows(ctrl), (std::vector<int>{3, 7}));
}

TEST_F(HeldRunsTest, DeletionsInARunAndMixedRuns) {
    ctrl.SuspendRedraw();
    ctrl.DeleteRow(5);
    ctrl.DeleteRow(5);
    ctrl.DeleteRow(4);  // upwards
    EXPECT_EQ(ctrl.GetItemCount(), 7);
    EXPECT_EQ(ctrl.GetItemText(4, 0), "7");
    ctrl.SetItemText(4, 0, "7'");
    ctrl.InsertRow(0);  // another kind of change: the deletions are announced first
    ctrl.SetItemText(0, 0, "new");
    EXPECT_TRUE(ctrl.DeleteRow(7));  // "9": a deletion after an insertion
    EXPECT_FALSE(ctrl.DeleteRow(7));
    using V = std::vector<std::string>;
    EXPECT_EQ(Texts(), (V{"new", "0", "1", "2", "3", "7'", "8"}));
    ctrl.ResumeRedraw();
    EXPECT_EQ(ViewTexts(), Texts());
    EXPECT_EQ(SelectedRows(ctrl), std::vector<int>{4});
    // Reading the selection while rows are held announces them first.
    ctrl.SuspendRedraw();
    ctrl.InsertRow(1);
    EXPECT_EQ(ctrl.GetFirstSelectedRow(), 5);
    EXPECT_EQ(ctrl.model()->rowCount(), 8);
    ctrl.ResumeRedraw();
}

// A record table of `rows` plain rows in a window with a second focusable widget.
class RecordTableGui : public ::testing::Test {
protected:
    void SetUp() override {
        g_bCtrlKeyDown = 0;
        g_bDragSelecting = false;
    }
    void TearDown() override { g_bCtrlKeyDown = 0; }
    void Build(int plainRows, bool withRun = false) {
        for (int i = 0; i < plainRows; ++i)
            b.AddPlain("0", "1", "1", "1", "0", i % 2 ? "11" : "0", i % 2 ? "/L" : "CNT");
        if (withRun) b.AddRun(2, 3, "12", "/m3");
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        edit = new QLineEdit(window.get());
        table = new CRecordTableCtrl(b.store, &labels, window.get());
        TestModel(*table);
        layout->addWidget(edit);
        layout->addWidget(table);
        window->resize(760, 420);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        table->FillRecordTable();
    }
    void Click(int row, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, RowPoint(*table, row));
    }

    test::StoreBuilder b;
    Labels labels;
    std::unique_ptr<QWidget> window;
    QLineEdit* edit = nullptr;
    CRecordTableCtrl* table = nullptr;
};

TEST_F(RecordTableGui, ColumnsHeaderAndHiddenColumns) {
    Build(3, true);
    EXPECT_EQ(table->objectName(), QStringLiteral("1007"));
    ASSERT_EQ(table->GetColumnCount(), 12);
    const QAbstractItemModel* model = table->model();
    EXPECT_EQ(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("Ch1        "));
    EXPECT_EQ(model->headerData(5, Qt::Horizontal).toString(), QStringLiteral("Date & Time"));
    EXPECT_FALSE(model->headerData(3, Qt::Horizontal, Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_FALSE(model->headerData(2, Qt::Horizontal, Qt::DecorationRole).isValid());
    EXPECT_TRUE(table->isColumnHidden(col::Cnt));
    EXPECT_TRUE(table->isColumnHidden(col::No));
    EXPECT_EQ(table->GetColumnWidth(col::Record), 56);
    EXPECT_EQ(table->GetColumnWidth(col::DateTime), 120);
    EXPECT_EQ(table->GetColumnWidth(col::Ch1), 94);
    EXPECT_FALSE(table->horizontalHeader()->sectionsClickable());
    EXPECT_TRUE(table->showGrid());
    EXPECT_FALSE(model->index(0, col::Record).data(Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_EQ(model->index(0, col::Ch1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
}

TEST_F(RecordTableGui, ClickOnGroupRowExpandsAndCollapses) {
    Build(2, true);  // rows: 2 plain, 2 groups, 4 summary lines
    ASSERT_EQ(table->GetItemCount(), 8);
    Click(2);
    EXPECT_EQ(table->GetSelectionMark(), 2);
    EXPECT_EQ(table->GetItemCount(), 11);
    EXPECT_EQ(table->model()->rowCount(), 11);
    EXPECT_EQ(b.store.m_rows[2].m_strKind, "4");
    EXPECT_EQ(labels.text_[kLabelUnit], "/m3");
    EXPECT_EQ(table->GetItemText(3, col::Cycles), "1");
    // The click selected the group row only.
    EXPECT_EQ(SelectedRows(*table), std::vector<int>{2});
    Click(2);
    EXPECT_EQ(table->GetItemCount(), 8);
    EXPECT_EQ(b.store.m_rows[2].m_strKind, "5");
    // A double click (press, release, press, double click, release) toggles
    // once, not twice.
    Click(2);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, RowPoint(*table, 2));
    EXPECT_EQ(table->GetItemCount(), 11);
}

TEST_F(RecordTableGui, CtrlClickChangesNothing) {
    Build(10);
    Click(2);
    edit->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());
    QSignalSpy clicks(table, &CReportCtrl::clickNotify);
    g_bCtrlKeyDown = 1;
    Click(5);
    EXPECT_EQ(SelectedRows(*table), std::vector<int>{2});
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(table->GetSelectionMark(), 2);
    EXPECT_EQ(clicks.count(), 0);
    g_bCtrlKeyDown = 0;
    Click(5);
    EXPECT_EQ(SelectedRows(*table), std::vector<int>{5});
    EXPECT_TRUE(table->hasFocus());
}

TEST_F(RecordTableGui, SpaceBarIsConsumed) {
    Build(10);
    Click(4);
    table->clearSelection();
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_TRUE(SelectedRows(*table).empty());
    QTest::keyClick(table, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_TRUE(SelectedRows(*table).empty());
}

TEST_F(RecordTableGui, EveryWayOfMovingTheSelectionShowsTheRowMovedTo) {
    Build(60, true);  // odd rows: size code 11 and "/L"; then a run's two groups
    // The row alone selected, at the selection mark, and its sizes and unit
    // in the labels.
    auto expectAt = [&](int row, const char* how) {
        EXPECT_EQ(SelectedRows(*table), std::vector<int>{row}) << how;
        EXPECT_EQ(table->GetSelectionMark(), row) << how;
        const int index = std::stoi(table->GetItemText(row, col::Cnt));
        EXPECT_EQ(labels.text_[kLabelUnit], b.store.RecordOf(index).m_strUnit.str()) << how << " row " << row;
        EXPECT_EQ(labels.text_[kLabelCh1Size], Ch1LabelText(std::stoi(b.store.RecordOf(index).m_strSizeCode.str())))
            << how << " row " << row;
    };
    Click(4);
    EXPECT_EQ(labels.text_[kLabelUnit], "CNT");
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(labels.text_[kLabelUnit], "/L");
    EXPECT_EQ(labels.text_[kLabelCh1Size], "0.5um");
    expectAt(5, "down");
    QTest::keyClick(table, Qt::Key_Up);
    expectAt(4, "up");

    Click(0);
    int row = 0;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(table, Qt::Key_PageDown);
        ASSERT_GT(table->currentIndex().row(), row);
        row = table->currentIndex().row();
        expectAt(row, "page down");
    }
    QTest::keyClick(table, Qt::Key_PageUp);
    ASSERT_LT(table->currentIndex().row(), row);
    expectAt(table->currentIndex().row(), "page up");
    const int last = table->GetItemCount() - 1;
    QTest::keyClick(table, Qt::Key_End);
    expectAt(last, "end");
    QTest::keyClick(table, Qt::Key_Home);
    expectAt(0, "home");
    QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
    expectAt(last, "ctrl+end");
    QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
    expectAt(0, "ctrl+home");

    // Right and middle buttons select too; they never open a group.
    table->scrollToTop();
    QTest::mouseClick(table->viewport(), Qt::RightButton, {}, RowPoint(*table, 3));
    expectAt(3, "right click");
    QTest::mouseClick(table->viewport(), Qt::MiddleButton, {}, RowPoint(*table, 6));
    expectAt(6, "middle click");
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(*table, 8));
    QTest::mouseClick(table->viewport(), Qt::RightButton, {}, RowPoint(*table, 7));
    expectAt(7, "right click in a selection");
    // A drag selection moves the mark to the row it starts on.
    QTest::mousePress(table->viewport(), Qt::LeftButton, {}, RowPoint(*table, 10));
    QTest::mouseMove(table->viewport(), RowPoint(*table, 13));
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, RowPoint(*table, 13));
    EXPECT_EQ(SelectedRows(*table), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(table->GetSelectionMark(), 10);
    EXPECT_EQ(labels.text_[kLabelUnit], "CNT") << "row 10's unit";
    table->scrollToBottom();
    const int group = last - 5;
    ASSERT_EQ(table->GetItemImage(group, col::Points), image::kGroupCollapsed);
    QTest::mouseClick(table->viewport(), Qt::RightButton, {}, RowPoint(*table, group));
    expectAt(group, "right click on a group");
    EXPECT_EQ(table->GetItemCount(), last + 1);
}

TEST_F(RecordTableGui, ShiftClickKeepsTheSelectionMark) {
    Build(10);
    Click(2);
    Click(6, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(*table), (std::vector<int>{2, 3, 4, 5, 6}));
    EXPECT_EQ(table->GetSelectionMark(), 2);
    EXPECT_EQ(labels.text_[kLabelUnit], "CNT");  // row 2's unit, not row 6's
}

TEST_F(RecordTableGui, ClickBelowTheLastRowClearsTheSelection) {
    Build(3);
    Click(1);
    labels.text_.clear();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, QPoint(30, table->viewport()->height() - 5));
    EXPECT_TRUE(SelectedRows(*table).empty());
    EXPECT_EQ(table->GetSelectionMark(), 1);
    EXPECT_EQ(labels.text_[kLabelUnit], "/L");  // still from the row at the mark
}

TEST_F(RecordTableGui, DragSelectionWithTheMouse) {
    Build(12);
    QWidget* vp = table->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, RowPoint(*table, 3));
    EXPECT_EQ(SelectedRows(*table), std::vector<int>{3});
    for (int row : {4, 5, 6, 5, 4, 3, 2, 1}) QTest::mouseMove(vp, RowPoint(*table, row));
    EXPECT_TRUE(g_bDragSelecting);
    EXPECT_EQ(g_nDragAnchor, 3);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, RowPoint(*table, 1));
    EXPECT_FALSE(g_bDragSelecting);
    EXPECT_EQ(SelectedRows(*table), (std::vector<int>{1, 2, 3}));
    // A move without a drag changes nothing.
    QTest::mouseMove(vp, RowPoint(*table, 8));
    EXPECT_EQ(SelectedRows(*table), (std::vector<int>{1, 2, 3}));
}

std::vector<int> Rows(int first, int last) {
    std::vector<int> rows;
    for (int r = first; r <= last; ++r) rows.push_back(r);
    return rows;
}

TEST_F(RecordTableGui, FastDragSelectsEveryRowBetween) {
    Build(20);
    QWidget* vp = table->viewport();
    ASSERT_LT(RowPoint(*table, 13).y(), vp->height());
    QTest::mousePress(vp, Qt::LeftButton, {}, RowPoint(*table, 2));
    QTest::mouseMove(vp, RowPoint(*table, 13));  // one move, eleven rows on
    QTest::mouseRelease(vp, Qt::LeftButton, {}, RowPoint(*table, 13));
    EXPECT_EQ(SelectedRows(*table), Rows(2, 13));
    // Held as one range, not one per row.
    EXPECT_EQ(table->selectionModel()->selection().size(), 1);
}

TEST_F(RecordTableGui, HeldOutsideTheListTheDragScrollsAndFollows) {
    Build(60);
    QWidget* vp = table->viewport();
    QScrollBar* bar = table->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    QTest::mousePress(vp, Qt::LeftButton, {}, RowPoint(*table, 5));
    const QPoint below(30, vp->height() + 40);
    QTest::mouseMove(vp, below);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() >= 12; }));
    // Back inside: the scrolling stops and the drag follows the pointer.
    const int row = table->rowAt(vp->height() / 2);
    QTest::mouseMove(vp, RowPoint(*table, row));
    int value = bar->value();
    QTest::qWait(150);
    EXPECT_EQ(bar->value(), value);
    EXPECT_EQ(SelectedRows(*table), Rows(5, row));
    // Out again until the release, which stops it.
    QTest::mouseMove(vp, below);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() >= value + 8; }));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, below);
    const int last = g_nDragBottom;
    EXPECT_EQ(SelectedRows(*table), Rows(5, last));
    // The last row selected is the one shown at the bottom.
    const int y = table->rowViewportPosition(last);
    EXPECT_GE(y, vp->height() - 3 * table->rowHeight(last));
    EXPECT_LE(y + table->rowHeight(last), vp->height());
    value = bar->value();
    QTest::qWait(150);
    EXPECT_EQ(bar->value(), value);
    // A press on a row of that selection starts a new one; held above the
    // list, it reaches the first row, and the release outside keeps it.
    const int press = table->rowAt(vp->height() / 2);
    QTest::mousePress(vp, Qt::LeftButton, {}, RowPoint(*table, press));
    QTest::mouseMove(vp, QPoint(30, -40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return g_nDragTop == 0; }));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(30, -40));
    EXPECT_EQ(SelectedRows(*table), Rows(0, press));
    EXPECT_EQ(bar->value(), 0);
}

TEST(WidgetLabelsTest, ClickWritesTheLabelsOfTheWindow) {
    test::StoreBuilder b;
    b.AddPlain("0", "1", "1", "1", "0", "10", "/cf");
    QWidget window;
    for (const char* id : {"1010", "1012", "1016"}) (new QLabel(&window))->setObjectName(QString::fromLatin1(id));
    WidgetLabels labels(&window);
    auto* table = new CRecordTableCtrl(b.store, &labels, &window);
    table->setGeometry(0, 0, 600, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    table->FillRecordTable();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, RowPoint(*table, 0));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("1010"))->text(), QStringLiteral("0.5um"));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("1012"))->text(), QStringLiteral("1.0um"));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("1016"))->text(), QStringLiteral("/cf"));
}

TEST(RecordTableFill, FillsAFullResultTableQuickly) {
    test::StoreBuilder b;
    for (int i = 0; i < 24000; ++i) b.AddPlain(i % 3 == 0 ? "0" : "1", std::to_string(i), "5", "1");
    CRecordTableCtrl table(b.store, nullptr);
    table.resize(760, 420);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    QElapsedTimer timer;
    timer.start();
    table.FillRecordTable();
    QApplication::processEvents();
    const qint64 ms = timer.elapsed();
    EXPECT_EQ(table.GetItemCount(), 24000);
    EXPECT_EQ(table.model()->rowCount(), 24000);
    EXPECT_EQ(g_nLastTableRow, 23999);
    EXPECT_EQ(table.GetColumnWidth(col::Ch1), 88);
    EXPECT_EQ(table.GetItemText(23999, col::Ch1), "23999");
    std::printf("fill of 24000 rows with the first paint: %lld ms\n", static_cast<long long>(ms));
    timer.restart();
    EXPECT_EQ(table.DeleteAllItems(), 24000);
    std::printf("delete of 24000 rows: %lld ms\n", static_cast<long long>(timer.elapsed()));
}

// The demo memory in the main window's font: a click opens the first group,
// whose members show their record pictures.
TEST(RecordTableDemo, GroupOpensAndItsRowsShowTheirPictures) {
    RecordStore store;
    ASSERT_TRUE(test::ReadRecordsFromImage(MakeDemoImage(), store));
    Labels labels;
    CRecordTableCtrl table(store, &labels);
    table.setFont(DialogFont(QStringLiteral("Arial"), 9));  // the main window's font
    table.resize(760, 440);
    table.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    table.FillRecordTable();
    int group = -1;
    for (int r = 0; r < table.GetItemCount() && group < 0; ++r)
        if (table.GetItemImage(r, col::Points) == image::kGroupCollapsed) group = r;
    ASSERT_GE(group, 0);
    QApplication::processEvents();
    table.scrollTo(table.model()->index(std::max(group - 2, 0), 0), QAbstractItemView::PositionAtTop);
    QApplication::processEvents();
    ASSERT_GE(table.rowAt(RowPoint(table, group).y()), 0);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, RowPoint(table, group));
    EXPECT_EQ(table.GetItemImage(group, col::Points), image::kGroupExpanded);
    EXPECT_EQ(table.GetItemImage(group + 1, col::Record), image::kRecord);
    EXPECT_FALSE(table.model()->index(group + 1, col::Record).data(Qt::DecorationRole).value<QPixmap>().isNull());
    // On screen: the open group's box and the member's record picture are
    // drawn at the left of their cells, in colours other than the list's own.
    table.clearSelection();
    QApplication::processEvents();
    const QImage shot = table.viewport()->grab().toImage();
    const QColor base = table.palette().color(QPalette::Base);
    const auto pictureDots = [&](int row, int column) {
        const QRect cell = table.visualRect(table.model()->index(row, column));
        const QRect picture = QRect(cell.left(), cell.top(), 18, cell.height() - 1).intersected(shot.rect());
        int dots = 0;
        for (int y = picture.top(); y <= picture.bottom(); ++y)
            for (int x = picture.left(); x <= picture.right(); ++x) dots += shot.pixelColor(x, y) != base ? 1 : 0;
        return dots;
    };
    EXPECT_GT(pictureDots(group, col::Points), 20) << "the open group's box";
    EXPECT_GT(pictureDots(group + 1, col::Record), 20) << "the member's record picture";
    EXPECT_EQ(pictureDots(group + 1, col::Points), 0) << "a member row has no box";
}

}  // namespace
}  // namespace oront
