#include "CertificateCommand.h"

#include <iostream>

namespace oront::cli {

// Reached only in a build without the report program, which draws the
// certificate.
int RunCertificate(const classify::RoomClassification&, classify::CertificateData, const Options&) {
    std::cerr << "oront-v208-cli: this build has no printing support\n";
    return 1;
}

}  // namespace oront::cli
