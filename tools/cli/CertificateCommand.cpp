#include "CertificateCommand.h"

#include <iostream>

namespace oront::cli {

// No program draws the certificate yet.
int RunCertificate(const RecordStore&, const classify::Classification&, const std::string&) {
    std::cerr << "oront-v208-cli: the PDF certificate is not available yet\n";
    return 1;
}

}  // namespace oront::cli
