// Shared pieces of the print widget tests: a scripted stand-in for the
// printing dialogs and the tools that read the PDF files back (the reports
// come from test::NumberedReport, support/StoreBuilders.h).
#pragma once

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "print/qt/PrintDialogs.h"
#include "records/CFormat.h"
#include "support/StoreBuilders.h"

namespace oront::test {

struct ShownMessage {
    QString text;
    QString caption;
    CPrintUi::Icon icon;
};

// Answers every printing dialog from the test's script and records what was
// asked.
class ScriptedPrintUi : public CPrintUi {
public:
    ScriptedPrintUi() { SetPrintUi(this); }
    ~ScriptedPrintUi() override { SetPrintUi(nullptr); }

    bool answerYes = true;
    bool answerOk = true;
    // The printers installed; nullopt: the machine's own.
    std::optional<QStringList> printers = QStringList{QStringLiteral("Scripted printer")};
    std::vector<DialogResult> printDialogResults;  // one per dialog; Cancel when used up
    std::function<void(QPrinter&)> choosePrinter;  // applied on Ok
    DialogResult pageSetupResult = DialogResult::Ok;
    std::function<void(QPrinter&)> choosePaper;

    std::vector<std::pair<QString, QString>> questions;  // Yes/No
    std::vector<std::pair<QString, QString>> okCancelQuestions;
    std::vector<ShownMessage> messages;
    int printDialogs = 0;
    int pageSetupDialogs = 0;
    std::vector<QPageLayout> pageSetupLayouts;  // the paper each printer setup started from
    QString saveFilePath;                       // the file chosen in a save dialog; empty: Cancel
    QString saveFileFilter;
    int saveFileDialogs = 0;

    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
        questions.emplace_back(text, caption);
        return answerYes;
    }
    bool AskOkCancel(QWidget*, const QString& text, const QString& caption) override {
        okCancelQuestions.emplace_back(text, caption);
        return answerOk;
    }
    QStringList Printers() override { return printers ? *printers : CPrintUi::Printers(); }
    void Message(QWidget*, const QString& text, const QString& caption, Icon icon) override {
        messages.push_back({text, caption, icon});
    }
    DialogResult PrintDialog(QPrinter& printer, QWidget*) override {
        const std::size_t i = static_cast<std::size_t>(printDialogs++);
        const DialogResult r = i < printDialogResults.size() ? printDialogResults[i] : DialogResult::Cancel;
        if (r == DialogResult::Ok && choosePrinter) choosePrinter(printer);
        return r;
    }
    DialogResult PageSetupDialog(QPrinter& printer, QWidget*) override {
        ++pageSetupDialogs;
        pageSetupLayouts.push_back(printer.pageLayout());
        if (pageSetupResult == DialogResult::Ok && choosePaper) choosePaper(printer);
        return pageSetupResult;
    }
    bool SaveFileDialog(QWidget*, const QString&, const QString&, const QString& filter, const QString&,
                        QString& path) override {
        ++saveFileDialogs;
        saveFileFilter = filter;
        path = saveFilePath;
        return !saveFilePath.isEmpty();
    }
};

inline std::function<void(QPrinter&)> ChoosePdfFile(const QString& path) {
    return [path](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
    };
}

inline std::function<void(QPrinter&)> ChoosePaper(QPageSize::PageSizeId id, QPageLayout::Orientation orientation) {
    return [id, orientation](QPrinter& printer) {
        printer.setPageSize(QPageSize(id));
        printer.setPageOrientation(orientation);
    };
}

// The test output folder (test::TestOutputFolder) for the PDF files.
QString TestOutputDir();

// Runs a program and returns its standard output ("" when it cannot run).
std::string RunAndRead(const QString& program, const QStringList& args, int* exitCode = nullptr);

// The page count in pdfinfo's output (-1 when missing).
inline int PdfPageCount(const std::string& pdfinfoOutput) {
    const auto at = pdfinfoOutput.find("Pages:");
    if (at == std::string::npos) return -1;
    return CAtoi(std::string_view(pdfinfoOutput).substr(at + 6));
}

}  // namespace oront::test
