// The two message dialogs of the program.
//
// A caller puts the text into g_strMessage, creates the dialog, runs it
// with exec() and destroys it:
//
//   g_strMessage = msg::kSaveFailed;
//   CMessageDlg1 dlg(this);
//   dlg.exec();                           // OK only
//
//   g_strMessage = msg::kQuitUnsaved;
//   CMessageDlg2 ask(this);
//   if (ask.exec() == 2) return;          // 1 = OK, 2 = Cancel
//
// exec() returns 1 for OK (the button, or Enter while OK is the default
// button) and 2 for Cancel, Escape and the close box. The text is copied
// from g_strMessage when the dialog opens; the dialogs never write it.
// "\n\r" pairs (and any other line feed or carriage return) show as one
// line break each. A text longer than its control is cut at the control's
// edge; the dialog keeps its size.
//
// Controls (objectName = control number): icon "1024" (icon 162), text
// "1017", OK "1", and in CMessageDlg2 Cancel "2"; both buttons are
// CShadeButtonST. Tests can reach an open dialog with
// QApplication::activeModalWidget() and click the button by name.
//
// What g_messageExtras holds when the dialog opens goes with the text: a
// detail (the cause of a failure) in the label "detail" under the text,
// for which the dialog grows, the icon of a warning or an error in place of
// icon 162, and Cancel as the default button of a question whose OK cannot
// be undone. The dialog then clears g_messageExtras.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <string>

#include "controls/qt/Resources.h"

class QLabel;

namespace oront {

class CShadeButtonST;

// The display form of a message: each "\n\r", "\r\n", "\n" or "\r" becomes
// one line break. The bytes are read as Latin-1.
QString MessageDisplayText(const std::string& message);

// What the two templates differ in (positions and sizes in dialog units).
struct MessageDlgTemplate {
    int width, height;
    int fontPoints;
    QRect icon;
    QRect text;
    QRect ok;
    QRect cancel;  // empty: no Cancel button
};

// The shared part of both dialogs: fixed size, caption "Oront V208
// Software", the background picture stretched over the client area, the
// icon and the text in black on RGB(144, 183, 204), the skinned buttons.
class CMessageDlgBase : public QDialog {
    Q_OBJECT
public:
    // The text control (1017) and the buttons, for callers and tests.
    QLabel* TextControl() const { return m_pText; }
    CShadeButtonST* OkButton() const { return m_pOk; }
    CShadeButtonST* CancelButton() const { return m_pCancel; }
    // The detail under the text (hidden when the message has none).
    QLabel* DetailControl() const { return m_pDetail; }

    // Escape and the close box end the dialog with 2.
    void reject() override;

protected:
    CMessageDlgBase(const MessageDlgTemplate& layout, QWidget* parent);
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The text, its detail and icon, and the default button of the message
    // now in g_strMessage and g_messageExtras; `clear` clears the extras once
    // they are shown.
    void TakeMessage(bool clear);

    MessageDlgTemplate m_layout;
    StretchedBitmap m_background{res::kBitmapBackground};
    QLabel* m_pIcon = nullptr;
    QLabel* m_pText = nullptr;
    QLabel* m_pDetail = nullptr;
    CShadeButtonST* m_pOk = nullptr;
    CShadeButtonST* m_pCancel = nullptr;
};

// Template 130: a text and OK. 211 x 69 dialog units, Arial 10 point.
class CMessageDlg1 : public CMessageDlgBase {
    Q_OBJECT
public:
    explicit CMessageDlg1(QWidget* parent = nullptr);
};

// Template 131: a text with OK and Cancel. 211 x 73 dialog units, Arial 9
// point.
class CMessageDlg2 : public CMessageDlgBase {
    Q_OBJECT
public:
    explicit CMessageDlg2(QWidget* parent = nullptr);
};

}  // namespace oront
