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
// - a left click while the Ctrl key is held (g_bCtrlKeyDown) is ignored: no
//   selection or focus change;
// - the space bar is consumed;
// - drag selection: a press on a row followed by a move beyond the drag
//   distance sends beginDragNotify(); while g_bDragSelecting is set, each
//   mouse move runs DragSelectStep on the row under the pointer;
// - the selection mark: the row last clicked (Shift+click extends the
//   selection without moving it) or moved to with the keyboard.
// Appends made while redrawing is suspended are announced to the view in one
// batch when redrawing resumes.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QTableView>
#include <vector>

#include "records/Text.h"
#include "table/RecordTable.h"
#include "table/ReportList.h"

namespace oront {

// The colours of one row's cells.
struct RowColors {
    quint32 m_dwData = 0;  // the caller's item data; 0 for every row of the record table
    std::vector<QRgb> m_textColors;
    std::vector<QRgb> m_backColors;
};

class ReportModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ReportModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    friend class CReportCtrl;
    struct Column {
        QString title;
        Qt::Alignment align;
        int headerImage = -1;
    };
    struct Row {
        std::vector<Text> text;
        std::vector<signed char> image;
        RowColors colors;
    };

    int StoredRows() const { return static_cast<int>(m_rows.size()); }
    // Announces rows appended while announcements were held back.
    void Flush();

    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    int m_nAnnounced = 0;  // rows the views know of
    bool m_bHoldAppends = false;
    QList<QPixmap> m_rowImages;
    QList<QPixmap> m_headerImages;
};

class CReportCtrl : public QTableView, public IReportList {
    Q_OBJECT
public:
    explicit CReportCtrl(QWidget* parent = nullptr);
    ~CReportCtrl() override;

    // Columns. Width 0 hides a column.
    int InsertColumn(int column, const QString& title, ColumnAlign align, int width);
    int GetColumnCount() const { return static_cast<int>(m_model.m_columns.size()); }

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
    int InsertRow(int row) override;
    bool SetItemText(int row, int column, const std::string& text) override;
    bool SetItemImage(int row, int column, int image) override;
    bool DeleteRow(int row) override;
    int DeleteAllItems() override;
    int GetItemCount() const override { return m_model.StoredRows(); }
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

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ResetSortState() {
        m_nSortColumn = -1;
        m_bSortAscending = true;
    }
    std::vector<char> SelectedMask() const;
    bool CtrlClick(const QMouseEvent* event) const;

    ReportModel m_model;
    int m_nSortColumn = -1;
    bool m_bSortAscending = true;
    int m_nSelectionMark = -1;
    int m_nSuspend = 0;

    // State of the current left-button press.
    bool m_bLeftPressed = false;
    bool m_bPressIgnored = false;
    bool m_bClickPending = false;
    bool m_bDragStarted = false;
    int m_nPressRow = -1;
    QPoint m_pressPos;
};

}  // namespace oront
