// An in-memory report list: the record table without a window.
//
// Used by the tests of the table logic and by the command-line tool, which
// fills one from the store to resolve record ranges exactly as the window does.
#pragma once

#include <string>
#include <vector>

#include "table/ReportList.h"

namespace oront {

class MemoryReportList : public IReportList {
public:
    explicit MemoryReportList(int columnCount = 12);

    void SetRowSource(const IRowSource* source) override { m_source = source; }
    int InsertSourcedRow(int row, int key) override;
    int InsertRow(int row) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    bool SetItemImage(int row, int column, int image) override;
    bool DeleteRow(int row) override;
    int DeleteAllItems() override;

    int GetItemCount() const override { return static_cast<int>(m_rows.size()); }
    std::string GetItemText(int row, int column) const override;
    int GetItemImage(int row, int column) const override;
    void SetColumnWidth(int column, int width) override;
    int GetColumnWidth(int column) const override;

    int GetSelectionMark() const override { return m_selectionMark; }
    void SetSelectionMark(int row) override { m_selectionMark = row; }

    int GetSelectedCount() const override;
    int GetFirstSelectedRow() const override;
    int GetLastSelectedRow() const override;
    bool IsRowSelected(int row) const override;
    void SelectRow(int row) override;
    void ClearRowStates(int row) override;
    void SetRowsSelected(int first, int last, bool selected) override;
    void EnsureVisible(int row) override { m_lastEnsuredVisible = row; }

    void SuspendRedraw() override { ++m_suspendDepth; }
    void ResumeRedraw() override;

    int GetColumnCount() const { return m_columnCount; }
    // Test helpers: selection as a user would make it.
    void ClearSelection();
    void SelectOnly(int row);  // a plain click: selects the row, sets the mark and the focus
    int GetFocusRow() const { return m_focusRow; }
    int LastEnsuredVisible() const { return m_lastEnsuredVisible; }
    int SuspendDepth() const { return m_suspendDepth; }
    int RepaintCount() const { return m_repaints; }

private:
    struct Row {
        int key = -1;  // a sourced row's key; -1 for a row with cells of its own
        std::vector<std::string> text;
        std::vector<int> image;
        bool selected = false;
    };
    int Insert(int row, Row&& r);
    bool Valid(int row, int column) const;

    const IRowSource* m_source = nullptr;
    int m_columnCount;
    std::vector<int> m_widths;
    std::vector<Row> m_rows;
    int m_selectionMark = -1;
    int m_focusRow = -1;
    int m_lastEnsuredVisible = -1;
    int m_suspendDepth = 0;
    int m_repaints = 0;
};

}  // namespace oront
