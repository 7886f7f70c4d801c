// The archive's downloads and records as text: the history (a readable table
// or JSON) and the records (CSV lines or JSON objects, written one at a time
// so that a listing of the whole archive is streamed).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/Archive.h"

namespace oront::archive {

// A record's fields as the instrument stored them, with its concentrations
// per m³ from the raw counts and the sample time.
struct RecordFields {
    std::string dateTime;  // "2015-03-07 08:30:15"
    std::string mode;      // "Auto", "Manual", "ISO" (empty for an unknown code)
    int location = 0;
    int point = 0;
    int cyclesPerPoint = 0;
    int cycle = 0;
    int sampleSeconds = 0;
    std::array<std::string, 3> sizes;  // "0.3um" ...
    std::array<std::uint32_t, 3> counts{};
    std::array<double, 3> perM3{};
};
RecordFields DecodeRecord(const Record& record);

// Local time "YYYY-MM-DD hh:mm:ss" of seconds since the epoch.
std::string LocalTimeText(std::int64_t time);

std::string HistoryText(const std::vector<Download>& downloads);
std::string HistoryJson(const std::vector<Download>& downloads);

const char* RecordCsvHeader();
std::string RecordCsvLine(const Record& record);
std::string RecordJson(const Record& record);

// "YYYY-MM-DD hh:mm:ss" of a record's TimeKey.
std::string TimeKeyText(std::int64_t key);

// The excursions and adverse trends as a table, CSV lines or JSON, the
// rooms and locations named as the register names them.
std::string ExcursionsText(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                           const site::Register& reg);
std::string ExcursionsCsv(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                          const site::Register& reg);
std::string ExcursionsJson(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                           const site::Register& reg);

}  // namespace oront::archive
