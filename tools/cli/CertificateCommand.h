// The PDF certificate of a classification (classify --format pdf): drawn
// by the report program (qt/CertificateProgram.cpp), which links Qt.
#pragma once

#include <string>

#include "classify/Classify.h"
#include "records/RecordStore.h"

namespace oront::cli {

// Draws the certificate of `result` (the runs of `store`) into the PDF file
// outPdf; 0 on success, otherwise 1 after printing why on stderr.
int RunCertificate(const RecordStore& store, const classify::Classification& result, const std::string& outPdf);

}  // namespace oront::cli
