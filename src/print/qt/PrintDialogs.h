// The dialogs and message boxes of printing, behind one replaceable
// interface.
//
// The program uses the platform's dialogs (QMessageBox, QPrintDialog,
// QPageSetupDialog, QFileDialog) and its list of printers. Tests install
// their own CPrintUi to answer every question without a window, to pick a
// printer, a paper or a file, and to have printers or none.
#pragma once

#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

namespace oront {

class CPrintUi {
public:
    enum class DialogResult { Ok, Cancel, Error };
    enum class Icon { None, Error };

    virtual ~CPrintUi() = default;

    // A question with Yes and No buttons, question icon, No the default
    // button. True for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& caption);
    // A question with OK and Cancel buttons, question icon, OK the default
    // button. True for OK.
    virtual bool AskOkCancel(QWidget* owner, const QString& text, const QString& caption);
    // A message with an OK button. An empty caption gives the application's
    // name, as a message box without a caption of its own shows.
    virtual void Message(QWidget* owner, const QString& text, const QString& caption, Icon icon);
    // The printer dialog of a print job: the user picks a printer (or a PDF
    // file) and its settings, which are written into `printer`.
    virtual DialogResult PrintDialog(QPrinter& printer, QWidget* owner);
    // The printers installed, by name (empty when there are none).
    virtual QStringList Printers();
    // Printer setup: paper and orientation, written into `printer`.
    virtual DialogResult PageSetupDialog(QPrinter& printer, QWidget* owner);
    // A save dialog (asking before it overwrites a file) starting with
    // `initialName`, with one filter ("PDF file (*.pdf)") whose extension
    // `suffix` is added to a name typed without one. True and the chosen
    // path on OK.
    virtual bool SaveFileDialog(QWidget* owner, const QString& caption, const QString& initialName,
                                const QString& filter, const QString& suffix, QString& path);
};

// The interface in use; the platform's dialogs unless a test installed
// another. SetPrintUi(nullptr) goes back to the platform's dialogs.
CPrintUi& PrintUi();
void SetPrintUi(CPrintUi* ui);

}  // namespace oront
