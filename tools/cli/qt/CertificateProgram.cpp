// The classification certificate as the report program writes it: A4, drawn
// through Qt into the PDF file named, numbered and kept by the archive.
#include <QGuiApplication>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "ArchiveCommands.h"
#include "CertificateCommand.h"
#include "ReportCommand.h"
#include "classify/CertificateLayout.h"
#include "classify/qt/CertificatePrinter.h"

namespace oront::cli {

int RunCertificate(const classify::RoomClassification& rooms, classify::CertificateData data, const Options& o) {
    if (o.output.empty()) {
        std::cerr << "oront-v208-cli: classify --format pdf needs the name of the PDF file\n";
        return 1;
    }
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication();
    IssuedCertificate issued;
    if (!NumberCertificate(o, data, issued)) return 1;
    data.testDate = classify::TestDates(rooms);
    const std::string text = classify::CertificateDataText(rooms, data);
    data.dataSha256 = Sha256Of(text);
    SignaturesFor(o, issued, data);
    const classify::Certificate certificate(rooms, data, classify::CertificatePaper::A4);
    std::string error;
    std::string pdf;
    if (!classify::WriteCertificatePdf(certificate, o.output, error, &pdf)) {
        std::cerr << "oront-v208-cli: cannot write the certificate (" << error << ")\n";
        return 1;
    }
    if (!KeepCertificate(o, issued, text, pdf)) return 1;
    std::cerr << "Saved certificate " << data.reportNumber << " (" << certificate.PageCount()
              << (certificate.PageCount() == 1 ? " page" : " pages") << ") to " << o.output << "\n";
    return 0;
}

}  // namespace oront::cli
