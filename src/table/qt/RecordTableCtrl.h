// CRecordTableCtrl: control 1007 of the main window, the record table.
//
// A CReportCtrl with the record table's twelve columns, the row images of
// bitmap 145, the header image list of bitmap 147 (image 1 on "Points"), and
// its notifications wired to the table logic:
//   click        -> OnClickRecordTable (labels, group expand/collapse)
//   key down     -> OnKeyDownRecordTable (labels of the row moved to)
//   mark moved   -> the labels of the row at the selection mark, after any
//                   other move of the keyboard, a drag selection or a right
//                   or middle click
//   begin drag   -> OnBeginDragRecordTable (drag selection)
//   loss of focus ends a drag selection.
//
// Use from the main window:
//   auto* table = new CRecordTableCtrl(store, &labels, this);  // objectName "1007"
//   table->DeleteAllItems();       // before a download
//   table->FillRecordTable();      // after the result table is built
// The labels sink receives the texts of labels 1010, 1012 and 1016;
// WidgetLabels writes them into the QLabels of a window by object name.
#pragma once

#include <QPointer>
#include <QWidget>

#include "table/RecordTable.h"
#include "table/qt/ReportCtrl.h"

namespace oront {

class CRecordTableCtrl : public CReportCtrl {
    Q_OBJECT
public:
    CRecordTableCtrl(RecordStore& store, IRecordLabels* labels, QWidget* parent = nullptr);

    RecordTable& Logic() { return m_logic; }
    void SetLabels(IRecordLabels* labels) { m_logic.SetLabels(labels); }

    // Fills the emptied table from the store's result table.
    void FillRecordTable() { m_logic.FillRecordTable(); }

private:
    RecordTable m_logic;
};

// Writes label texts into the QLabels of `root` whose object names are the
// label ids ("1010", "1012", "1016").
class WidgetLabels : public IRecordLabels {
public:
    explicit WidgetLabels(QWidget* root) : m_root(root) {}
    void SetLabelText(int id, const std::string& text) override;

private:
    QPointer<QWidget> m_root;
};

}  // namespace oront
