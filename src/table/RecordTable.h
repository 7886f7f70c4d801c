// The record table view: control 1007 of the main window as a view of the
// result table of the record store.
//
// One table row per plain record and per ISO group row, four rows per run
// summary; the members of a group are shown below it while it is expanded.
// Every table row keeps the index of its result row in hidden column 10, so
// the save range and the labels always find the row behind what is shown.
// The only store field the view changes is the kind of a group row ("5"
// collapsed, "4" expanded).
//
// All of it is plain code over IReportList; the Qt table (CRecordTableCtrl)
// and the in-memory list run the same logic.
#pragma once

#include <array>
#include <string>

#include "records/RecordStore.h"
#include "table/DragSelect.h"
#include "table/ReportList.h"

namespace oront {

enum class ColumnAlign { Left, Centre, Right };

struct RecordTableColumn {
    const char* title;
    ColumnAlign align;
    int width;  // pixels; 0 hides the column
};

// Columns of the record table.
namespace col {
enum : int { Record, Mode, Location, Points, Cycles, DateTime, Ch1, Ch2, Ch3, Status, Cnt, No, kCount };
}
extern const std::array<RecordTableColumn, col::kCount> kRecordTableColumns;

// Images of the row image list (bitmap 145).
namespace image {
enum : int { kGroupExpanded = 0, kGroupCollapsed = 1, kTick = 2, kEmptyBox = 3, kRecord = 4, kOverRange = 5 };
}

// Widths of the Ch columns: narrower once the table needs a vertical scroll
// bar (more than 23 rows).
constexpr int kChWidthWide = 94;
constexpr int kChWidthNarrow = 88;
constexpr int kWidthRowLimit = 22;

// The labels under the table that show the sizes and the unit of a row.
constexpr int kLabelCh1Size = 1010;
constexpr int kLabelCh2Size = 1012;
constexpr int kLabelUnit = 1016;

class IRecordLabels {
public:
    virtual ~IRecordLabels() = default;
    virtual void SetLabelText(int id, const std::string& text) = 0;
};

// Label texts of a channel-size code: 1010 is "0.5um" for 10, 11 and 12,
// otherwise "0.3um"; 1012 follows the code table and is empty outside it.
std::string Ch1LabelText(int sizeCode);
std::string Ch2LabelText(int sizeCode);

// The widths of the column table (Ch columns 94, hidden columns 0), as the
// window sets them when it creates the columns.
void InitRecordTableWidths(IReportList& list);

enum class TableKey { Up, Down, Other };

// The record table's rows are rows of the list whose cells the table derives
// from the store when they are read (the list keeps no texts of its own): a
// row's key is its result-row index times 4, plus the line (0..3: AVG, MAX,
// MIN, 95%UCL) for the four rows of a summary row.
class RecordTable : public IRowSource {
public:
    RecordTable(RecordStore& store, IReportList& list, IRecordLabels* labels = nullptr);
    ~RecordTable() override;
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    void SetLabels(IRecordLabels* labels) { m_labels = labels; }
    IReportList& List() { return m_list; }

    // Appends the rows of result rows 0..m_nLastRow to the (emptied) list,
    // redraw suspended; sets the Ch column widths to 88 when m_nLastRow is
    // above 22, and g_nLastTableRow. Returns the index of the last row, -1 if
    // none.
    int FillRecordTable();

    // IRowSource: the cells of a table row.
    std::string CellText(int key, int column) const override;
    int CellImage(int key, int column) const override;

    // Notifications of control 1007; each answers 0.
    int OnClickRecordTable();
    int OnKeyDownRecordTable(TableKey key);
    int OnBeginDragRecordTable();
    // Header end-drag and loss of focus end a drag selection.
    void OnEndDragRecordTable() { EndDragSelection(); }
    void OnKillFocusRecordTable() { EndDragSelection(); }

    // Opens or closes the member rows of the group shown in table row `row`,
    // whose result-row index is `index`.
    void ExpandGroupRow(int row, int index);
    void CollapseGroupRow(int row, int index);

    // Labels 1010, 1012 and 1016 from a result row's size code and unit.
    void UpdateLabels(int index);

private:
    void ApplyChWidths();
    int AppendRow(int key);

    RecordStore& m_store;
    IReportList& m_list;
    IRecordLabels* m_labels;
};

}  // namespace oront
