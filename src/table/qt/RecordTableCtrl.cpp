#include "table/qt/RecordTableCtrl.h"

#include <QLabel>

#include "controls/qt/Resources.h"
#include "records/CFormat.h"

namespace oront {

CRecordTableCtrl::CRecordTableCtrl(RecordStore& store, IRecordLabels* labels, QWidget* parent)
    : CReportCtrl(parent), m_logic(store, *this, labels) {
    setObjectName("1007");
    for (int c = 0; c < col::kCount; ++c) {
        const RecordTableColumn& column = kRecordTableColumns[static_cast<std::size_t>(c)];
        InsertColumn(c, QString::fromLatin1(column.title), column.align, column.width);
    }
    SetImageList(ResourceImageList(res::kBitmapRowImages, 16));
    SetHeaderImageList(ResourceImageList(res::kBitmapHeaderImages, 16));
    SetHeaderImage(col::Points, 1);

    connect(this, &CReportCtrl::clickNotify, this, [this] { m_logic.OnClickRecordTable(); });
    connect(this, &CReportCtrl::keyDownNotify, this, [this](int key) {
        m_logic.OnKeyDownRecordTable(key == Qt::Key_Up     ? TableKey::Up
                                     : key == Qt::Key_Down ? TableKey::Down
                                                           : TableKey::Other);
    });
    connect(this, &CReportCtrl::beginDragNotify, this, [this] { m_logic.OnBeginDragRecordTable(); });
    // Wherever else the selection mark goes (Page Up/Down, Home, End, a right
    // or middle click), the labels show the row it went to.
    connect(this, &CReportCtrl::markMoved, this, [this](int row) {
        if (row >= 0 && row < GetItemCount()) m_logic.UpdateLabels(CAtoi(GetItemText(row, col::Cnt)));
    });
}

void WidgetLabels::SetLabelText(int id, const std::string& text) {
    if (!m_root) return;
    if (auto* label = m_root->findChild<QLabel*>(QString::number(id)))
        label->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace oront
