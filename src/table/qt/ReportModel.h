// ReportModel: the rows and columns of a report-style list (CReportCtrl).
//
// A row either keeps cells of its own (texts and images set one by one) or
// shows a row of another table: then it keeps only that row's key and its
// cells come from an IRowSource when they are read or drawn, so that a table
// of tens of thousands of rows costs a few bytes a row.
//
// Every row also has colours for its cells (RowColors); a row whose colours
// were never set shares the model's default colours.
//
// While rows are held (SetHolding), one run of consecutive insertions, or of
// deletions, is kept aside and announced to the views in one step when the
// rows are flushed: opening a group of thousands of members, or filling the
// table, then moves the stored rows once instead of once per row. Row numbers
// in this interface are the rows as the list's users see them (held ones
// included); ViewRow tells where the views have a row.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPixmap>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/Text.h"
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
    ReportModel(QRgb textColor, QRgb backColor, QObject* parent = nullptr);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Columns: a new column gets the default colours in every row.
    int InsertColumn(int column, const QString& title, Qt::Alignment align);
    [[nodiscard]] int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    void SetRowImages(const QList<QPixmap>& images);
    [[nodiscard]] const QList<QPixmap>& RowImages() const { return m_rowImages; }
    void SetHeaderImages(const QList<QPixmap>& images);
    // Image `image` of the header images (or of the row images when the
    // header has none) left of the title of `column`.
    bool SetHeaderImage(int column, int image);

    // Rows.
    void SetRowSource(const IRowSource* source) { m_source = source; }
    // The background of the rows that show a key of the row source, where
    // `tint` gives one for the key (a mark such as a limit exceeded); other
    // rows keep their colours. An empty function takes the tint away.
    void SetKeyTint(std::function<std::optional<QRgb>(int key)> tint);
    [[nodiscard]] int RowCount() const;
    // Inserts an empty row with cells of its own, or one that shows `key` of
    // the row source; returns its row (clamped to the row count).
    int InsertRow(int row);
    int InsertSourcedRow(int row, int key);
    bool RemoveRow(int row);
    void Clear();

    // Cells; a cell that does not exist reads empty (-1 for an image).
    [[nodiscard]] std::string Text(int row, int column) const;
    // False for a cell that does not exist or a row that shows the source.
    bool SetText(int row, int column, std::string_view text);
    [[nodiscard]] int Image(int row, int column) const;
    // A row that shows the source only redraws the cell.
    bool SetImage(int row, int column, int image);
    // nullptr for a row that does not exist.
    [[nodiscard]] const RowColors* Colors(int row) const;
    bool SetColors(int row, int column, QRgb text, QRgb back);

    // Holding back runs of insertions and deletions; Flush announces them.
    void SetHolding(bool hold);
    void Flush();
    // The view row of a row; -1 while the row waits to be announced.
    [[nodiscard]] int ViewRow(int row) const;

private:
    struct Column {
        QString title;
        Qt::Alignment align;
        int headerImage = -1;
    };
    struct Row {
        int key = -1;  // >= 0: the row shows this key of the row source
        std::vector<oront::Text> text;
        std::vector<signed char> image;
        std::unique_ptr<RowColors> colors;  // only once a cell's colours are set
    };

    int Insert(int row, Row&& r);
    Row& LogicalRow(int r);
    [[nodiscard]] const Row& LogicalRow(int r) const { return const_cast<ReportModel*>(this)->LogicalRow(r); }
    [[nodiscard]] bool ValidCell(int row, int column) const;
    bool HoldInsert(int r, Row&& row);  // false: not part of the held run
    bool HoldRemove(int r);             // false: not part of the held run
    void CellChanged(int row, int column, int role);

    const IRowSource* m_source = nullptr;
    std::function<std::optional<QRgb>(int key)> m_tint;
    std::vector<Column> m_columns;
    QRgb m_defaultText;
    QRgb m_defaultBack;
    RowColors m_defaultColors;   // one entry per column
    std::vector<Row> m_rows;     // the rows the views know of
    std::vector<Row> m_pending;  // held insertions, rows m_pendingAt...
    int m_pendingAt = 0;
    int m_removeAt = 0;  // held deletions: view rows m_removeAt .. + m_removeCount - 1
    int m_removeCount = 0;
    bool m_holding = false;
    QList<QPixmap> m_rowImages;
    QList<QPixmap> m_headerImages;
};

}  // namespace oront
