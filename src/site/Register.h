// The site register: the organisation, its rooms with their sampling
// locations and alert and action limits, and its instruments with their
// calibration. It turns an instrument's location number into the room
// location it stood for on a given day, and judges a record against that
// room's limits.
//
// A location number maps to at most one room location at a time: a mapping
// has an optional validity period (from, to: both days included), so that
// the records of a counter that was moved keep the room they were taken in.
// A limit belongs to a room and a particle size, and optionally to one
// location of the room, whose own limit then replaces the room's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classify/Standards.h"
#include "records/RecordFrame.h"

namespace oront::site {

// A calendar day as YYYYMMDD (20150302), so that days compare as numbers.
using Day = int;
// "YYYY-MM-DD" of a day the calendar has (years 2000 to 2099); nullopt else.
std::optional<Day> ParseDay(std::string_view text);
std::string DayText(Day day);
// The day of a record frame's date.
Day FrameDay(const Frame& frame);

struct Organisation {
    std::string name;
    std::string address;
};

struct Location {
    int number = 0;  // the instrument's location number, 0..255
    std::string name;
    double xM = 0.0;  // the position on the room's plan, in metres
    double yM = 0.0;
    bool critical = false;
    std::optional<Day> from;  // the mapping's validity; none: open
    std::optional<Day> to;
};

struct Limit {
    int sizeTenths = 0;  // 5 for 0.5 µm
    double alertPerM3 = 0.0;
    double actionPerM3 = 0.0;
    std::optional<int> location;  // a location number of the room; none: the whole room
};

struct Room {
    std::string id;
    std::string name;
    double areaM2 = 0.0;
    classify::Standard standard = classify::Standard::Iso2015;
    int classTenths = 0;  // ISO
    char grade = 0;       // EU GMP
    classify::Occupancy state = classify::Occupancy::Operational;
    std::string notes;
    // Consecutive records above the alert limit at one location that make an
    // adverse trend.
    int adverseRun = 3;
    std::vector<Location> locations;
    std::vector<Limit> limits;
};

struct Instrument {
    std::uint32_t serial = 0;
    std::string model;
    Day calibratedOn = 0;
    Day calibrationDue = 0;
    std::string certificate;
    double flowLPerMin = 2.83;
};

// The occupancy state an archived download was measured in, as the user
// declared it: a classification in both states takes each download's runs
// for its state.
struct DownloadState {
    std::int64_t download = 0;  // the archive's download id
    classify::Occupancy state = classify::Occupancy::Operational;
};

struct Register {
    Organisation organisation;
    std::vector<Room> rooms;
    std::vector<Instrument> instruments;
    std::vector<DownloadState> downloads;

    [[nodiscard]] bool Empty() const {
        return organisation.name.empty() && organisation.address.empty() && rooms.empty() && instruments.empty() &&
               downloads.empty();
    }
};

// The state the register gives download `id`; nullopt when it gives none.
std::optional<classify::Occupancy> StateOfDownload(const Register& reg, std::int64_t id);

// The first rule the register breaks, as "rooms[1].limits[0]: the alert limit
// is above the action limit"; empty when it breaks none.
std::string ValidationError(const Register& reg);

// Where a record of location number `number` on `day` was taken: its room
// and location, or nullptrs when no mapping covers it.
struct Place {
    const Room* room = nullptr;
    const Location* location = nullptr;
};
Place PlaceOf(const Register& reg, int number, Day day);

// The limits that apply at a place: per size, the location's own limit, else
// the room's.
std::vector<Limit> LimitsAt(const Place& place);

// PlaceOf and LimitsAt for many records of one register: the mappings of
// each location number and the limits of each place are looked up once.
class PlaceFinder {
public:
    explicit PlaceFinder(const Register& reg);
    [[nodiscard]] Place At(int number, Day day) const;
    [[nodiscard]] const std::vector<Limit>& LimitsOf(const Place& place) const;

private:
    std::array<std::vector<Place>, 256> m_places;  // by location number
    std::vector<std::pair<const Location*, std::vector<Limit>>> m_limits;
    std::vector<Limit> m_none;
};

enum class Level { None = 0, Alert = 1, Action = 2 };
const char* LevelText(Level level);  // "alert", "action"

// One size of a record above its alert limit.
struct Excursion {
    int sizeTenths = 0;
    double perM3 = 0.0;
    double limitPerM3 = 0.0;  // the limit it exceeds (the action limit for Level::Action)
    Level level = Level::None;
};

// The concentration per m³ the record measured at a size (nullopt when it
// does not measure that size).
std::optional<double> PerM3AtSize(const Frame& frame, int sizeTenths);

// The record against the limits at its place: the sizes above their alert
// limit (a concentration above a limit, not at it).
std::vector<Excursion> Judge(const Frame& frame, const std::vector<Limit>& limits);

// Whether the instrument was within its calibration on `day` (the due day
// itself still is).
enum class Calibration { Valid, PastDue, NotRegistered };
Calibration CalibrationOn(const Register& reg, std::uint32_t serial, Day day, const Instrument** instrument = nullptr);

}  // namespace oront::site
