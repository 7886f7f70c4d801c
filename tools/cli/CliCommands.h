// The report command of the command-line tool, which needs the print layer.
//
// oront-v208-cli itself does not link Qt: it hands the report command to the
// report program oront-v208-report beside it, which runs the same commands
// (main.cpp) and prints with Qt. A build without Qt has no report program.
#pragma once

#include <string>

#include "records/RecordStore.h"

namespace oront::cli {

// In oront-v208-cli with a report program: replaces this process with the
// report program, passing the arguments on (argv as main got it), so that
// the download, the messages and the exit status are the report program's.
// Returns only when that fails, with the exit status 1 after the message.
// Returns -1 where this program runs the report command itself.
int HandOverReport(char** argv);

// Prints the report into a PDF file (or to the printer NAME); 0 on success.
int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer);

}  // namespace oront::cli
