// A location's trend: the concentration per m³ at one particle size over
// time, from the archive's de-duplicated records. Every record (cycle) of
// the location is a point; the cycles of one sampling point of an ISO run
// are also averaged into the location's mean, as the classification
// averages them; a class or grade limit gives a horizontal line. With a
// site register in the archive, the trend also names the location as the
// register does, carries the room's alert and action limits at its size, and
// judges every point against the limits of the place it was taken at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "classify/Classify.h"
#include "site/Register.h"

namespace oront::archive {

struct TrendQuery {
    int location = 0;
    int sizeTenths = 0;  // 0: the smallest size the location's first record measures
    std::optional<std::uint32_t> serial;
    std::optional<std::int64_t> from;  // TimeKey, both ends included
    std::optional<std::int64_t> to;
    classify::Target target;  // a class (ISO 14644-1, 2015) or a grade; none for no limit line
};

// Times are the records' own dates and times, counted in seconds as if they
// were UTC (the instrument keeps no time zone): the same figures a clock of
// the room showed.
struct TrendPoint {
    std::int64_t seconds = 0;
    double perM3 = 0.0;
    // Against the alert and action limits of the room location the record
    // was taken at on its own day (None without one).
    site::Level level = site::Level::None;
};
struct TrendMean {
    std::int64_t seconds = 0;  // halfway between the first and the last cycle
    double perM3 = 0.0;
    int cycles = 0;
};

struct Trend {
    int location = 0;
    int sizeTenths = 0;
    std::vector<TrendPoint> points;  // in time order
    std::vector<TrendMean> means;    // in time order
    std::optional<long long> limit;  // particles per m³
    std::string limitName;           // "ISO 5", "grade B, at rest"
    std::string note;                // why a limit asked for has no line ("ISO 5 has no limit at 5.0 µm")
    std::string error;               // why there is nothing to draw (no record of the location or size)

    // From the site register, at the place of the latest point (a location
    // number may have stood for other places before): empty and none when
    // the register has no place there.
    std::string roomName;              // "Filling room 2" (its id when it has no name)
    std::string locationName;          // "beside the filling needle"
    std::string placeName;             // "Filling room 2 – beside the filling needle"
    std::optional<double> alertPerM3;  // the place's limits at the trend's size
    std::optional<double> actionPerM3;
};

// The name the register gives location number `number` at its latest
// mapping (the one valid last); empty when it has none or the mapping no name.
std::string RegisterLocationName(const site::Register& reg, int number);

// Seconds since 1970-01-01 of a TimeKey's date and time, read as UTC.
std::int64_t TimeKeySeconds(std::int64_t key);

// Reads the records the query names and the site register, and builds their
// trend. false when the archive cannot be read (the reason in `error`); a trend with nothing in it
// is no failure (trend.error says why).
bool BuildTrend(ArchiveStore& archive, const TrendQuery& query, Trend& trend, std::string& error);

}  // namespace oront::archive
