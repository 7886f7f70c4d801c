#include "table/RecordTable.h"

#include <algorithm>

#include "records/CFormat.h"
#include "records/RecordCells.h"
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
    return std::string(Ch2SizeText(sizeCode));
}

namespace {

// A kind the table build does not give (a first record whose mode byte is
// none of 0, 1, 2 keeps the empty mode before it) is a plain record without
// a mode text, as the files write it.
const char* PlainModeText(std::string_view kind) {
    if (kind == kind::kAuto) return "Auto";
    if (kind == kind::kManual) return "Manual";
    if (kind == kind::kIsoPlain) return "ISO";
    return "";
}

bool IsGroupKind(std::string_view kind) {
    return kind == kind::kGroupCollapsed || kind == kind::kGroupExpanded;
}

constexpr int KeyOf(int index, int line = 0) {
    return 4 * index + line;
}

void SetChWidths(IReportList& list, int width) {
    for (int c = col::Ch1; c <= col::Ch3; ++c) list.SetColumnWidth(c, width);
}

}  // namespace

RecordTable::RecordTable(RecordStore& store, IReportList& list, IRecordLabels* labels)
    : m_store(store), m_list(list), m_labels(labels) {
    m_list.SetRowSource(this);
}

RecordTable::~RecordTable() {
    m_list.SetRowSource(nullptr);
}

std::string RecordTable::CellText(int key, int column) const {
    const int index = key / 4;
    const ResultRow& row = m_store.Row(index);
    const MeasurementRecord& record = m_store.RecordOf(row);
    const std::string_view kind = row.m_strKind;
    if (column == col::Cnt) return FormatInt(index).str();
    if (kind == kind::kSummary) {
        // The four summary rows: label and values as stored.
        static constexpr const char* kLabels[4] = {"AVG", "MAX", "MIN", "95%UCL"};
        const int line = key % 4;
        if (column == col::Cycles) return kLabels[line];
        if (column >= col::Ch1 && column <= col::Ch3)
            return SummaryLineValues(m_store.FiguresOf(row), line)[static_cast<std::size_t>(column - col::Ch1)].str();
        return {};
    }
    const bool group = IsGroupKind(kind);
    const bool member = kind == kind::kMember;
    NumberText buffer;
    switch (column) {
        case col::Record:
            // A group shows the number of its first cycle: the stored number
            // plus one, where 8000 is followed by 0001 (the instrument's ring).
            if (group) return " " + GroupRecordNumberText(row.m_strRecordNo);
            return member ? row.m_strRecordNo.str() : " " + row.m_strRecordNo.str();
        case col::Mode:
            return group ? "ISO" : member ? "" : PlainModeText(kind);
        case col::Location:
            return member ? std::string() : record.m_strLocation.str();
        case col::Points:
            return member ? std::string() : record.m_strPoint.str();
        case col::Cycles:
            return group ? "AVG" : record.m_strCycle.str();
        case col::DateTime:
            return record.m_strDateTime.str();
        case col::Ch1:
        case col::Ch2:
        case col::Ch3: {
            const auto ch = static_cast<std::size_t>(column - col::Ch1);
            return std::string(
                LargeValueText(group ? m_store.FiguresOf(row).m_strAvg[ch] : record.m_strCount[ch], buffer));
        }
        case col::Status:
            return !group && record.m_strStatus == "1" ? "OVER" : "";
        case col::No:
            return member ? std::string() : row.m_strSeqNo.str();
        default:
            return {};
    }
}

int RecordTable::CellImage(int key, int column) const {
    const ResultRow& row = m_store.Row(key / 4);
    const std::string_view kind = row.m_strKind;
    if (kind == kind::kSummary) return -1;
    if (column == col::Record) return image::kRecord;
    if (column == col::Points && IsGroupKind(kind))
        return kind == kind::kGroupExpanded ? image::kGroupExpanded : image::kGroupCollapsed;
    if (column == col::Ch1 && !IsGroupKind(kind) && m_store.RecordOf(row).m_strStatus == "1") return image::kOverRange;
    return -1;
}

int RecordTable::AppendRow(int key) {
    return m_list.InsertSourcedRow(m_list.GetItemCount(), key);
}

int RecordTable::FillRecordTable() {
    m_list.SuspendRedraw();
    if (m_store.m_nLastRow > kWidthRowLimit) SetChWidths(m_list, kChWidthNarrow);
    int last = -1;
    for (int i = 0; i <= m_store.m_nLastRow; ++i) {
        const std::string_view kind = m_store.Row(i).m_strKind;
        // Members appear when their group opens; every other row is listed.
        const int lines = kind == kind::kMember || kind == kind::kGroupExpanded ? 0 : kind == kind::kSummary ? 4 : 1;
        for (int line = 0; line < lines; ++line) {
            const int r = AppendRow(KeyOf(i, line));
            if (r < 0) break;
            last = r;
        }
    }
    g_nLastTableRow = last;
    m_list.ResumeRedraw();
    return last;
}

void InitRecordTableWidths(IReportList& list) {
    for (int c = 0; c < col::kCount; ++c)
        list.SetColumnWidth(c, kRecordTableColumns[static_cast<std::size_t>(c)].width);
}

void RecordTable::UpdateLabels(int index) {
    if (!m_labels) return;
    const MeasurementRecord& record = m_store.RecordOf(index);
    const int code = CAtoi(record.m_strSizeCode);
    m_labels->SetLabelText(kLabelCh1Size, Ch1LabelText(code));
    m_labels->SetLabelText(kLabelCh2Size, Ch2LabelText(code));
    m_labels->SetLabelText(kLabelUnit, record.m_strUnit.str());
}

int RecordTable::OnClickRecordTable() {
    if (m_store.m_nRecordCount <= 0) return 0;
    const int mark = m_list.GetSelectionMark();
    const int index = CAtoi(m_list.GetItemText(mark, col::Cnt));
    UpdateLabels(index);
    // The kind is read once, so one click toggles once. Without a mark on an
    // existing row there is no group row to toggle.
    if (m_list.GetSelectedCount() > 0 && !g_bDragSelecting && mark >= 0 && mark < m_list.GetItemCount()) {
        const std::string_view kind = m_store.Row(index).m_strKind;
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
    const int n = CAtoi(store.Row(index).m_strMemberCount);
    return std::clamp(n, 0, std::max(store.m_nLastRow - index, 0));
}
}  // namespace

void RecordTable::ExpandGroupRow(int row, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_store.m_rows.size()) return;
    m_store.m_rows[static_cast<std::size_t>(index)].m_strKind = kind::kGroupExpanded;
    m_list.SetItemImage(row, col::Points, image::kGroupExpanded);
    const int n = MemberCount(m_store, index);
    g_nLastTableRow += n;
    ApplyChWidths();
    for (int k = 1; k <= n; ++k)
        if (m_list.InsertSourcedRow(row + k, KeyOf(index + k)) < 0) break;
}

void RecordTable::CollapseGroupRow(int row, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_store.m_rows.size()) return;
    m_store.m_rows[static_cast<std::size_t>(index)].m_strKind = kind::kGroupCollapsed;
    m_list.SetItemImage(row, col::Points, image::kGroupCollapsed);
    const int n = MemberCount(m_store, index);
    g_nLastTableRow -= n;
    ApplyChWidths();
    for (int k = 0; k < n; ++k) m_list.DeleteRow(row + 1);
}

}  // namespace oront
