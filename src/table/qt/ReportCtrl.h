// CReportCtrl: the report-style list of the record table (control 1007).
//
// A QTableView over its own table model, so that a full memory (tens of
// thousands of rows) fills and scrolls without one widget item per cell.
// On top of a plain list it adds:
// - per-row RowColors (a text and a background colour per cell, following
//   column insertions), drawn through the model's colour roles;
// - row insertion, cell setting and bulk deletion that keep that data in step
//   and reset the sort state (no sorting is ever performed);
// - small row images and one header image from image lists;
// - a click while the Ctrl key is held (g_bCtrlKeyDown) is ignored: no
//   selection or focus change; a plain press of any button selects its row
//   at once, also when the row is already selected;
// - the space bar is consumed;
// - drag selection: a press on a row followed by a move beyond the drag
//   distance sends beginDragNotify(); while g_bDragSelecting is set, each
//   mouse move runs DragSelectStep on the row under the pointer. While the
//   pointer is held above or below the rows' area, a timer scrolls the list
//   and extends the drag to the first or last visible row;
// - Home and End go to the first and last row (with or without Ctrl), and
//   Ctrl with Home, End, Page Up or Page Down selects the row it goes to;
// - the selection mark: the row last clicked with any button (Shift+click
//   extends the selection without moving it), the row a drag selection
//   starts on, or the row moved to with the keyboard; a move by the
//   keyboard, a drag or a right or middle click sends markMoved(), a left
//   click clickNotify().
// While redrawing is suspended, runs of consecutive insertions or deletions
// are announced to the view in one step.
//
// Column widths: GetColumnWidth gives the width a column was given. Once the
// list is wider than its width at the window's smallest size
// (SetNaturalWidth), the extra width is shared among the shown columns in
// proportion to their widths; a column the user drags keeps its share.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QTableView>
#include <QTimer>
#include <vector>

#include "table/RecordTable.h"
#include "table/ReportList.h"
#include "table/qt/ReportModel.h"

namespace oront {

class CReportCtrl : public QTableView, public IReportList {
    Q_OBJECT
public:
    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    // Columns. Width 0 hides a column.
    int InsertColumn(int column, const QString& title, ColumnAlign align, int width);
    int GetColumnCount() const { return m_model.ColumnCount(); }
    // The background of the rows showing a key of the row source, where
    // `tint` gives one (see ReportModel::SetKeyTint).
    void SetKeyTint(std::function<std::optional<QRgb>(int key)> tint) { m_model.SetKeyTint(std::move(tint)); }
    // The list's width at which the columns have exactly the widths given;
    // 0 (the default) never widens them.
    void SetNaturalWidth(int width);

    // Image lists: small row images, and the header's own list.
    void SetImageList(const QList<QPixmap>& images);
    void SetHeaderImageList(const QList<QPixmap>& images);
    // Shows `image` of the header image list (or of the row image list when
    // the header has none) left of the title of `column`.
    bool SetHeaderImage(int column, int image);

    // The colours of a row; nullptr for a row that does not exist.
    const RowColors* GetRowColors(int row) const;
    bool SetCellColors(int row, int column, QRgb text, QRgb background);

    int SortColumn() const { return m_nSortColumn; }
    bool SortAscending() const { return m_bSortAscending; }
    int SuspendDepth() const { return m_nSuspend; }

    // IReportList
    void SetRowSource(const IRowSource* source) override { m_model.SetRowSource(source); }
    int InsertSourcedRow(int row, int key) override;
    int InsertRow(int row) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    bool SetItemImage(int row, int column, int image) override;
    bool DeleteRow(int row) override;
    int DeleteAllItems() override;
    int GetItemCount() const override { return m_model.RowCount(); }
    std::string GetItemText(int row, int column) const override;
    int GetItemImage(int row, int column) const override;
    void SetColumnWidth(int column, int width) override;
    int GetColumnWidth(int column) const override;
    int GetSelectionMark() const override { return m_nSelectionMark; }
    void SetSelectionMark(int row) override { m_nSelectionMark = row; }
    int GetSelectedCount() const override;
    int GetFirstSelectedRow() const override;
    int GetLastSelectedRow() const override;
    bool IsRowSelected(int row) const override;
    void SelectRow(int row) override;
    void ClearRowStates(int row) override;
    void SetRowsSelected(int first, int last, bool selected) override;
    void EnsureVisible(int row) override;
    void SuspendRedraw() override;
    void ResumeRedraw() override;

signals:
    // A left click that was not the start of a drag (the list's click
    // notification), sent after the list has updated its selection.
    void clickNotify();
    // A key going down, before the list acts on it.
    void keyDownNotify(int key);
    // A press on a row followed by a move beyond the drag distance.
    void beginDragNotify();
    // The keyboard, the start of a drag selection or a right or middle
    // click moved the selection mark to `row`, after the list has updated
    // its selection.
    void markMoved(int row);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ResetSortState() {
        m_nSortColumn = -1;
        m_bSortAscending = true;
    }
    std::vector<char> SelectedMask() const;
    // A row was inserted at `row`: the selection mark below it moves down.
    int Inserted(int row);
    bool CtrlClick(const QMouseEvent* event) const;
    // The row a drag step at viewport position `pos` goes to: the row under
    // it, or the first / last visible row while it is above / below the rows.
    int DragRowAt(QPoint pos) const;
    // Pixels `pos` lies above (negative) or below (positive) the viewport; 0 inside.
    int DistanceOutside(QPoint pos) const;
    void AutoScrollTick();
    // Shows every column at its given width plus its share of the extra width.
    void ApplyColumnWidths();
    void OnSectionResized(int column, int oldWidth, int newWidth);

    // Mutable: reading the selection first announces held rows to the view.
    mutable ReportModel m_model;
    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
    int m_nSelectionMark = -1;
    int m_nSuspend = 0;

    // State of the current left-button press.
    bool m_bLeftPressed = false;
    Qt::MouseButtons m_ignoredPresses;  // presses consumed while Ctrl is held
    bool m_bClickPending = false;
    bool m_bDragStarted = false;
    int m_nPressRow = -1;
    QPoint m_pressPos;
    QPoint m_dragPos;  // the pointer's last position during a drag selection
    QTimer m_autoScroll;

    std::vector<int> m_widths;  // as given, 0 for a hidden column
    int m_nNaturalWidth = 0;
    bool m_bApplyingWidths = false;
};

}  // namespace oront
