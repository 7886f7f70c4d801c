// The record range of "Save Selected": the selection walk and the range
// dialog's initialisation and OK step (the number check of its fields is
// tested with the records, tests/records/test_decode.cpp).
#include <gtest/gtest.h>

#include "base/Messages.h"
#include "export/SaveRange.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"

namespace oront {
namespace {

struct MessageLog : ISaveRangeMessages {
    void ShowMessage() override { shown.push_back(g_strMessage); }
    std::vector<std::string> shown;
};

// plain 0001, group " 0002" (stored 0001) with members 0002 and 0003, a second
// group " 0004" with members 0004 and 0005, the summary, then plain 0006.
class SaveRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bRangeFromSelection = false;
        g_nStartRecord = g_nEndRecord = g_nStartIndex = g_nEndIndex = 0;
        b.AddPlain("0");  // index 0
        b.AddRun(2, 2);   // indices 1..7 (group 1, 2, 3; group 4, 5, 6; summary 7)
        b.AddPlain("1");  // index 8
        table.FillRecordTable();
        // rows: 0 plain, 1 group, 2 group, 3..6 summary, 7 plain
    }
    test::StoreBuilder b;
    MemoryReportList list;
    RecordTable table{b.store, list};
    SaveRangeDialogLogic dialog{b.store, list};
    MessageLog messages;
};

TEST_F(SaveRangeTest, DefaultsWithoutSelection) {
    g_nStartIndex = 5;
    std::string start, end;
    dialog.Init(start, end);
    EXPECT_EQ(start, "0001");
    EXPECT_EQ(end, "0006");
    EXPECT_EQ(g_nStartIndex, 0);
    EXPECT_EQ(g_nEndIndex, 8);

    EXPECT_EQ(dialog.OnOK(start, end, messages), SaveRangeDialogLogic::Field::None);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(g_nStartRecord, 1);
    EXPECT_EQ(g_nEndRecord, 6);
    EXPECT_EQ(g_nStartIndex, 0);
    EXPECT_EQ(g_nEndIndex, 8);
}

TEST_F(SaveRangeTest, SelectionBecomesRecordNumbersAndIndices) {
    list.SelectRow(1);
    list.SelectRow(2);
    RangeFromSelection(list);
    EXPECT_TRUE(g_bRangeFromSelection);
    EXPECT_EQ(g_nStartRecord, 2);
    EXPECT_EQ(g_nEndRecord, 4);

    g_nStartIndex = 77;  // indices keep their contents until OK
    std::string start, end;
    dialog.Init(start, end);
    EXPECT_EQ(start, "0002");
    EXPECT_EQ(end, "0004");
    EXPECT_EQ(g_nStartIndex, 77);
    EXPECT_EQ(dialog.OnOK(start, end, messages), SaveRangeDialogLogic::Field::None);
    EXPECT_EQ(g_nStartIndex, 1);
    EXPECT_EQ(g_nEndIndex, 4);
}

TEST_F(SaveRangeTest, SelectionOfSummaryLinesWalksUp) {
    list.SelectRow(3);  // the AVG line only
    RangeFromSelection(list);
    EXPECT_EQ(g_nStartRecord, 4);
    EXPECT_EQ(g_nEndRecord, 4);

    list.SelectRow(1);
    list.SelectRow(6);  // ends on the 95%UCL line
    RangeFromSelection(list);
    EXPECT_EQ(g_nStartRecord, 2);
    EXPECT_EQ(g_nEndRecord, 4);

    list.ClearSelection();
    RangeFromSelection(list);
    EXPECT_FALSE(g_bRangeFromSelection);
}

TEST_F(SaveRangeTest, UpperOfTwoRowsWinsAndZeroMatchesAnEmptyCell) {
    table.ExpandGroupRow(1, 1);  // members 0002, 0003 under the group that shows 0002
    int index = -1;
    ASSERT_TRUE(LookupRecordIndex(list, 2, index));
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(LookupRecordIndex(list, 3, index));
    EXPECT_EQ(index, 3);
    ASSERT_TRUE(LookupRecordIndex(list, 0, index));  // the AVG line
    EXPECT_EQ(index, 7);
    index = 42;
    EXPECT_FALSE(LookupRecordIndex(list, 9, index));
    EXPECT_EQ(index, 42);

    // An unmatched number on OK keeps the earlier index.
    g_nEndIndex = 6;
    EXPECT_EQ(dialog.OnOK("0002", "0099", messages), SaveRangeDialogLogic::Field::None);
    EXPECT_EQ(g_nStartIndex, 1);
    EXPECT_EQ(g_nEndIndex, 6);
    EXPECT_EQ(g_nEndRecord, 99);
}

TEST_F(SaveRangeTest, FieldChecksStopAtTheFirstFailure) {
    g_nStartRecord = 11;
    EXPECT_EQ(dialog.OnOK("", "12a", messages), SaveRangeDialogLogic::Field::Start);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], msg::kInputNull);

    EXPECT_EQ(dialog.OnOK("1.2.3", "0001", messages), SaveRangeDialogLogic::Field::Start);
    EXPECT_EQ(messages.shown.back(), msg::kFormatError);

    EXPECT_EQ(dialog.OnOK("0001", "  ", messages), SaveRangeDialogLogic::Field::End);
    EXPECT_EQ(messages.shown.back(), msg::kInputNull);
    EXPECT_EQ(dialog.OnOK("0001", "4 2", messages), SaveRangeDialogLogic::Field::End);
    EXPECT_EQ(messages.shown.back(), msg::kFormatError);
    EXPECT_EQ(messages.shown.size(), 4u);
    EXPECT_EQ(g_nStartRecord, 11);  // nothing taken while a field fails
}

TEST_F(SaveRangeTest, NumbersAreReadAsAtoiDoes) {
    EXPECT_EQ(dialog.OnOK(" 0004 ", "6.9", messages), SaveRangeDialogLogic::Field::None);
    EXPECT_EQ(g_nStartRecord, 4);
    EXPECT_EQ(g_nStartIndex, 4);
    EXPECT_EQ(g_nEndRecord, 6);
    EXPECT_EQ(g_nEndIndex, 8);
}

// What Save Selected writes: the rows the user selected, with the members of
// a collapsed group and the summary row behind a selected summary line.
TEST_F(SaveRangeTest, SelectedResultRowsCoverWhatIsSelected) {
    auto rows = [this](std::initializer_list<int> selected) {
        list.ClearSelection();
        for (int r : selected) list.SelectRow(r);
        const RowRange range = SelectedResultRows(b.store, list);
        return std::make_pair(range.first, range.last);
    };
    EXPECT_EQ(rows({}), std::make_pair(0, 8));
    EXPECT_EQ(rows({1, 2, 3, 4, 5, 6}), std::make_pair(1, 7));  // down to the 95%UCL line
    EXPECT_EQ(rows({0, 2}), std::make_pair(0, 6));              // a collapsed group takes its members
    EXPECT_EQ(rows({3}), std::make_pair(7, 7));                 // the AVG line is the summary row
    EXPECT_EQ(rows({6, 7}), std::make_pair(7, 8));

    // Where the selection starts on the summary lines, the range dialog's
    // record numbers (the group row above them) are not what the file holds:
    // the note says it.
    auto note = [this](std::initializer_list<int> selected) {
        list.ClearSelection();
        for (int r : selected) list.SelectRow(r);
        return SelectionSummaryNote(b.store, list);
    };
    EXPECT_EQ(note({5}),  // the MIN line
              "The file will hold only the summary (AVG, MAX, MIN, 95%UCL) of the ISO run ending at record 0005.");
    EXPECT_EQ(note({3, 6}), note({5}));
    EXPECT_EQ(note({6, 7}),
              "The file will start with the summary (AVG, MAX, MIN, 95%UCL) of the ISO run ending at "
              "record 0005, without its records.");
    for (const auto& selected : {std::initializer_list<int>{}, {0}, {2, 5}, {0, 7}})
        EXPECT_EQ(note(selected), "") << selected.size();

    table.ExpandGroupRow(1, 1);  // its members become table rows 2 and 3
    EXPECT_EQ(rows({1}), std::make_pair(1, 1));
    EXPECT_EQ(rows({1, 2}), std::make_pair(1, 2));
}

// save-range FIRST LAST: record numbers as the Record column shows them.
TEST_F(SaveRangeTest, RecordNumbersResolveToRows) {
    auto rows = [this](const char* first, const char* last) {
        const RecordRangeResult r = ResolveRecordNumbers(b.store, first, last);
        EXPECT_TRUE(r.error.empty()) << first << ".." << last << ": " << r.error;
        return std::make_pair(r.rows.first, r.rows.last);
    };
    EXPECT_EQ(rows("0002", "5"), std::make_pair(1, 7));  // from the group row, with the summary
    EXPECT_EQ(rows("3", "4"), std::make_pair(3, 5));
    EXPECT_EQ(rows("5", "5"), std::make_pair(6, 7));
    EXPECT_EQ(rows("1", " 1 "), std::make_pair(0, 0));
    EXPECT_EQ(rows("6", "6"), std::make_pair(8, 8));
    EXPECT_EQ(rows("1", "6"), std::make_pair(0, 8));

    auto error = [this](const char* first, const char* last) {
        return ResolveRecordNumbers(b.store, first, last).error;
    };
    EXPECT_EQ(error("9999", "9999"), "no record 9999 in the download");
    EXPECT_EQ(error("0", "3"), "no record 0000 in the download");
    EXPECT_EQ(error("1", "-3"), "no record -3 in the download");
    // Rows that show no number (a summary) are no record -1.
    EXPECT_EQ(error("-1", "6"), "no record -1 in the download");
    EXPECT_EQ(error("1", "-1"), "no record -1 in the download");
    EXPECT_EQ(error("6", "2"), "record 0006 comes after record 0002");
    EXPECT_EQ(error("12a", "3"), std::string("\"12a\": ") + msg::kFormatError);
    EXPECT_EQ(error("1", " "), std::string("\" \": ") + msg::kInputNull);
}

// 2000 one-point runs give 10000 table rows: records past table row 8000 are
// found by the dialog's lookup, by the selection and by record number.
TEST(SaveRangeLarge, RowsPastTableRow8000) {
    std::vector<RawRecord> records;
    for (int run = 0; run < 2000; ++run) test::AppendRun(records, 1, 1);
    RecordStore store;
    test::Download(store, records);
    MemoryReportList list;
    RecordTable table(store, list);
    table.FillRecordTable();
    ASSERT_EQ(list.GetItemCount(), 10000);

    // Five table rows and three result rows a run: record 1601's group row is
    // table row 8000, the first past the old end of the lookup.
    for (int record : {1600, 1601, 1700, 2000}) {
        int index = -1;
        ASSERT_TRUE(LookupRecordIndex(list, record, index)) << record;
        EXPECT_EQ(index, 3 * (record - 1)) << record;
    }

    const RecordRangeResult r = ResolveRecordNumbers(store, "1700", "1700");
    EXPECT_EQ(r.rows.first, 3 * 1699);
    EXPECT_EQ(r.rows.last, 3 * 1699 + 2);

    list.SelectRow(9999);  // the last 95%UCL line
    const RowRange selected = SelectedResultRows(store, list);
    EXPECT_EQ(selected.first, store.m_nLastRow);
    EXPECT_EQ(selected.last, store.m_nLastRow);
}

}  // namespace
}  // namespace oront
