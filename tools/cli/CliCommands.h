// Pieces of the command-line tool that build on the table and print layers.
#pragma once

#include <string>

#include "records/RecordStore.h"

namespace oront::cli {

// Turns the texts FIRST and LAST, as typed into the record range dialog, into
// result-row indices: checked like the dialog checks them, then looked up in
// the record table with every group collapsed. Returns the message to show
// on failure, nullptr on success.
const char* ResolveRecordRange(const RecordStore& store, const std::string& first, const std::string& last,
                               int& startIndex, int& endIndex);

// Prints the report into a PDF file (or to the printer NAME); 0 on success.
int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer);

}  // namespace oront::cli
