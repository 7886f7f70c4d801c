#include "export/SaveRange.h"

#include <algorithm>
#include <optional>

#include "base/Messages.h"
#include "records/CFormat.h"
#include "records/CommFunction.h"
#include "records/TableBuild.h"
#include "table/RecordTable.h"

namespace oront {

bool g_bRangeFromSelection = false;
int g_nStartRecord = 0;
int g_nEndRecord = 0;
int g_nStartIndex = 0;
int g_nEndIndex = 0;

namespace {
// The record number of the nearest record row at or above `row`: summary
// lines have an empty Record cell, record rows never do.
int RecordAtOrAbove(const IReportList& table, int row) {
    std::string cell = table.GetItemText(row, col::Record);
    while (cell.empty() && row > 0) {
        --row;
        cell = table.GetItemText(row, col::Record);
    }
    return CAtoi(cell);
}
}  // namespace

void RangeFromSelection(const IReportList& table) {
    g_bRangeFromSelection = false;
    if (table.GetSelectedCount() <= 0) return;
    const int first = table.GetFirstSelectedRow();
    const int last = table.GetLastSelectedRow();
    if (first < 0 || last < 0) return;
    g_nStartRecord = RecordAtOrAbove(table, first);
    g_nEndRecord = RecordAtOrAbove(table, last);
    g_bRangeFromSelection = true;
}

bool LookupRecordIndex(const IReportList& table, int record, int& index) {
    const int rows = table.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        if (CAtoi(table.GetItemText(row, col::Record)) == record) {
            index = CAtoi(table.GetItemText(row, col::Cnt));
            return true;
        }
    }
    return false;
}

RowRange SelectedResultRows(const RecordStore& store, const IReportList& table) {
    const int lastRow = store.m_nLastRow;
    const int first = table.GetFirstSelectedRow();
    const int last = table.GetLastSelectedRow();
    if (table.GetSelectedCount() <= 0 || first < 0 || last < 0) return {0, lastRow};
    // Column 10 holds the result row of every table row; the four summary
    // lines all hold their summary row's index.
    const int start = std::clamp(CAtoi(table.GetItemText(first, col::Cnt)), 0, std::max(lastRow, 0));
    int end = std::clamp(CAtoi(table.GetItemText(last, col::Cnt)), 0, std::max(lastRow, 0));
    if (store.Row(end).m_strKind == kind::kGroupCollapsed) {
        while (end < lastRow && store.Row(end + 1).m_strKind == kind::kMember) ++end;
    }
    return {start, std::max(start, end)};
}

std::string SelectionSummaryNote(const RecordStore& store, const IReportList& table) {
    if (table.GetSelectedCount() <= 0) return {};
    const RowRange rows = SelectedResultRows(store, table);
    if (store.Row(rows.first).m_strKind != kind::kSummary) return {};
    // The summary row follows the last cycle of its run.
    int last = rows.first - 1;
    while (last >= 0 && store.Row(last).m_strKind != kind::kMember) --last;
    const std::string run =
        last < 0 ? "the ISO run"
                 : "the ISO run ending at record " + RangeFieldText(CAtoi(store.Row(last).m_strRecordNo));
    if (rows.last == rows.first) return "The file will hold only the summary (AVG, MAX, MIN, 95%UCL) of " + run + ".";
    return "The file will start with the summary (AVG, MAX, MIN, 95%UCL) of " + run + ", without its records.";
}

namespace {

// The record number a result row shows in the Record column; none for a
// summary row. A group row shows the number of its point's first cycle.
std::optional<int> ShownRecordNumber(const ResultRow& row) {
    const Text& kindText = row.m_strKind;
    if (kindText == kind::kSummary) return std::nullopt;
    if (kindText == kind::kGroupCollapsed || kindText == kind::kGroupExpanded)
        return CAtoi(GroupRecordNumberText(row.m_strRecordNo));
    const Text& number = row.m_strRecordNo;
    if (number.empty()) return std::nullopt;
    return CAtoi(number);
}

// Checks a number text as the range dialog does; empty on success.
std::string CheckRecordText(const std::string& text, int& number) {
    switch (CCommFuntion::CheckNumberText(text)) {
        case CCommFuntion::kTextValid:
            number = CAtoi(text);
            return {};
        case CCommFuntion::kTextEmpty:
            return std::string("\"") + text + "\": " + msg::kInputNull;
        default:
            return std::string("\"") + text + "\": " + msg::kFormatError;
    }
}

// A record number as the Record column writes it.
std::string RecordNumberText(int number) {
    return (number >= 0 ? FormatZeroPad(number, 4) : FormatInt(number)).str();
}

}  // namespace

RecordRangeResult ResolveRecordNumbers(const RecordStore& store, const std::string& firstText,
                                       const std::string& lastText) {
    RecordRangeResult result;
    int first = 0;
    int last = 0;
    result.error = CheckRecordText(firstText, first);
    if (result.error.empty()) result.error = CheckRecordText(lastText, last);
    if (!result.error.empty()) return result;

    int start = -1;
    int end = -1;
    for (int i = 0; i <= store.m_nLastRow && i < static_cast<int>(store.m_rows.size()); ++i) {
        // A row that shows no number (a summary) matches no typed number, -1 included.
        const std::optional<int> shown = ShownRecordNumber(store.m_rows[static_cast<std::size_t>(i)]);
        if (shown == first && start < 0) start = i;
        if (shown == last) end = i;  // a record's own row comes after its group row
    }
    if (start < 0 || end < 0) {
        result.error = "no record " + RecordNumberText(start < 0 ? first : last) + " in the download";
        return result;
    }
    if (start > end) {
        result.error = "record " + RecordNumberText(first) + " comes after record " + RecordNumberText(last);
        return result;
    }
    // The last record of a complete run takes the run's summary row along.
    if (store.Row(end).m_strKind == kind::kMember && end < store.m_nLastRow &&
        store.Row(end + 1).m_strKind == kind::kSummary)
        ++end;
    result.rows = {start, end};
    return result;
}

std::string RangeFieldText(int record) {
    return FormatZeroPad(record, 4).str();
}

void SaveRangeDialogLogic::Init(std::string& startText, std::string& endText) const {
    if (!g_bRangeFromSelection) {
        g_nStartIndex = 0;
        g_nEndIndex = m_store.m_nLastRow;
        g_nStartRecord = 1;
        g_nEndRecord = m_store.m_nLastRecordNumber;
    }
    startText = RangeFieldText(g_nStartRecord);
    endText = RangeFieldText(g_nEndRecord);
}

SaveRangeDialogLogic::Field SaveRangeDialogLogic::OnOK(const std::string& startText, const std::string& endText,
                                                       ISaveRangeMessages& messages) const {
    auto check = [&messages](const std::string& text) {
        const int result = CCommFuntion::CheckNumberText(text);
        if (result == CCommFuntion::kTextEmpty) {
            g_strMessage = msg::kInputNull;
            messages.ShowMessage();
        } else if (result == CCommFuntion::kTextMalformed) {
            g_strMessage = msg::kFormatError;
            messages.ShowMessage();
        }
        return result == CCommFuntion::kTextValid;
    };
    if (!check(startText)) return Field::Start;
    if (!check(endText)) return Field::End;

    g_nStartRecord = CAtoi(startText);
    LookupRecordIndex(m_table, g_nStartRecord, g_nStartIndex);
    g_nEndRecord = CAtoi(endText);
    LookupRecordIndex(m_table, g_nEndRecord, g_nEndIndex);
    return Field::None;
}

}  // namespace oront
