// The report command of the command-line tool, which needs the print layer.
#pragma once

#include <string>

#include "records/RecordStore.h"

namespace oront::cli {

// Prints the report into a PDF file (or to the printer NAME); 0 on success.
int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer);

}  // namespace oront::cli
