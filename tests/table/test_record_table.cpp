// The record table logic on the in-memory list: cells, group rows, labels,
// keys and the drag selection.
#include <gtest/gtest.h>

#include <map>

#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"

namespace oront {
namespace {

using test::StoreBuilder;

struct Labels : IRecordLabels {
    void SetLabelText(int id, const std::string& text) override {
        text_[id] = text;
        ++calls;
    }
    std::map<int, std::string> text_;
    int calls = 0;
};

class RecordTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bDragSelecting = false;
        InitRecordTableWidths(list);
    }
    void Fill() { table.FillRecordTable(); }
    std::string Cell(int row, int column) const { return list.GetItemText(row, column); }
    const char* Kind(int index) const { return b.store.m_rows[static_cast<std::size_t>(index)].m_strKind.c_str(); }
    // A plain click: the list selects the row and moves the mark, then notifies.
    void Click(int row) {
        list.SelectOnly(row);
        table.OnClickRecordTable();
    }

    StoreBuilder b;
    MemoryReportList list;
    Labels labels;
    RecordTable table{b.store, list, &labels};
};

TEST_F(RecordTableTest, PlainAndSummaryRowsFillFiveRows) {
    b.AddPlain("1", "12", "34", "56");
    b.AddRun(1, 1);
    // Only the summary of the run is wanted here: drop the group and member.
    b.store.m_rows.erase(b.store.m_rows.begin() + 1, b.store.m_rows.begin() + 3);
    b.store.m_nLastRow = 1;
    Fill();

    ASSERT_EQ(list.GetItemCount(), 5);
    EXPECT_EQ(g_nLastTableRow, 4);
    EXPECT_EQ(Cell(0, col::Record), " 0001");
    EXPECT_EQ(list.GetItemImage(0, col::Record), image::kRecord);
    EXPECT_EQ(Cell(0, col::Mode), "Manual");
    EXPECT_EQ(Cell(0, col::Location), "001");
    EXPECT_EQ(Cell(0, col::DateTime), "2015-03-07 08:30:15");
    EXPECT_EQ(Cell(0, col::Ch1), "12");
    EXPECT_EQ(Cell(0, col::Ch3), "56");
    EXPECT_EQ(Cell(0, col::Status), "");
    EXPECT_EQ(list.GetItemImage(0, col::Ch1), -1);
    EXPECT_EQ(Cell(0, col::Cnt), "0");
    EXPECT_EQ(Cell(0, col::No), "0001");

    const char* cycles[] = {"AVG", "MAX", "MIN", "95%UCL"};
    const char* prefix[] = {"A", "X", "N", "U"};
    for (int line = 0; line < 4; ++line) {
        const int r = 1 + line;
        EXPECT_EQ(Cell(r, col::Record), "");
        EXPECT_EQ(list.GetItemImage(r, col::Record), -1);
        EXPECT_EQ(Cell(r, col::Mode), "");
        EXPECT_EQ(Cell(r, col::DateTime), "");
        EXPECT_EQ(Cell(r, col::Cycles), cycles[line]);
        EXPECT_EQ(Cell(r, col::Ch2), std::string(prefix[line]) + "1");
        EXPECT_EQ(Cell(r, col::Cnt), "1");
        EXPECT_EQ(Cell(r, col::No), "");
    }
    EXPECT_EQ(list.SuspendDepth(), 0);
    EXPECT_EQ(list.RepaintCount(), 1);
}

TEST_F(RecordTableTest, LargeValuesAndOverRange) {
    b.AddPlain("0", "99999999", "150000000", "7", "1");
    b.AddRun(1, 1);
    b.Figures(3).m_strAvg[1] = "150000000";
    b.Figures(1).m_strAvg[0] = "123456789";
    Fill();

    EXPECT_EQ(Cell(0, col::Mode), "Auto");
    EXPECT_EQ(Cell(0, col::Ch1), "99999999");
    EXPECT_EQ(Cell(0, col::Ch2), "1.500E+08");
    EXPECT_EQ(Cell(0, col::Status), "OVER");
    EXPECT_EQ(list.GetItemImage(0, col::Ch1), image::kOverRange);
    // Group averages follow the rule, summary values are shown as stored.
    EXPECT_EQ(Cell(1, col::Ch1), "1.235E+08");
    EXPECT_EQ(Cell(2, col::Ch2), "150000000");
}

TEST_F(RecordTableTest, GroupRowCellsAndToggle) {
    b.AddPlain("6");
    b.AddRun(2, 3, "11", "/m3");
    Fill();
    // plain, group 1, group 2, four summary lines
    ASSERT_EQ(list.GetItemCount(), 7);
    EXPECT_EQ(Cell(0, col::Mode), "ISO");
    EXPECT_EQ(Cell(1, col::Record), " 0002");  // stored 0001, shown plus one
    EXPECT_EQ(Cell(1, col::Mode), "ISO");
    EXPECT_EQ(Cell(1, col::Cycles), "AVG");
    EXPECT_EQ(Cell(1, col::Points), "1");
    EXPECT_EQ(list.GetItemImage(1, col::Points), image::kGroupCollapsed);
    EXPECT_EQ(Cell(1, col::Ch1), "100");
    EXPECT_EQ(Cell(1, col::Cnt), "1");
    EXPECT_EQ(Cell(1, col::No), "0002");
    EXPECT_EQ(Cell(2, col::Cnt), "5");
    EXPECT_EQ(g_nLastTableRow, 6);

    Click(1);
    EXPECT_STREQ(Kind(1), "4");
    EXPECT_EQ(list.GetItemImage(1, col::Points), image::kGroupExpanded);
    ASSERT_EQ(list.GetItemCount(), 10);
    EXPECT_EQ(g_nLastTableRow, 9);
    for (int k = 1; k <= 3; ++k) {
        const int r = 1 + k;
        EXPECT_EQ(Cell(r, col::Record), FormatZeroPad(1 + k, 4));  // no leading blank
        EXPECT_EQ(list.GetItemImage(r, col::Record), image::kRecord);
        EXPECT_EQ(Cell(r, col::Mode), "");
        EXPECT_EQ(Cell(r, col::Location), "");
        EXPECT_EQ(Cell(r, col::Points), "");
        EXPECT_EQ(Cell(r, col::Cycles), FormatInt(k));
        EXPECT_EQ(Cell(r, col::Ch1), FormatInt(100 + k));
        EXPECT_EQ(Cell(r, col::Cnt), FormatInt(1 + k));
        EXPECT_EQ(Cell(r, col::No), "");
    }
    EXPECT_EQ(Cell(5, col::Record), " 0005");  // the second group moved down
    EXPECT_EQ(labels.text_[kLabelCh1Size], "0.5um");
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.0um");
    EXPECT_EQ(labels.text_[kLabelUnit], "/m3");

    Click(1);
    EXPECT_STREQ(Kind(1), "5");
    EXPECT_EQ(list.GetItemImage(1, col::Points), image::kGroupCollapsed);
    ASSERT_EQ(list.GetItemCount(), 7);
    EXPECT_EQ(g_nLastTableRow, 6);
    EXPECT_EQ(Cell(2, col::Record), " 0005");
    EXPECT_EQ(list.SuspendDepth(), 0);
}

TEST_F(RecordTableTest, GroupAfterRecord8000ShowsRecord0001) {
    b.SetRecordCounter(7999);
    b.AddPlain("0");  // record 8000
    b.AddRun(1, 2);   // group stored as 8000, members 0001 and 0002
    Fill();
    EXPECT_EQ(Cell(0, col::Record), " 8000");
    EXPECT_EQ(Cell(1, col::Record), " 0001");
    Click(1);
    EXPECT_EQ(Cell(2, col::Record), "0001");
    EXPECT_EQ(Cell(3, col::Record), "0002");
}

TEST_F(RecordTableTest, ChWidthsFollowTheLastRowPast22) {
    auto widths = [this] {
        return std::vector<int>{list.GetColumnWidth(col::Ch1), list.GetColumnWidth(col::Ch2),
                                list.GetColumnWidth(col::Ch3)};
    };
    // 15 plain rows and a run of one point with four cycles: 20 table rows,
    // 24 once the group is open.
    for (int i = 0; i < 15; ++i) b.AddPlain("0");
    b.AddRun(1, 4);
    Fill();
    EXPECT_EQ(widths(), std::vector<int>(3, kChWidthWide));
    Click(15);
    EXPECT_EQ(g_nLastTableRow, 23);
    EXPECT_EQ(widths(), std::vector<int>(3, kChWidthNarrow));
    Click(15);
    EXPECT_EQ(g_nLastTableRow, 19);
    EXPECT_EQ(widths(), std::vector<int>(3, kChWidthWide));
}

TEST_F(RecordTableTest, ChWidthsStayWideAtExactly22) {
    for (int i = 0; i < 14; ++i) b.AddPlain("0");
    b.AddRun(1, 4);
    Fill();
    Click(14);
    EXPECT_EQ(g_nLastTableRow, 22);
    EXPECT_EQ(list.GetColumnWidth(col::Ch1), kChWidthWide);
}

TEST_F(RecordTableTest, FillNarrowsWhenLastResultRowPasses22) {
    for (int i = 0; i < 24; ++i) b.AddPlain("0");
    Fill();
    EXPECT_EQ(list.GetColumnWidth(col::Ch2), kChWidthNarrow);
    EXPECT_EQ(list.GetColumnWidth(col::Status), 50);
    EXPECT_EQ(list.GetColumnWidth(col::Cnt), 0);
}

TEST_F(RecordTableTest, ClickOnSummaryUpdatesLabelsOnly) {
    b.AddPlain("0", "1", "2", "3", "0", "0", "CNT");
    b.AddRun(1, 2, "12", "/L");
    Fill();
    const int rows = list.GetItemCount();
    Click(rows - 2);  // the MIN line
    EXPECT_EQ(labels.text_[kLabelCh1Size], "0.5um");
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.5um");
    EXPECT_EQ(labels.text_[kLabelUnit], "/L");
    EXPECT_EQ(list.GetItemCount(), rows);
    EXPECT_STREQ(Kind(1), "5");
}

TEST_F(RecordTableTest, ClickDoesNothingWithoutRecordsOrWhileDragging) {
    b.AddRun(1, 2);
    Fill();
    b.store.m_nRecordCount = 0;
    Click(0);
    EXPECT_EQ(labels.calls, 0);
    EXPECT_EQ(list.GetItemCount(), 5);

    b.store.m_nRecordCount = 2;
    g_bDragSelecting = true;
    Click(0);
    EXPECT_EQ(labels.calls, 3);
    EXPECT_EQ(list.GetItemCount(), 5);
    EXPECT_STREQ(Kind(0), "5");
}

TEST_F(RecordTableTest, ClickBelowLastRowSetsLabelsFromMarkAndTogglesNothing) {
    b.AddRun(1, 2, "1", "/cf");
    Fill();
    list.SelectOnly(0);     // the group row holds the mark
    list.ClearSelection();  // a click on the empty area clears the selection
    table.OnClickRecordTable();
    EXPECT_EQ(labels.text_[kLabelCh2Size], "1.0um");
    EXPECT_EQ(labels.text_[kLabelUnit], "/cf");
    EXPECT_EQ(list.GetItemCount(), 5);
    EXPECT_STREQ(Kind(0), "5");
}

TEST_F(RecordTableTest, ShiftClickActsOnTheSelectionMark) {
    b.AddRun(1, 2, "0", "CNT");
    b.AddPlain("0", "1", "1", "1", "0", "3", "/m3");
    Fill();
    list.SelectOnly(0);  // mark on the group row
    // Shift+click on the plain row extends the selection, the mark stays.
    for (int r = 1; r <= 5; ++r) list.SelectRow(r);
    table.OnClickRecordTable();
    EXPECT_EQ(labels.text_[kLabelCh2Size], "0.5um");  // the group's code, not the plain row's
    EXPECT_STREQ(Kind(0), "4");
    EXPECT_EQ(list.GetItemCount(), 8);
}

TEST_F(RecordTableTest, ArrowKeysShowTheNeighbouringRow) {
    const char* codes[] = {"0", "1", "2", "3", "10", "11", "12"};
    for (const char* code : codes) b.AddPlain("0", "1", "1", "1", "0", code, code);
    Fill();
    list.SelectOnly(4);
    table.OnKeyDownRecordTable(TableKey::Down);
    EXPECT_EQ(labels.text_[kLabelUnit], "11");
    EXPECT_EQ(labels.text_[kLabelCh1Size], "0.5um");
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.0um");
    table.OnKeyDownRecordTable(TableKey::Up);
    EXPECT_EQ(labels.text_[kLabelUnit], "3");
    EXPECT_EQ(labels.text_[kLabelCh1Size], "0.3um");
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.5um");

    list.SelectOnly(6);
    table.OnKeyDownRecordTable(TableKey::Down);
    EXPECT_EQ(labels.text_[kLabelUnit], "12");
    list.SelectOnly(0);
    table.OnKeyDownRecordTable(TableKey::Up);
    EXPECT_EQ(labels.text_[kLabelUnit], "0");

    const int calls = labels.calls;
    table.OnKeyDownRecordTable(TableKey::Other);
    EXPECT_EQ(labels.calls, calls);
}

TEST_F(RecordTableTest, ArrowKeysIgnoredWithOneRowAndOnSummaryLinesUseTheirRow) {
    b.AddPlain("0");
    Fill();
    list.SelectOnly(0);
    table.OnKeyDownRecordTable(TableKey::Down);
    EXPECT_EQ(labels.calls, 0);

    StoreBuilder b2;
    b2.AddPlain("0", "1", "1", "1", "0", "0", "CNT");
    b2.AddRun(1, 1, "2", "/L");
    MemoryReportList list2;
    RecordTable table2{b2.store, list2, &labels};
    table2.FillRecordTable();
    list2.SelectOnly(5);  // the 95%UCL line, the last row
    table2.OnKeyDownRecordTable(TableKey::Down);
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.0um");
}

TEST(RecordTableFill, RecordsOfAnOddModeByteAreListedLikeInTheFiles) {
    // A first record of mode byte 7 has no mode to keep: its kind is none of
    // the known ones, and it is still a plain row of the table.
    std::vector<RawRecord> records{test::PlainRecord(7), test::PlainRecord(0), test::PlainRecord(9)};
    records[0].month = 13;
    records[0].unit = 7;
    records[0].sizeCode = 11;
    RecordStore store = test::DownloadedStore(records);
    MemoryReportList list;
    Labels labels;
    RecordTable table{store, list, &labels};
    table.FillRecordTable();
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(0, col::Record), " 0001");
    EXPECT_EQ(list.GetItemText(0, col::Mode), "");
    EXPECT_EQ(list.GetItemText(0, col::DateTime), "2015-13-07 08:30:15");
    EXPECT_EQ(list.GetItemText(2, col::Mode), "Auto") << "mode byte 9 keeps the mode before it";
    list.SelectOnly(0);
    table.OnClickRecordTable();
    EXPECT_EQ(labels.text_[kLabelCh2Size], "2.0um");
}

TEST(LabelText, SizeCodes) {
    EXPECT_EQ(Ch1LabelText(0), "0.3um");
    EXPECT_EQ(Ch1LabelText(12), "0.5um");
    EXPECT_EQ(Ch1LabelText(13), "0.3um");
    EXPECT_EQ(Ch2LabelText(0), "0.5um");
    EXPECT_EQ(Ch2LabelText(10), "1.0um");
    EXPECT_EQ(Ch2LabelText(5), "");
}

class DragSelectTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 10; ++i) list.InsertRow(i);
        g_nLastTableRow = 9;
        list.SelectOnly(3);  // the button press selects the row
        BeginDragSelection();
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        for (int r = 0; r < list.GetItemCount(); ++r)
            if (list.IsRowSelected(r)) rows.push_back(r);
        return rows;
    }
    MemoryReportList list;
};

TEST_F(DragSelectTest, DownBackUpAndPastTheAnchor) {
    for (int w : {3, 4, 5, 6}) DragSelectStep(list, w);
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(list.LastEnsuredVisible(), 7);
    DragSelectStep(list, 5);
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(list.LastEnsuredVisible(), 4);
    DragSelectStep(list, 4);
    EXPECT_EQ(Selected(), (std::vector<int>{3, 4}));
    DragSelectStep(list, 3);
    EXPECT_EQ(Selected(), (std::vector<int>{3}));
    DragSelectStep(list, 2);
    DragSelectStep(list, 1);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(g_nDragTop, 1);
    EXPECT_EQ(g_nDragAnchor, 3);
    EXPECT_EQ(list.LastEnsuredVisible(), 0);
    // Back down towards the anchor clears the top row.
    DragSelectStep(list, 2);
    EXPECT_EQ(Selected(), (std::vector<int>{2, 3}));
}

TEST_F(DragSelectTest, FarJumpsSelectTheWholeRangeFromTheAnchor) {
    using V = std::vector<int>;
    list.SelectRow(9);  // selected before the drag, never reached by it
    DragSelectStep(list, 3);
    DragSelectStep(list, 7);
    EXPECT_EQ(Selected(), (V{3, 4, 5, 6, 7, 9}));
    EXPECT_EQ(list.LastEnsuredVisible(), 8);
    DragSelectStep(list, 42);  // outside any row
    DragSelectStep(list, -1);
    EXPECT_EQ(Selected(), (V{3, 4, 5, 6, 7, 9}));
    EXPECT_EQ(g_nDragCurrent, 7);
    // Across the anchor in one move, both ways.
    DragSelectStep(list, 1);
    EXPECT_EQ(Selected(), (V{1, 2, 3, 9}));
    EXPECT_EQ(list.LastEnsuredVisible(), 0);
    DragSelectStep(list, 8);
    EXPECT_EQ(Selected(), (V{3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(g_nDragTop, 3);
    EXPECT_EQ(g_nDragBottom, 8);
}

TEST_F(DragSelectTest, NoScrollPastTheEnds) {
    list.SelectOnly(9);
    BeginDragSelection();
    DragSelectStep(list, 9);
    EXPECT_EQ(list.LastEnsuredVisible(), -1);
    DragSelectStep(list, 8);
    EXPECT_EQ(list.LastEnsuredVisible(), 7);
    EXPECT_EQ(Selected(), (std::vector<int>{8, 9}));
}

TEST(MemoryReportListTest, DeleteAllOfEmptyReturnsZero) {
    MemoryReportList list;
    EXPECT_EQ(list.DeleteAllItems(), 0);
    list.InsertRow(0);
    list.InsertRow(0);
    EXPECT_EQ(list.DeleteAllItems(), 2);
    EXPECT_FALSE(list.SetItemText(0, 0, "x"));
    EXPECT_EQ(list.InsertRow(57), 0);  // clamped to the end
}

}  // namespace
}  // namespace oront
