#include <iostream>

#include "CliCommands.h"
#include "ReportCommand.h"

namespace oront::cli {

int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer) {
    std::string error;
    const int rc = RunReportCommand(store, outPdf, firstPage, lastPage, printer, error);
    if (rc != 0) std::cerr << error << "\n";
    return rc;
}

}  // namespace oront::cli
