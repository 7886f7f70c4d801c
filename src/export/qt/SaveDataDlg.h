// CSaveDataDlg: the record range dialog of "Save Selected" (template 129).
//
// Shows the start and the end record number of the range (fields 1019 and
// 1020, disabled: the dialog confirms a range, it does not edit one). OK
// checks both fields, looks each number up in the record table and leaves the
// result in g_nStartRecord, g_nEndRecord, g_nStartIndex and g_nEndIndex
// (SaveRange.h); Cancel changes nothing. When the selection starts on a
// run's summary lines, a note under the frame says that the file holds the
// run's summary.
//
//   CSaveDataDlg dlg(store, *m_pList, this);
//   dlg.SetMessageHandler([this] { CMessageDlg1(this).exec(); });  // shows g_strMessage
//   if (dlg.DoModal() == CSaveDataDlg::kIdOk) ...
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>

#include "controls/qt/Resources.h"
#include "export/SaveRange.h"

class QLabel;

namespace oront {

class CLimitEdit;
class CShadeButtonST;

class CSaveDataDlg : public QDialog, private ISaveRangeMessages {
    Q_OBJECT
public:
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    CSaveDataDlg(const RecordStore& store, const IReportList& table, QWidget* parent = nullptr);

    // Shows g_strMessage to the user (the one-button message dialog). Without
    // a handler a failing field only receives the focus.
    void SetMessageHandler(std::function<void()> handler) { m_showMessage = std::move(handler); }

    // Runs the dialog modally: kIdOk or kIdCancel.
    int DoModal() { return exec(); }

    // OK and Cancel, as the buttons (and Enter / Escape) trigger them.
    void OnOK();
    void OnCancel() { done(kIdCancel); }

    CLimitEdit* StartField() const { return m_pStart; }
    CLimitEdit* EndField() const { return m_pEnd; }
    // Label 1023 under the frame: what the file will hold when the selection
    // starts on a run's summary lines (SelectionSummaryNote); none otherwise.
    QLabel* Note() const { return m_pNote; }

    // Dialog units the note adds to the dialog's height.
    static constexpr int kNoteSpace = 30;

public slots:
    void reject() override { OnCancel(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowMessage() override;

    SaveRangeDialogLogic m_logic;
    std::function<void()> m_showMessage;
    StretchedBitmap m_background{res::kBitmapBackground};
    CLimitEdit* m_pStart = nullptr;
    CLimitEdit* m_pEnd = nullptr;
    QLabel* m_pNote = nullptr;
    CShadeButtonST* m_pOk = nullptr;
    CShadeButtonST* m_pCancel = nullptr;
};

}  // namespace oront
