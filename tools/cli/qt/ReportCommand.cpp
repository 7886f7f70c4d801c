#include "ReportCommand.h"

#include <QApplication>
#include <memory>

#include "controls/qt/QtMessages.h"
#include "print/qt/ReportPrinter.h"

namespace oront {

std::unique_ptr<QGuiApplication> MakeHeadlessGuiApplication(bool widgets) {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    // The application keeps referring to its arguments while it lives.
    static int argc = 1;
    static char name[] = "oront-v208-cli";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QuietQtMessages();
    if (widgets) return std::make_unique<QApplication>(argc, argv);
    return std::make_unique<QGuiApplication>(argc, argv);
}

int RunReportCommand(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
                     const std::string& printerName, std::string& errorMessage) {
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication();
    ReportPrintOptions options;
    options.outPdf = outPdf;
    options.printerName = printerName;
    options.firstPage = firstPage;
    options.lastPage = lastPage;
    return PrintReportToDevice(store, options, errorMessage) ? 0 : 1;
}

}  // namespace oront
