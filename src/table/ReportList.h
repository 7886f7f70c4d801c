// The list operations the record table logic needs, independent of any
// window system.
//
// The record table (control 1007) is a report-style list: rows of text cells
// with optional small images, a selection of whole rows and a selection mark
// (the row last clicked). The table logic, the drag selection and the save
// range are written against this interface so that they run unchanged on the
// Qt widget (CReportCtrl) and on the in-memory list used by tests and by the
// command-line tool (MemoryReportList).
#pragma once

#include <string>

namespace oront {

// Where the rows of a list that show the rows of another table take their
// cells from: the list keeps only each such row's key and asks the source for
// a cell when it is read or drawn.
class IRowSource {
public:
    virtual ~IRowSource() = default;
    virtual std::string CellText(int key, int column) const = 0;
    // -1 for no image.
    virtual int CellImage(int key, int column) const = 0;
};

class IReportList {
public:
    virtual ~IReportList() = default;

    // The source of the rows inserted with InsertSourcedRow; it must outlive
    // them.
    virtual void SetRowSource(const IRowSource* source) = 0;
    // Inserts a row at `row` (clamped to the row count) whose texts and images
    // are the source's cells for `key`. Setting an image of such a row only
    // redraws the cell: the source already tells the new one. Returns the new
    // row's index, or -1.
    virtual int InsertSourcedRow(int row, int key) = 0;

    // Inserts a row with empty text and no images at `row` (clamped to the
    // row count). Returns the new row's index, or -1 when nothing was inserted.
    virtual int InsertRow(int row) = 0;
    // Sets the text of one cell; false when the cell does not exist.
    virtual bool SetItemText(int row, int column, const std::string& text) = 0;
    // Sets the image of one cell (-1: no image); false when the cell does not exist.
    virtual bool SetItemImage(int row, int column, int image) = 0;
    // Deletes one row (its row data is released with it); false when it does not exist.
    virtual bool DeleteRow(int row) = 0;
    // Deletes every row and returns the former row count.
    virtual int DeleteAllItems() = 0;

    virtual int GetItemCount() const = 0;
    // Text of a cell; empty for a cell that does not exist.
    virtual std::string GetItemText(int row, int column) const = 0;
    // Image of a cell; -1 for none or a cell that does not exist.
    virtual int GetItemImage(int row, int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
    virtual int GetColumnWidth(int column) const = 0;

    // The selection mark: the row last clicked (or moved to with the
    // keyboard), -1 for none.
    virtual int GetSelectionMark() const = 0;
    virtual void SetSelectionMark(int row) = 0;

    virtual int GetSelectedCount() const = 0;
    // Lowest and highest selected row; -1 when nothing is selected.
    virtual int GetFirstSelectedRow() const = 0;
    virtual int GetLastSelectedRow() const = 0;
    virtual bool IsRowSelected(int row) const = 0;
    // Selects one row (selected state only; other rows keep their state).
    virtual void SelectRow(int row) = 0;
    // Clears every state of a row: its selection and, if it has it, the focus.
    virtual void ClearRowStates(int row) = 0;
    // Selects, or clears every state of (as ClearRowStates), rows first..last
    // in one operation; the part outside the list is ignored.
    virtual void SetRowsSelected(int first, int last, bool selected) = 0;
    // Scrolls so that the row is visible.
    virtual void EnsureVisible(int row) = 0;

    // Redraw suspension around bulk changes; Resume repaints the list once.
    virtual void SuspendRedraw() = 0;
    virtual void ResumeRedraw() = 0;
};

}  // namespace oront
