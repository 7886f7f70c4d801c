// The classification certificate as the report program writes it: A4, drawn
// through Qt into the PDF file named.
#include <QGuiApplication>
#include <iostream>
#include <memory>

#include "CertificateCommand.h"
#include "ReportCommand.h"
#include "classify/CertificateLayout.h"
#include "classify/qt/CertificatePrinter.h"

namespace oront::cli {

int RunCertificate(const RecordStore& store, const classify::Classification& result, const std::string& outPdf) {
    if (outPdf.empty()) {
        std::cerr << "oront-v208-cli: classify --format pdf needs the name of the PDF file\n";
        return 1;
    }
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication();
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
