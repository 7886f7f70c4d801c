#include "table/MemoryReportList.h"

#include <algorithm>

namespace oront {

MemoryReportList::MemoryReportList(int columnCount)
    : m_nColumnCount(std::max(columnCount, 0)), m_widths(static_cast<std::size_t>(m_nColumnCount), 0) {}

bool MemoryReportList::Valid(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < m_nColumnCount;
}

int MemoryReportList::InsertRow(int row) {
    Row r;
    r.text.resize(static_cast<std::size_t>(m_nColumnCount));
    r.image.assign(static_cast<std::size_t>(m_nColumnCount), -1);
    return Insert(row, std::move(r));
}

int MemoryReportList::InsertSourcedRow(int row, int key) {
    Row r;
    r.key = key;
    return Insert(row, std::move(r));
}

int MemoryReportList::Insert(int row, Row&& r) {
    row = std::clamp(row, 0, GetItemCount());
    m_rows.insert(m_rows.begin() + row, std::move(r));
    // Marks below the insertion move down with their rows, as in a list view.
    if (m_nSelectionMark >= row) ++m_nSelectionMark;
    if (m_nFocusRow >= row) ++m_nFocusRow;
    return row;
}

bool MemoryReportList::SetItemText(int row, int column, const std::string& text) {
    if (!Valid(row, column)) return false;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key >= 0) return false;  // the source tells this row's texts
    r.text[static_cast<std::size_t>(column)] = text;
    return true;
}

bool MemoryReportList::SetItemImage(int row, int column, int image) {
    if (!Valid(row, column)) return false;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key < 0) r.image[static_cast<std::size_t>(column)] = image;
    return true;
}

bool MemoryReportList::DeleteRow(int row) {
    if (row < 0 || row >= GetItemCount()) return false;
    m_rows.erase(m_rows.begin() + row);
    if (m_nSelectionMark == row)
        m_nSelectionMark = -1;
    else if (m_nSelectionMark > row)
        --m_nSelectionMark;
    if (m_nFocusRow == row)
        m_nFocusRow = -1;
    else if (m_nFocusRow > row)
        --m_nFocusRow;
    return true;
}

int MemoryReportList::DeleteAllItems() {
    const int count = GetItemCount();
    m_rows.clear();
    m_nSelectionMark = -1;
    m_nFocusRow = -1;
    return count;
}

std::string MemoryReportList::GetItemText(int row, int column) const {
    if (!Valid(row, column)) return {};
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key >= 0) return m_pSource ? m_pSource->CellText(r.key, column) : std::string();
    return r.text[static_cast<std::size_t>(column)];
}

int MemoryReportList::GetItemImage(int row, int column) const {
    if (!Valid(row, column)) return -1;
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key >= 0) return m_pSource ? m_pSource->CellImage(r.key, column) : -1;
    return r.image[static_cast<std::size_t>(column)];
}

void MemoryReportList::SetColumnWidth(int column, int width) {
    if (column >= 0 && column < m_nColumnCount) m_widths[static_cast<std::size_t>(column)] = width;
}

int MemoryReportList::GetColumnWidth(int column) const {
    if (column < 0 || column >= m_nColumnCount) return 0;
    return m_widths[static_cast<std::size_t>(column)];
}

int MemoryReportList::GetSelectedCount() const {
    return static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(), [](const Row& r) { return r.selected; }));
}

int MemoryReportList::GetFirstSelectedRow() const {
    for (int i = 0; i < GetItemCount(); ++i)
        if (m_rows[static_cast<std::size_t>(i)].selected) return i;
    return -1;
}

int MemoryReportList::GetLastSelectedRow() const {
    for (int i = GetItemCount() - 1; i >= 0; --i)
        if (m_rows[static_cast<std::size_t>(i)].selected) return i;
    return -1;
}

bool MemoryReportList::IsRowSelected(int row) const {
    return row >= 0 && row < GetItemCount() && m_rows[static_cast<std::size_t>(row)].selected;
}

void MemoryReportList::SelectRow(int row) {
    if (row >= 0 && row < GetItemCount()) m_rows[static_cast<std::size_t>(row)].selected = true;
}

void MemoryReportList::ClearRowStates(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    m_rows[static_cast<std::size_t>(row)].selected = false;
    if (m_nFocusRow == row) m_nFocusRow = -1;
}

void MemoryReportList::SetRowsSelected(int first, int last, bool selected) {
    first = std::max(first, 0);
    last = std::min(last, GetItemCount() - 1);
    for (int r = first; r <= last; ++r) m_rows[static_cast<std::size_t>(r)].selected = selected;
    if (!selected && first <= m_nFocusRow && m_nFocusRow <= last) m_nFocusRow = -1;
}

void MemoryReportList::ResumeRedraw() {
    if (m_nSuspendDepth > 0) --m_nSuspendDepth;
    if (m_nSuspendDepth == 0) ++m_nRepaints;
}

void MemoryReportList::ClearSelection() {
    for (Row& r : m_rows) r.selected = false;
}

void MemoryReportList::SelectOnly(int row) {
    ClearSelection();
    SelectRow(row);
    if (row >= 0 && row < GetItemCount()) {
        m_nSelectionMark = row;
        m_nFocusRow = row;
    }
}

}  // namespace oront
