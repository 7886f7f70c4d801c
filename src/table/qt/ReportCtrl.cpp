#include "table/qt/ReportCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cstdlib>

#include "table/DragSelect.h"

namespace oront {

// ---------------------------------------------------------------------------
// Control

namespace {
Qt::Alignment ToQt(ColumnAlign align) {
    switch (align) {
        case ColumnAlign::Left:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case ColumnAlign::Centre:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case ColumnAlign::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

constexpr int kRowHeight = 18;          // 16-pixel images and the 12-pixel dialog font
constexpr int kCellMargin = 2;          // pixels between the grid and the image or text
constexpr int kAutoScrollMs = 50;       // auto-scroll tick during a drag selection
constexpr int kAutoScrollMaxRows = 10;  // rows per tick when the pointer is far away

// Draws a cell as a report list does: background (or the selection), the
// image at the left edge, then the text aligned in the rest of the cell and
// cut with an ellipsis when it does not fit. Tighter than the style's item
// layout, so that the narrow columns show what they were sized for.
class ReportItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        opt.state &= ~QStyle::State_HasFocus;
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

        QRect rect = opt.rect.adjusted(kCellMargin, 0, -kCellMargin, 0);
        const QVariant decoration = index.data(Qt::DecorationRole);
        if (decoration.canConvert<QPixmap>()) {
            const QPixmap pixmap = decoration.value<QPixmap>();
            if (!pixmap.isNull()) {
                const QSize size = pixmap.deviceIndependentSize().toSize();
                painter->drawPixmap(QPoint(rect.left(), rect.top() + (rect.height() - size.height()) / 2), pixmap);
                rect.setLeft(rect.left() + size.width() + kCellMargin);
            }
        }
        if (opt.text.isEmpty() || rect.width() <= 0) return;
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        const QPalette::ColorGroup group = (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        // A text a few pixels wider than its cell (" 0001" beside the record
        // image in the 56-pixel column) is clipped at the cell's edges rather
        // than elided, so a record number stays readable; a much wider one
        // gets the ellipsis.
        const int slack = 2 * kCellMargin + 4;
        const int advance = opt.fontMetrics.horizontalAdvance(opt.text);
        if (advance <= rect.width()) {
            painter->drawText(rect, static_cast<int>(opt.displayAlignment), opt.text);
        } else if (advance <= rect.width() + slack) {
            painter->setClipRect(opt.rect, Qt::IntersectClip);
            painter->drawText(rect.adjusted(-slack / 2, 0, slack / 2, 0), static_cast<int>(opt.displayAlignment),
                              opt.text);
        } else {
            painter->drawText(rect, static_cast<int>(opt.displayAlignment),
                              opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, rect.width()));
        }
        painter->restore();
    }
};
}  // namespace

CReportCtrl::CReportCtrl(QWidget* parent)
    : QTableView(parent),
      m_model(palette().color(QPalette::Active, QPalette::Text).rgb(),
              palette().color(QPalette::Active, QPalette::Base).rgb()) {
    setModel(&m_model);
    setItemDelegate(new ReportItemDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setDragEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setIconSize(QSize(16, 16));
    // The list takes the focus itself when it accepts a button press, so that
    // an ignored Ctrl+click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);

    // Fixed row heights: measuring rows would cost far more than the rows.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(kRowHeight);

    // A click on a column header neither sorts nor selects.
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &CReportCtrl::OnSectionResized);

    // The list's own auto-scroll belongs to its press-and-move selection,
    // which the drag selection replaces: the drag scrolls with this timer.
    m_autoScroll.setInterval(kAutoScrollMs);
    connect(&m_autoScroll, &QTimer::timeout, this, &CReportCtrl::AutoScrollTick);

    // The selection stays visible when the list loses the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

CReportCtrl::~CReportCtrl() {
    // Detach the view before the model (a member) goes away.
    setModel(nullptr);
}

int CReportCtrl::InsertColumn(int column, const QString& title, ColumnAlign align, int width) {
    column = m_model.InsertColumn(column, title, ToQt(align));
    SetColumnWidth(column, width);
    return column;
}

void CReportCtrl::SetImageList(const QList<QPixmap>& images) {
    m_model.SetRowImages(images);
    if (!images.isEmpty()) setIconSize(images.front().size());
}

void CReportCtrl::SetHeaderImageList(const QList<QPixmap>& images) {
    m_model.SetHeaderImages(images);
}

bool CReportCtrl::SetHeaderImage(int column, int image) {
    return m_model.SetHeaderImage(column, image);
}

const RowColors* CReportCtrl::GetRowColors(int row) const {
    return m_model.Colors(row);
}

bool CReportCtrl::SetCellColors(int row, int column, QRgb text, QRgb background) {
    return m_model.SetColors(row, column, text, background);
}

int CReportCtrl::Inserted(int row) {
    if (m_nSelectionMark >= row) ++m_nSelectionMark;
    return row;
}

int CReportCtrl::InsertRow(int row) {
    ResetSortState();
    return Inserted(m_model.InsertRow(row));
}

int CReportCtrl::InsertSourcedRow(int row, int key) {
    ResetSortState();
    return Inserted(m_model.InsertSourcedRow(row, key));
}

bool CReportCtrl::SetItemText(int row, int column, const std::string& text) {
    ResetSortState();
    return m_model.SetText(row, column, text);
}

bool CReportCtrl::SetItemImage(int row, int column, int image) {
    return m_model.SetImage(row, column, image);
}

bool CReportCtrl::DeleteRow(int row) {
    if (!m_model.RemoveRow(row)) return false;
    if (m_nSelectionMark == row)
        m_nSelectionMark = -1;
    else if (m_nSelectionMark > row)
        --m_nSelectionMark;
    return true;
}

int CReportCtrl::DeleteAllItems() {
    const int count = GetItemCount();
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    m_model.Clear();
    m_nSelectionMark = -1;
    setUpdatesEnabled(updates);
    return count;
}

std::string CReportCtrl::GetItemText(int row, int column) const {
    return m_model.Text(row, column);
}

int CReportCtrl::GetItemImage(int row, int column) const {
    return m_model.Image(row, column);
}

void CReportCtrl::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= GetColumnCount()) return;
    if (m_widths.size() < static_cast<std::size_t>(GetColumnCount()))
        m_widths.resize(static_cast<std::size_t>(GetColumnCount()), 0);
    m_widths[static_cast<std::size_t>(column)] = std::max(width, 0);
    ApplyColumnWidths();
}

int CReportCtrl::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount() || static_cast<std::size_t>(column) >= m_widths.size()) return 0;
    return m_widths[static_cast<std::size_t>(column)];
}

void CReportCtrl::SetNaturalWidth(int width) {
    m_nNaturalWidth = width;
    ApplyColumnWidths();
}

void CReportCtrl::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    ApplyColumnWidths();
}

void CReportCtrl::ApplyColumnWidths() {
    long long total = 0;
    for (int w : m_widths) total += w;
    const int extra = m_nNaturalWidth > 0 ? std::max(0, width() - m_nNaturalWidth) : 0;
    m_bApplyingWidths = true;
    int given = 0;
    long long before = 0;  // the given widths of the columns before this one
    for (std::size_t c = 0; c < m_widths.size(); ++c) {
        const int w = m_widths[c];
        const int column = static_cast<int>(c);
        if (w <= 0) {
            setColumnHidden(column, true);
            continue;
        }
        setColumnHidden(column, false);
        // The share of the extra width up to the end of this column, rounded,
        // less what the columns before took: the shares add up exactly.
        before += w;
        const int upTo = total > 0 ? static_cast<int>(extra * before / total) : 0;
        setColumnWidth(column, w + upTo - given);
        given = upTo;
    }
    m_bApplyingWidths = false;
}

void CReportCtrl::OnSectionResized(int column, int /*oldWidth*/, int newWidth) {
    // A column the user dragged: its given width is what it shows less its
    // share of the extra width.
    if (m_bApplyingWidths || column < 0 || static_cast<std::size_t>(column) >= m_widths.size()) return;
    long long total = 0;
    for (int w : m_widths) total += w;
    const int extra = m_nNaturalWidth > 0 ? std::max(0, width() - m_nNaturalWidth) : 0;
    const double scale = total > 0 ? 1.0 + static_cast<double>(extra) / static_cast<double>(total) : 1.0;
    m_widths[static_cast<std::size_t>(column)] = std::max(1, static_cast<int>(newWidth / scale + 0.5));
}

std::vector<char> CReportCtrl::SelectedMask() const {
    m_model.Flush();  // the selection is kept in view rows
    std::vector<char> mask(static_cast<std::size_t>(GetItemCount()), 0);
    if (!selectionModel()) return mask;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom() && r < GetItemCount(); ++r) mask[static_cast<std::size_t>(r)] = 1;
    return mask;
}

int CReportCtrl::GetSelectedCount() const {
    const std::vector<char> mask = SelectedMask();
    return static_cast<int>(std::count(mask.begin(), mask.end(), 1));
}

int CReportCtrl::GetFirstSelectedRow() const {
    const std::vector<char> mask = SelectedMask();
    const auto it = std::find(mask.begin(), mask.end(), 1);
    return it == mask.end() ? -1 : static_cast<int>(it - mask.begin());
}

int CReportCtrl::GetLastSelectedRow() const {
    const std::vector<char> mask = SelectedMask();
    const auto it = std::find(mask.rbegin(), mask.rend(), 1);
    return it == mask.rend() ? -1 : static_cast<int>(mask.rend() - it) - 1;
}

bool CReportCtrl::IsRowSelected(int row) const {
    if (row < 0 || row >= GetItemCount() || !selectionModel()) return false;
    m_model.Flush();
    return selectionModel()->isSelected(m_model.index(row, 0));
}

void CReportCtrl::SelectRow(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    m_model.Flush();
    selectionModel()->select(m_model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CReportCtrl::ClearRowStates(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    m_model.Flush();
    selectionModel()->select(m_model.index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    if (currentIndex().row() == row) selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void CReportCtrl::SetRowsSelected(int first, int last, bool selected) {
    first = std::max(first, 0);
    last = std::min(last, GetItemCount() - 1);
    if (first > last || GetColumnCount() == 0) return;
    m_model.Flush();
    // One range for the whole run: row-by-row selection would leave one range
    // per row, and every later change would walk all of them.
    const QItemSelection range(m_model.index(first, 0), m_model.index(last, GetColumnCount() - 1));
    selectionModel()->select(
        range, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
    const int current = currentIndex().row();
    if (!selected && first <= current && current <= last)
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void CReportCtrl::EnsureVisible(int row) {
    if (row < 0 || row >= GetItemCount()) return;
    m_model.Flush();
    // Vertical only: keep the horizontal position as it is.
    const int x = horizontalScrollBar()->value();
    scrollTo(m_model.index(row, 0), QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(x);
}

void CReportCtrl::SuspendRedraw() {
    if (m_nSuspend++ == 0) {
        setUpdatesEnabled(false);
        m_model.SetHolding(true);
    }
}

void CReportCtrl::ResumeRedraw() {
    if (m_nSuspend == 0) return;
    if (--m_nSuspend > 0) return;
    m_model.SetHolding(false);
    setUpdatesEnabled(true);
    viewport()->update();
}

// ---------------------------------------------------------------------------
// Mouse and keyboard

bool CReportCtrl::CtrlClick(const QMouseEvent* event) const {
    return (event->button() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)) != 0 &&
           (g_bCtrlKeyDown != 0 || (event->modifiers() & Qt::ControlModifier) != 0);
}

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    if (CtrlClick(event)) {
        // Consumed: no selection change, no focus change.
        m_ignoredPresses |= event->button();
        event->accept();
        return;
    }
    EndDragSelection();
    setFocus(Qt::MouseFocusReason);
    m_ignoredPresses &= ~event->button();
    if (event->button() != Qt::LeftButton) {
        // The right and middle buttons select their row as the left one
        // does, without starting a drag or opening a group.
        const int row = rowAt(event->position().toPoint().y());
        QTableView::mousePressEvent(event);
        if (row >= 0 && !(event->modifiers() & Qt::ShiftModifier)) {
            m_nSelectionMark = row;
            emit markMoved(row);
        }
        return;
    }
    m_bLeftPressed = true;
    m_bClickPending = true;
    m_bDragStarted = false;
    m_pressPos = event->position().toPoint();
    m_nPressRow = rowAt(m_pressPos.y());
    if (m_nPressRow >= 0 && !(event->modifiers() & Qt::ShiftModifier)) m_nSelectionMark = m_nPressRow;
    QTableView::mousePressEvent(event);
}

int CReportCtrl::DistanceOutside(QPoint pos) const {
    if (pos.y() < 0) return pos.y();
    const int height = viewport()->height();
    return pos.y() >= height ? pos.y() - height + 1 : 0;
}

int CReportCtrl::DragRowAt(QPoint pos) const {
    const int outside = DistanceOutside(pos);
    if (outside < 0) return rowAt(0);
    if (outside > 0) {
        // Below the viewport: the last row in it, or the last row of a list
        // that ends above its bottom.
        const int row = rowAt(viewport()->height() - 1);
        return row >= 0 ? row : GetItemCount() - 1;
    }
    return rowAt(pos.y());
}

void CReportCtrl::AutoScrollTick() {
    const int outside = DistanceOutside(m_dragPos);
    if (!g_bDragSelecting || !m_bLeftPressed || outside == 0) {
        m_autoScroll.stop();
        return;
    }
    // A few rows per tick, more the further the pointer is held away.
    const int rows = std::min(1 + std::abs(outside) / kRowHeight, kAutoScrollMaxRows);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (outside < 0 ? -rows : rows) * bar->singleStep());
    DragSelectStep(*this, DragRowAt(m_dragPos));
}

QItemSelectionModel::SelectionFlags CReportCtrl::selectionCommand(const QModelIndex& index, const QEvent* event) const {
    // A plain left press selects its row at once. The list would hold a press
    // on a row that is already selected back until the release (so that the
    // selection could be dragged away, which this list never does); that
    // release would then replace what a drag selection made, and clear it all
    // when it happens outside the rows.
    // The same for the right and middle buttons, which the list would let
    // keep a selection they were pressed in.
    if (event && event->type() == QEvent::MouseButtonPress && index.isValid()) {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (!(mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    // Ctrl with Home, End, Page Up or Page Down selects the row it goes to
    // (the list would only move its focus there).
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const int k = key->key();
        if ((k == Qt::Key_Home || k == Qt::Key_End || k == Qt::Key_PageUp || k == Qt::Key_PageDown) &&
            (key->modifiers() & Qt::ControlModifier) && !(key->modifiers() & Qt::ShiftModifier))
            return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    }
    return QTableView::selectionCommand(index, event);
}

QModelIndex CReportCtrl::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and last row, keeping the column (a table
    // would go to the first and last column of the row).
    if ((cursorAction == MoveHome || cursorAction == MoveEnd) && GetItemCount() > 0) {
        m_model.Flush();
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return m_model.index(cursorAction == MoveHome ? 0 : GetItemCount() - 1, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void CReportCtrl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_bLeftPressed && !m_bDragStarted && m_nPressRow >= 0 &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_bDragStarted = true;
        m_bClickPending = false;
        emit beginDragNotify();
        // The drag starts on the row where the button went down, even when
        // the pointer has already left it.
        if (g_bDragSelecting) DragSelectStep(*this, m_nPressRow);
        // No click follows a drag: the labels follow the mark the press
        // moved to its row.
        if (m_nSelectionMark == m_nPressRow) emit markMoved(m_nSelectionMark);
    }
    if (g_bDragSelecting) {
        m_dragPos = pos;
        DragSelectStep(*this, DragRowAt(pos));
        // Outside the rows' area the timer takes over; it stops itself.
        if (DistanceOutside(pos) != 0 && m_bLeftPressed && !m_autoScroll.isActive()) m_autoScroll.start();
        event->accept();
        return;
    }
    // The list's own press-and-move selection is replaced by the drag above.
    if (m_bLeftPressed || m_ignoredPresses != Qt::NoButton) {
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void CReportCtrl::mouseReleaseEvent(QMouseEvent* event) {
    EndDragSelection();
    m_autoScroll.stop();
    if (m_ignoredPresses & event->button()) {
        m_ignoredPresses &= ~event->button();
        event->accept();
        return;
    }
    const bool click = event->button() == Qt::LeftButton && m_bClickPending;
    if (event->button() == Qt::LeftButton) {
        m_bLeftPressed = false;
        m_bClickPending = false;
    }
    QTableView::mouseReleaseEvent(event);
    if (click) emit clickNotify();
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (CtrlClick(event)) {
        m_ignoredPresses |= event->button();
        event->accept();
        return;
    }
    EndDragSelection();
    setFocus(Qt::MouseFocusReason);
    // The second press of a double click is not a click of its own.
    if (event->button() == Qt::LeftButton) {
        m_bLeftPressed = true;
        m_bClickPending = false;
        m_bDragStarted = true;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    emit keyDownNotify(event->key());
    const int before = currentIndex().row();
    QTableView::keyPressEvent(event);
    const int after = currentIndex().row();
    // The mark follows a move that selected its row; a move with Shift
    // extends the selection from the mark, one with Ctrl and an arrow moves
    // only the focus.
    if (after != before && after >= 0 && !(event->modifiers() & Qt::ShiftModifier) &&
        (selectionCommand(currentIndex(), event) & QItemSelectionModel::Select)) {
        m_nSelectionMark = after;
        emit markMoved(after);
    }
}

void CReportCtrl::focusOutEvent(QFocusEvent* event) {
    EndDragSelection();
    m_autoScroll.stop();
    QTableView::focusOutEvent(event);
}

}  // namespace oront
