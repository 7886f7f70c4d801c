#include "export/SaveRange.h"

#include "app/Messages.h"
#include "records/CFormat.h"
#include "records/CommFunction.h"
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
    for (int row = 0; row < kRangeLookupRows; ++row) {
        if (CAtoi(table.GetItemText(row, col::Record)) == record) {
            index = CAtoi(table.GetItemText(row, col::Cnt));
            return true;
        }
    }
    return false;
}

std::string RangeFieldText(int record) {
    return FormatZeroPad(record, 4);
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
