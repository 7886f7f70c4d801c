#include "table/qt/ReportModel.h"

#include <QColor>
#include <algorithm>

namespace oront {

ReportModel::ReportModel(QRgb textColor, QRgb backColor, QObject* parent)
    : QAbstractTableModel(parent), m_defaultText(textColor), m_defaultBack(backColor) {}

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount()) return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    const auto c = static_cast<std::size_t>(column);
    switch (role) {
        case Qt::DisplayRole: {
            if (row.key >= 0) {
                const std::string text = m_source ? m_source->CellText(row.key, column) : std::string();
                return text.empty() ? QVariant()
                                    : QVariant(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
            }
            const oront::Text& t = row.text[c];
            return t.empty() ? QVariant() : QVariant(QString::fromLatin1(t.c_str(), static_cast<qsizetype>(t.size())));
        }
        case Qt::DecorationRole: {
            const int image = row.key >= 0 ? (m_source ? m_source->CellImage(row.key, column) : -1) : row.image[c];
            if (image >= 0 && image < m_rowImages.size()) return m_rowImages[image];
            return {};
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(m_columns[c].align);
        case Qt::ForegroundRole:
            return QColor::fromRgb(row.colors ? row.colors->m_textColors[c] : m_defaultColors.m_textColors[c]);
        case Qt::BackgroundRole:
            if (row.key >= 0 && m_tint) {
                if (const std::optional<QRgb> tint = m_tint(row.key)) return QColor::fromRgb(*tint);
            }
            return QColor::fromRgb(row.colors ? row.colors->m_backColors[c] : m_defaultColors.m_backColors[c]);
        default:
            return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return {};
    const Column& column = m_columns[static_cast<std::size_t>(section)];
    switch (role) {
        case Qt::DisplayRole:
            return column.title;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(column.align);
        case Qt::DecorationRole: {
            const QList<QPixmap>& images = m_headerImages.isEmpty() ? m_rowImages : m_headerImages;
            if (column.headerImage >= 0 && column.headerImage < images.size()) return images[column.headerImage];
            return {};
        }
        default:
            return {};
    }
}

Qt::ItemFlags ReportModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// --- columns ------------------------------------------------------------------

int ReportModel::InsertColumn(int column, const QString& title, Qt::Alignment align) {
    Flush();
    column = std::clamp(column, 0, ColumnCount());
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(m_columns.begin() + column, {title, align, -1});
    auto insertColours = [&](RowColors& colors) {
        colors.m_textColors.insert(colors.m_textColors.begin() + column, m_defaultText);
        colors.m_backColors.insert(colors.m_backColors.begin() + column, m_defaultBack);
    };
    insertColours(m_defaultColors);
    for (Row& row : m_rows) {
        if (row.key < 0) {
            row.text.insert(row.text.begin() + column, oront::Text());
            row.image.insert(row.image.begin() + column, static_cast<signed char>(-1));
        }
        if (row.colors) insertColours(*row.colors);
    }
    endInsertColumns();
    return column;
}

void ReportModel::SetRowImages(const QList<QPixmap>& images) {
    m_rowImages = images;
    if (rowCount() > 0 && ColumnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount() - 1), {Qt::DecorationRole});
}

void ReportModel::SetHeaderImages(const QList<QPixmap>& images) {
    m_headerImages = images;
    if (ColumnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, ColumnCount() - 1);
}

bool ReportModel::SetHeaderImage(int column, int image) {
    if (column < 0 || column >= ColumnCount()) return false;
    if (m_headerImages.isEmpty()) m_headerImages = m_rowImages;
    m_columns[static_cast<std::size_t>(column)].headerImage = image;
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

// --- rows -----------------------------------------------------------------------

int ReportModel::RowCount() const {
    return static_cast<int>(m_rows.size() + m_pending.size()) - m_removeCount;
}

ReportModel::Row& ReportModel::LogicalRow(int r) {
    const int held = static_cast<int>(m_pending.size());
    if (held > 0 && r >= m_pendingAt) {
        if (r < m_pendingAt + held) return m_pending[static_cast<std::size_t>(r - m_pendingAt)];
        return m_rows[static_cast<std::size_t>(r - held)];
    }
    if (m_removeCount > 0 && r >= m_removeAt) return m_rows[static_cast<std::size_t>(r + m_removeCount)];
    return m_rows[static_cast<std::size_t>(r)];
}

int ReportModel::ViewRow(int r) const {
    const int held = static_cast<int>(m_pending.size());
    if (held > 0 && r >= m_pendingAt) return r < m_pendingAt + held ? -1 : r - held;
    if (m_removeCount > 0 && r >= m_removeAt) return r + m_removeCount;
    return r;
}

bool ReportModel::ValidCell(int row, int column) const {
    return row >= 0 && row < RowCount() && column >= 0 && column < ColumnCount();
}

int ReportModel::InsertRow(int row) {
    Row r;
    r.text.resize(m_columns.size());
    r.image.assign(m_columns.size(), static_cast<signed char>(-1));
    return Insert(row, std::move(r));
}

void ReportModel::SetKeyTint(std::function<std::optional<QRgb>(int key)> tint) {
    m_tint = std::move(tint);
    if (!m_rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount() - 1), {Qt::BackgroundRole});
}

int ReportModel::InsertSourcedRow(int row, int key) {
    Row r;
    r.key = std::max(key, 0);
    return Insert(row, std::move(r));
}

int ReportModel::Insert(int row, Row&& r) {
    row = std::clamp(row, 0, RowCount());
    if (m_holding && HoldInsert(row, std::move(r))) return row;
    Flush();
    if (m_holding) {
        HoldInsert(row, std::move(r));
    } else {
        beginInsertRows(QModelIndex(), row, row);
        m_rows.insert(m_rows.begin() + row, std::move(r));
        endInsertRows();
    }
    return row;
}

bool ReportModel::RemoveRow(int row) {
    if (row < 0 || row >= RowCount()) return false;
    if (m_holding && HoldRemove(row)) return true;
    Flush();
    if (m_holding) {
        HoldRemove(row);
    } else {
        beginRemoveRows(QModelIndex(), row, row);
        m_rows.erase(m_rows.begin() + row);  // the row's colours go with it
        endRemoveRows();
    }
    return true;
}

void ReportModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    m_removeCount = 0;
    endResetModel();
}

bool ReportModel::HoldInsert(int r, Row&& row) {
    if (m_removeCount > 0) return false;
    if (m_pending.empty()) {
        m_pendingAt = r;
    } else if (r != m_pendingAt + static_cast<int>(m_pending.size())) {
        return false;
    }
    m_pending.push_back(std::move(row));
    return true;
}

bool ReportModel::HoldRemove(int r) {
    if (!m_pending.empty()) return false;
    if (m_removeCount == 0) {
        m_removeAt = r;
    } else if (r == m_removeAt - 1) {
        m_removeAt = r;  // deleting upwards
    } else if (r != m_removeAt) {
        return false;
    }
    ++m_removeCount;
    return true;
}

void ReportModel::SetHolding(bool hold) {
    m_holding = hold;
    if (!hold) Flush();
}

void ReportModel::Flush() {
    if (!m_pending.empty()) {
        const int first = m_pendingAt;
        const int last = first + static_cast<int>(m_pending.size()) - 1;
        beginInsertRows(QModelIndex(), first, last);
        m_rows.insert(m_rows.begin() + first, std::make_move_iterator(m_pending.begin()),
                      std::make_move_iterator(m_pending.end()));
        // The held run's storage goes too: a full memory's run is 10,000 rows.
        std::vector<Row>().swap(m_pending);
        endInsertRows();
    }
    if (m_removeCount > 0) {
        const int first = m_removeAt;
        const int last = first + m_removeCount - 1;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        m_removeCount = 0;
        endRemoveRows();
    }
}

// --- cells ----------------------------------------------------------------------

void ReportModel::CellChanged(int row, int column, int role) {
    const int viewRow = ViewRow(row);
    if (viewRow < 0) return;
    const QModelIndex cell = index(viewRow, column);
    emit dataChanged(cell, cell, {role});
}

std::string ReportModel::Text(int row, int column) const {
    if (!ValidCell(row, column)) return {};
    const Row& r = LogicalRow(row);
    if (r.key >= 0) return m_source ? m_source->CellText(r.key, column) : std::string();
    return r.text[static_cast<std::size_t>(column)].str();
}

bool ReportModel::SetText(int row, int column, std::string_view text) {
    if (!ValidCell(row, column)) return false;
    Row& r = LogicalRow(row);
    if (r.key >= 0) return false;
    r.text[static_cast<std::size_t>(column)] = text;
    CellChanged(row, column, Qt::DisplayRole);
    return true;
}

int ReportModel::Image(int row, int column) const {
    if (!ValidCell(row, column)) return -1;
    const Row& r = LogicalRow(row);
    if (r.key >= 0) return m_source ? m_source->CellImage(r.key, column) : -1;
    return r.image[static_cast<std::size_t>(column)];
}

bool ReportModel::SetImage(int row, int column, int image) {
    if (!ValidCell(row, column)) return false;
    Row& r = LogicalRow(row);
    if (r.key < 0) r.image[static_cast<std::size_t>(column)] = static_cast<signed char>(std::clamp(image, -1, 127));
    CellChanged(row, column, Qt::DecorationRole);
    return true;
}

const RowColors* ReportModel::Colors(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    const Row& r = LogicalRow(row);
    return r.colors ? r.colors.get() : &m_defaultColors;
}

bool ReportModel::SetColors(int row, int column, QRgb text, QRgb back) {
    if (!ValidCell(row, column)) return false;
    Row& r = LogicalRow(row);
    if (!r.colors) r.colors = std::make_unique<RowColors>(m_defaultColors);
    r.colors->m_textColors[static_cast<std::size_t>(column)] = text;
    r.colors->m_backColors[static_cast<std::size_t>(column)] = back;
    CellChanged(row, column, Qt::ForegroundRole);
    CellChanged(row, column, Qt::BackgroundRole);
    return true;
}

}  // namespace oront
