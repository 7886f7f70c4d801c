// The entry point of the report module that the command-line tool loads for
// its report command (see ReportModule.cpp under qt/). Tool and module are
// built together from the same sources, so the store is passed as it is.
#pragma once

#include <cstddef>

#include "records/RecordStore.h"

extern "C" {
// Prints the report (RunReportCommand); on failure writes the message,
// NUL-terminated and cut to errorSize, into error.
using OrontCliReportFn = int (*)(const oront::RecordStore* store, const char* outPdf, int firstPage, int lastPage,
                                 const char* printer, char* error, std::size_t errorSize);
}

namespace oront::cli {
inline constexpr const char* kReportEntryPoint = "oront_v208_cli_report";
}  // namespace oront::cli
