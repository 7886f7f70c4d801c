// The report command as the report program oront-v208-report runs it: the
// same commands as oront-v208-cli (main.cpp), printing here with Qt.
#include <iostream>

#include "CliCommands.h"
#include "ReportCommand.h"
#include "print/ReportLayout.h"

namespace oront::cli {

int HandOverReport(char**) {
    return -1;
}

int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer) {
    // Pages are taken as given: one the report does not have is an error.
    const int pages = ReportPageCount(store.ReportLineCount());
    for (int page : {firstPage, lastPage}) {
        if (page > pages) {
            std::cerr << "oront-v208-cli: the report has " << pages << (pages == 1 ? " page" : " pages")
                      << ", there is no page " << page << "\n";
            return 1;
        }
    }
    std::string message;
    const int rc = RunReportCommand(store, outPdf, firstPage, lastPage, printer, message);
    if (rc != 0) {
        std::cerr << message << "\n";
        return rc;
    }
    const int first = firstPage > 0 ? firstPage : 1;
    const int last = lastPage > 0 ? lastPage : pages;
    std::cerr << "Printed pages " << first << " to " << last << " of " << pages
              << (printer.empty() ? " to " + outPdf : " on the printer " + printer) << "\n";
    return 0;
}

}  // namespace oront::cli
