#include "ReportCommand.h"

#include <QGuiApplication>
#include <memory>

#include "controls/qt/QtMessages.h"
#include "print/qt/ReportPrinter.h"

namespace oront {

int RunReportCommand(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
                     const std::string& printerName, std::string& errorMessage) {
    // Fonts and printing need a GUI application object, but no display.
    std::unique_ptr<QGuiApplication> app;
    int argc = 1;
    char name[] = "oront-v208-cli";
    char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QuietQtMessages();
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    ReportPrintOptions options;
    options.outPdf = outPdf;
    options.printerName = printerName;
    options.firstPage = firstPage;
    options.lastPage = lastPage;
    return PrintReportToDevice(store, options, errorMessage) ? 0 : 1;
}

}  // namespace oront
