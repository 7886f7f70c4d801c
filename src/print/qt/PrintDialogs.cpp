#include "print/qt/PrintDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace oront {

namespace {
CPrintUi* g_pPrintUi = nullptr;
}  // namespace

bool CPrintUi::AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool CPrintUi::AskOkCancel(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void CPrintUi::Message(QWidget* owner, const QString& text, const QString& caption, Icon icon) {
    const QString title = caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
    QMessageBox box(icon == Icon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, title, text, QMessageBox::Ok,
                    owner);
    box.exec();
}

CPrintUi::DialogResult CPrintUi::PrintDialog(QPrinter& printer, QWidget* owner) {
    QPrintDialog dialog(&printer, owner);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted ? DialogResult::Ok : DialogResult::Cancel;
}

QStringList CPrintUi::Printers() {
    return QPrinterInfo::availablePrinterNames();
}

CPrintUi::DialogResult CPrintUi::PageSetupDialog(QPrinter& printer, QWidget* owner) {
    QPageSetupDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted ? DialogResult::Ok : DialogResult::Cancel;
}

bool CPrintUi::SaveFileDialog(QWidget* owner, const QString& caption, const QString& initialName, const QString& filter,
                              const QString& suffix, QString& path) {
    QFileDialog dialog(owner, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first();
    return true;
}

CPrintUi& PrintUi() {
    static CPrintUi platform;
    return g_pPrintUi != nullptr ? *g_pPrintUi : platform;
}

void SetPrintUi(CPrintUi* ui) {
    g_pPrintUi = ui;
}

}  // namespace oront
