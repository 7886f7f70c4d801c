#include "table/RecordTable.h"

#include <algorithm>

#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront {

const std::array<RecordTableColumn, col::kCount> kRecordTableColumns{{
    {"Record", ColumnAlign::Centre, 56},
    {"Mode", ColumnAlign::Centre, 55},
    {"Location", ColumnAlign::Centre, 50},
    {"Points", ColumnAlign::Centre, 58},
    {"Cycles", ColumnAlign::Centre, 55},
    {"Date & Time", ColumnAlign::Centre, 120},
    {"Ch1        ", ColumnAlign::Right, kChWidthWide},
    {"Ch2        ", ColumnAlign::Right, kChWidthWide},
    {"Ch3        ", ColumnAlign::Right, kChWidthWide},
    {"Status", ColumnAlign::Right, 50},
    {"Cnt", ColumnAlign::Right, 0},
    {"No", ColumnAlign::Right, 0},
}};

std::string Ch1LabelText(int sizeCode) {
    return (sizeCode >= 10 && sizeCode <= 12) ? "0.5um" : "0.3um";
}

std::string Ch2LabelText(int sizeCode) {
    const char* text = Ch2SizeText(sizeCode);
    return text ? text : "";
}

namespace {

using Row = ResultRow;
using Rec = MeasurementRecord;

const Text& CopyOf(const ResultRow& row, int recordField) {
    return row[Row::Copy(recordField)];
}

void SetText(IReportList& list, int r, int column, std::string_view text) {
    if (!text.empty()) list.SetItemText(r, column, std::string(text));
}

// Ch cells and the status of a plain or member row.
void SetCountCells(IReportList& list, int r, const ResultRow& row) {
    for (int ch = 0; ch < 3; ++ch) SetText(list, r, col::Ch1 + ch, LargeValueText(CopyOf(row, Rec::m_strCount + ch)));
    if (CopyOf(row, Rec::m_strStatus) == "1") {
        list.SetItemImage(r, col::Ch1, image::kOverRange);
        SetText(list, r, col::Status, "OVER");
    }
}

const char* PlainModeText(std::string_view kind) {
    if (kind == kind::kAuto) return "Auto";
    if (kind == kind::kManual) return "Manual";
    return "ISO";
}

void FillPlainRow(IReportList& list, int r, const ResultRow& row, int index) {
    SetText(list, r, col::Record, " " + row[Row::m_strRecordNo].str());
    list.SetItemImage(r, col::Record, image::kRecord);
    SetText(list, r, col::Mode, PlainModeText(row[Row::m_strKind]));
    SetText(list, r, col::Location, CopyOf(row, Rec::m_strLocation));
    SetText(list, r, col::Points, CopyOf(row, Rec::m_strPoint));
    SetText(list, r, col::Cycles, CopyOf(row, Rec::m_strCycle));
    SetText(list, r, col::DateTime, CopyOf(row, Rec::m_strDateTime));
    SetCountCells(list, r, row);
    SetText(list, r, col::Cnt, FormatInt(index));
    SetText(list, r, col::No, row[Row::m_strSeqNo]);
}

void FillGroupRow(IReportList& list, int r, const ResultRow& row, int index) {
    // The group shows the number of its first cycle: the stored number plus
    // one, where 8000 is followed by 0001 (the instrument's ring).
    SetText(list, r, col::Record, " " + GroupRecordNumberText(row[Row::m_strRecordNo]));
    list.SetItemImage(r, col::Record, image::kRecord);
    SetText(list, r, col::Mode, "ISO");
    SetText(list, r, col::Location, CopyOf(row, Rec::m_strLocation));
    SetText(list, r, col::Points, CopyOf(row, Rec::m_strPoint));
    list.SetItemImage(r, col::Points,
                      row[Row::m_strKind] == kind::kGroupExpanded ? image::kGroupExpanded : image::kGroupCollapsed);
    SetText(list, r, col::Cycles, "AVG");
    SetText(list, r, col::DateTime, CopyOf(row, Rec::m_strDateTime));
    for (int ch = 0; ch < 3; ++ch) SetText(list, r, col::Ch1 + ch, LargeValueText(row[Row::m_strAvg + ch]));
    SetText(list, r, col::Cnt, FormatInt(index));
    SetText(list, r, col::No, row[Row::m_strSeqNo]);
}

void FillMemberRow(IReportList& list, int r, const ResultRow& row, int index) {
    SetText(list, r, col::Record, row[Row::m_strRecordNo]);
    list.SetItemImage(r, col::Record, image::kRecord);
    SetText(list, r, col::Cycles, CopyOf(row, Rec::m_strCycle));
    SetText(list, r, col::DateTime, CopyOf(row, Rec::m_strDateTime));
    SetCountCells(list, r, row);
    SetText(list, r, col::Cnt, FormatInt(index));
}

// The four summary rows AVG, MAX, MIN, 95%UCL, values as stored.
int AppendSummaryRows(IReportList& list, const ResultRow& row, int index) {
    static constexpr const char* kLabels[4] = {"AVG", "MAX", "MIN", "95%UCL"};
    static constexpr int kFields[4] = {Row::m_strAvg, Row::m_strMax, Row::m_strMin, Row::m_strUcl};
    const std::string indexText = FormatInt(index);
    int r = -1;
    for (int line = 0; line < 4; ++line) {
        r = list.InsertRow(list.GetItemCount());
        if (r < 0) return -1;
        SetText(list, r, col::Cycles, kLabels[line]);
        for (int ch = 0; ch < 3; ++ch) SetText(list, r, col::Ch1 + ch, row[kFields[line] + ch]);
        SetText(list, r, col::Cnt, indexText);
        SetText(list, r, col::No, row[Row::m_strSeqNo]);
    }
    return r;
}

void SetChWidths(IReportList& list, int width) {
    for (int c = col::Ch1; c <= col::Ch3; ++c) list.SetColumnWidth(c, width);
}

}  // namespace

int FillRecordTable(const RecordStore& store, IReportList& list) {
    if (store.m_nLastRow > kWidthRowLimit) SetChWidths(list, kChWidthNarrow);
    int last = -1;
    for (int i = 0; i <= store.m_nLastRow; ++i) {
        const ResultRow& row = store.Row(i);
        const std::string_view kind = row[Row::m_strKind];
        if (kind == kind::kAuto || kind == kind::kManual || kind == kind::kIsoPlain) {
            const int r = list.InsertRow(list.GetItemCount());
            if (r < 0) break;
            FillPlainRow(list, r, row, i);
            last = r;
        } else if (kind == kind::kGroupCollapsed) {
            const int r = list.InsertRow(list.GetItemCount());
            if (r < 0) break;
            FillGroupRow(list, r, row, i);
            last = r;
        } else if (kind == kind::kSummary) {
            const int r = AppendSummaryRows(list, row, i);
            if (r < 0) break;
            last = r;
        }
    }
    g_nLastTableRow = last;
    return last;
}

void InitRecordTableWidths(IReportList& list) {
    for (int c = 0; c < col::kCount; ++c)
        list.SetColumnWidth(c, kRecordTableColumns[static_cast<std::size_t>(c)].width);
}

void RecordTable::FillRecordTable() {
    m_list.SuspendRedraw();
    oront::FillRecordTable(m_store, m_list);
    m_list.ResumeRedraw();
}

void RecordTable::UpdateLabels(int index) {
    if (!m_pLabels) return;
    const ResultRow& row = m_store.Row(index);
    const int code = CAtoi(CopyOf(row, Rec::m_strSizeCode));
    m_pLabels->SetLabelText(kLabelCh1Size, Ch1LabelText(code));
    m_pLabels->SetLabelText(kLabelCh2Size, Ch2LabelText(code));
    m_pLabels->SetLabelText(kLabelUnit, CopyOf(row, Rec::m_strUnit).str());
}

int RecordTable::OnClickRecordTable() {
    if (m_store.m_nRecordCount <= 0) return 0;
    const int mark = m_list.GetSelectionMark();
    const int index = CAtoi(m_list.GetItemText(mark, col::Cnt));
    UpdateLabels(index);
    // The kind is read once, so one click toggles once. Without a mark on an
    // existing row there is no group row to toggle.
    if (m_list.GetSelectedCount() > 0 && !g_bDragSelecting && mark >= 0 && mark < m_list.GetItemCount()) {
        const std::string_view kind = m_store.Row(index)[Row::m_strKind];
        if (kind == kind::kGroupCollapsed) {
            m_list.SuspendRedraw();
            ExpandGroupRow(mark, index);
            m_list.ResumeRedraw();
        } else if (kind == kind::kGroupExpanded) {
            m_list.SuspendRedraw();
            CollapseGroupRow(mark, index);
            m_list.ResumeRedraw();
        }
    }
    return 0;
}

int RecordTable::OnKeyDownRecordTable(TableKey key) {
    if (m_store.m_nLastRow <= 0) return 0;
    const int c = m_list.GetSelectionMark();
    int index = CAtoi(m_list.GetItemText(c, col::Cnt));
    switch (key) {
        case TableKey::Up:
            if (index > 0 && c - 1 >= 0) index = CAtoi(m_list.GetItemText(c - 1, col::Cnt));
            break;
        case TableKey::Down:
            if (index < m_store.m_nLastRow && c + 1 < m_list.GetItemCount())
                index = CAtoi(m_list.GetItemText(c + 1, col::Cnt));
            break;
        case TableKey::Other:
            return 0;
    }
    UpdateLabels(index);
    return 0;
}

int RecordTable::OnBeginDragRecordTable() {
    BeginDragSelection();
    return 0;
}

void RecordTable::ApplyChWidths() {
    SetChWidths(m_list, g_nLastTableRow > kWidthRowLimit ? kChWidthNarrow : kChWidthWide);
}

namespace {
// The member rows that really follow a group row: its member count, never
// past the last result row.
int MemberCount(const RecordStore& store, int index) {
    const int n = CAtoi(store.Row(index)[Row::m_strMemberCount]);
    return std::clamp(n, 0, std::max(store.m_nLastRow - index, 0));
}
}  // namespace

void RecordTable::ExpandGroupRow(int row, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_store.m_rows.size()) return;
    m_store.m_rows[static_cast<std::size_t>(index)][Row::m_strKind] = kind::kGroupExpanded;
    m_list.SetItemImage(row, col::Points, image::kGroupExpanded);
    const int n = MemberCount(m_store, index);
    g_nLastTableRow += n;
    ApplyChWidths();
    for (int k = 1; k <= n; ++k) {
        const int r = m_list.InsertRow(row + k);
        if (r < 0) break;
        FillMemberRow(m_list, r, m_store.Row(index + k), index + k);
    }
}

void RecordTable::CollapseGroupRow(int row, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_store.m_rows.size()) return;
    m_store.m_rows[static_cast<std::size_t>(index)][Row::m_strKind] = kind::kGroupCollapsed;
    m_list.SetItemImage(row, col::Points, image::kGroupCollapsed);
    const int n = MemberCount(m_store, index);
    g_nLastTableRow -= n;
    ApplyChWidths();
    for (int k = 0; k < n; ++k) m_list.DeleteRow(row + 1);
}

}  // namespace oront
