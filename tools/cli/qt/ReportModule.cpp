// The report command's printing as a module of its own. The command-line tool
// loads it only when it prints, so the other commands never map Qt's
// libraries (they would multiply the tool's memory for a plain save).
#include "ReportModule.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "ReportCommand.h"

extern "C" __attribute__((visibility("default"))) int oront_v208_cli_report(const oront::RecordStore* store,
                                                                            const char* outPdf, int firstPage,
                                                                            int lastPage, const char* printer,
                                                                            char* error, std::size_t errorSize) {
    std::string message;
    const int rc =
        oront::RunReportCommand(*store, outPdf ? outPdf : "", firstPage, lastPage, printer ? printer : "", message);
    if (error != nullptr && errorSize > 0) {
        const std::size_t n = std::min(message.size(), errorSize - 1);
        std::memcpy(error, message.data(), n);
        error[n] = '\0';
    }
    return rc;
}
