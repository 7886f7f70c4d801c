// The report command as the report program oront-v208-report runs it: the
// same commands as oront-v208-cli (main.cpp), printing here with Qt.
#include <iostream>

#include "CliCommands.h"
#include "ReportCommand.h"

namespace oront::cli {

int HandOverReport(char**) {
    return -1;
}

int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer) {
    std::string message;
    const int rc = RunReportCommand(store, outPdf, firstPage, lastPage, printer, message);
    if (rc != 0) std::cerr << message << "\n";
    return rc;
}

}  // namespace oront::cli
