// The classification certificate as the report program writes it: A4, drawn
// through Qt into the PDF file named.
#include <QGuiApplication>
#include <iostream>
#include <memory>

#include "CertificateCommand.h"
#include "classify/CertificateLayout.h"
#include "classify/qt/CertificatePrinter.h"
#include "controls/qt/QtMessages.h"

namespace oront::cli {

int RunCertificate(const RecordStore& store, const classify::Classification& result, const std::string& outPdf) {
    if (outPdf.empty()) {
        std::cerr << "oront-v208-cli: classify --format pdf needs the name of the PDF file\n";
        return 1;
    }
    // Fonts and PDF writing need a GUI application object, but no display.
    std::unique_ptr<QGuiApplication> app;
    int argc = 1;
    char name[] = "oront-v208-cli";
    char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QuietQtMessages();
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    const classify::Certificate certificate(result, store.ReportSerialNumber(), classify::CertificatePaper::A4);
    std::string error;
    if (!classify::WriteCertificatePdf(certificate, outPdf, error)) {
        std::cerr << "oront-v208-cli: cannot write the certificate (" << error << ")\n";
        return 1;
    }
    std::cerr << "Saved the certificate (" << certificate.PageCount()
              << (certificate.PageCount() == 1 ? " page" : " pages") << ") to " << outPdf << "\n";
    return 0;
}

}  // namespace oront::cli
