// The PDF certificate of a classification (classify --format pdf): drawn
// by the report program (qt/CertificateProgram.cpp), which links Qt.
#pragma once

#include "CliOptions.h"
#include "classify/CertificateLayout.h"
#include "classify/Rooms.h"

namespace oront::cli {

// Numbers the certificate of `rooms`, draws it into the PDF file o.output
// and keeps it in the archive; 0 on success, otherwise 1 after printing why
// on stderr.
int RunCertificate(const classify::RoomClassification& rooms, classify::CertificateData data, const Options& o);

}  // namespace oront::cli
