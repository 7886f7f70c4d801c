#include "table/MemoryReportList.h"

#include <algorithm>

namespace oront {

MemoryReportList::MemoryReportList(int columnCount)
    : m_columnCount(std::max(columnCount, 0)), m_widths(static_cast<std::size_t>(m_columnCount), 0) {}

bool MemoryReportList::Valid(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < m_columnCount;
}

int MemoryReportList::InsertRow(int row) {
    Row r;
    r.text.resize(static_cast<std::size_t>(m_columnCount));
    r.image.assign(static_cast<std::size_t>(m_columnCount), -1);
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
    if (m_selectionMark >= row) ++m_selectionMark;
    if (m_focusRow >= row) ++m_focusRow;
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
    if (m_selectionMark == row)
        m_selectionMark = -1;
    else if (m_selectionMark > row)
        --m_selectionMark;
    if (m_focusRow == row)
        m_focusRow = -1;
    else if (m_focusRow > row)
        --m_focusRow;
    return true;
}

int MemoryReportList::DeleteAllItems() {
    const int count = GetItemCount();
    m_rows.clear();
    m_selectionMark = -1;
    m_focusRow = -1;
    return count;
}

std::string MemoryReportList::GetItemText(int row, int column) const {
    if (!Valid(row, column)) return {};
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key >= 0) return m_source ? m_source->CellText(r.key, column) : std::string();
    return r.text[static_cast<std::size_t>(column)];
}

int MemoryReportList::GetItemImage(int row, int column) const {
    if (!Valid(row, column)) return -1;
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.key >= 0) return m_source ? m_source->CellImage(r.key, column) : -1;
    return r.image[static_cast<std::size_t>(column)];
}

void MemoryReportList::SetColumnWidth(int column, int width) {
    if (column >= 0 && column < m_columnCount) m_widths[static_cast<std::size_t>(column)] = width;
}

int MemoryReportList::GetColumnWidth(int column) const {
    if (column < 0 || column >= m_columnCount) return 0;
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
    if (m_focusRow == row) m_focusRow = -1;
}

void MemoryReportList::SetRowsSelected(int first, int last, bool selected) {
    first = std::max(first, 0);
    last = std::min(last, GetItemCount() - 1);
    for (int r = first; r <= last; ++r) m_rows[static_cast<std::size_t>(r)].selected = selected;
    if (!selected && first <= m_focusRow && m_focusRow <= last) m_focusRow = -1;
}

void MemoryReportList::ResumeRedraw() {
    if (m_suspendDepth > 0) --m_suspendDepth;
    if (m_suspendDepth == 0) ++m_repaints;
}

void MemoryReportList::ClearSelection() {
    for (Row& r : m_rows) r.selected = false;
}

void MemoryReportList::SelectOnly(int row) {
    ClearSelection();
    SelectRow(row);
    if (row >= 0 && row < GetItemCount()) {
        m_selectionMark = row;
        m_focusRow = row;
    }
}

}  // namespace oront
