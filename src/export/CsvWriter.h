// The CSV file written by "Save All" and "Save Selected".
#pragma once

#include <ctime>
#include <string>

#include "records/RecordStore.h"

namespace oront {

// Writes result rows start..end (inclusive) of the store as the CSV file,
// through OutputFile: a file is replaced only by a completely written one; on
// failure the old file is untouched and the result is false. start > end
// gives the three header lines only.
bool WriteCsvFile(const RecordStore& store, const std::string& path, int start, int end);
// The same; on failure `cause` says why ("Permission denied: /path/a.csv").
bool WriteCsvFileWithCause(const RecordStore& store, const std::string& path, int start, int end, std::string& cause);

// The same bytes, into a string (tests, fuzzing).
std::string CsvText(const RecordStore& store, int start, int end);

// "%.2u" x 6 of the local time: year, month, day, hour, minute, second.
std::string DefaultFileName(std::time_t now);

}  // namespace oront
