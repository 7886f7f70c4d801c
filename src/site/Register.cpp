#include "site/Register.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "classify/Classify.h"
#include "classify/Standards.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront::site {
namespace {

std::string At(const char* list, std::size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
}

bool Finite(double v) {
    return std::isfinite(v);
}

// Whether the validity periods of two mappings share a day.
bool Overlap(const Location& a, const Location& b) {
    const Day aFrom = a.from.value_or(0), aTo = a.to.value_or(99999999);
    const Day bFrom = b.from.value_or(0), bTo = b.to.value_or(99999999);
    return aFrom <= bTo && bFrom <= aTo;
}

std::string RoomError(const Room& room) {
    using namespace classify;
    if (room.id.empty()) return "the room has no id";
    if (!Finite(room.areaM2) || room.areaM2 <= 0.0) return "area_m2 must be above 0";
    const bool gmp = room.standard == Standard::Gmp2022;
    if (gmp && (room.grade < 'A' || room.grade > 'D')) return "a room of gmp-2022 needs a grade A, B, C or D";
    if (!gmp && (room.classTenths < kLowestClass || room.classTenths > kHighestClass))
        return "a room of iso-2015 or iso-1999 needs a class from 1 to 9";
    if (gmp ? room.classTenths != 0 : room.grade != 0) return "a room has a class or a grade, as its standard takes";
    if (gmp && room.state == Occupancy::AsBuilt) return "EU GMP Annex 1 has no as-built state";
    if (room.adverseRun < 2 || room.adverseRun > 100) return "adverse_run must be from 2 to 100";
    return {};
}

}  // namespace

std::optional<Day> ParseDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int digits[8];
    int n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        digits[n++] = text[i] - '0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    if (year < 2000 || year > 2099 || month < 1 || month > 12) return std::nullopt;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day < 1 || day > kDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0)) return std::nullopt;
    return year * 10000 + month * 100 + day;
}

std::string DayText(Day day) {
    return FormatZeroPad(day / 10000, 4).str() + "-" + FormatZeroPad(day / 100 % 100, 2).str() + "-" +
           FormatZeroPad(day % 100, 2).str();
}

Day FrameDay(const Frame& f) {
    return (2000 + f[7]) * 10000 + f[8] * 100 + f[9];
}

std::string ValidationError(const Register& reg) {
    std::set<std::string> ids;
    for (std::size_t r = 0; r < reg.rooms.size(); ++r) {
        const Room& room = reg.rooms[r];
        const std::string where = At("rooms", r);
        if (std::string e = RoomError(room); !e.empty()) return where + ": " + e;
        if (!ids.insert(room.id).second) return where + ": the room id " + room.id + " is given twice";
        for (std::size_t l = 0; l < room.locations.size(); ++l) {
            const Location& loc = room.locations[l];
            const std::string at = where + "." + At("locations", l);
            if (loc.number < 0 || loc.number > 255) return at + ": number must be a location number from 0 to 255";
            if (!Finite(loc.xM) || !Finite(loc.yM)) return at + ": x_m and y_m must be numbers";
            if (loc.from && loc.to && *loc.from > *loc.to) return at + ": from is after to";
            // One location number maps to one room location at a time.
            for (std::size_t r2 = 0; r2 <= r; ++r2) {
                const Room& other = reg.rooms[r2];
                const std::size_t end = r2 == r ? l : other.locations.size();
                for (std::size_t l2 = 0; l2 < end; ++l2) {
                    const Location& o = other.locations[l2];
                    if (o.number == loc.number && Overlap(o, loc))
                        return at + ": location number " + std::to_string(loc.number) + " is already mapped to " +
                               At("rooms", r2) + "." + At("locations", l2) + " (" + other.id + ") in the same period";
                }
            }
        }
        std::set<std::pair<int, int>> sizes;
        for (std::size_t k = 0; k < room.limits.size(); ++k) {
            const Limit& limit = room.limits[k];
            const std::string at = where + "." + At("limits", k);
            if (!classify::IsInstrumentSize(limit.sizeTenths))
                return at + ": size_um must be one of 0.3, 0.5, 1.0, 2.0, 2.5 and 5.0";
            if (!Finite(limit.alertPerM3) || !Finite(limit.actionPerM3) || limit.alertPerM3 < 0.0)
                return at + ": the limits must be numbers of 0 or more";
            if (limit.alertPerM3 > limit.actionPerM3) return at + ": the alert limit is above the action limit";
            if (limit.location && std::none_of(room.locations.begin(), room.locations.end(),
                                               [&](const Location& loc) { return loc.number == *limit.location; }))
                return at + ": location " + std::to_string(*limit.location) + " is no location of the room";
            if (!sizes.insert({limit.sizeTenths, limit.location.value_or(-1)}).second)
                return at + ": this size has a limit already" + (limit.location ? " at this location" : "");
        }
    }
    std::set<std::uint32_t> serials;
    for (std::size_t i = 0; i < reg.instruments.size(); ++i) {
        const Instrument& ins = reg.instruments[i];
        const std::string at = At("instruments", i);
        if (!serials.insert(ins.serial).second)
            return at + ": the serial number " + std::to_string(ins.serial) + " is given twice";
        if (ins.calibrationDue <= ins.calibratedOn) return at + ": calibration_due must be after calibrated_on";
        if (!Finite(ins.flowLPerMin) || ins.flowLPerMin <= 0.0) return at + ": flow_l_per_min must be above 0";
    }
    std::set<std::int64_t> downloads;
    for (std::size_t i = 0; i < reg.downloads.size(); ++i) {
        const DownloadState& d = reg.downloads[i];
        const std::string at = At("downloads", i);
        if (d.download < 1) return at + ": the download must be an archived download's id (1 or more)";
        if (!downloads.insert(d.download).second)
            return at + ": download " + std::to_string(d.download) + " is given twice";
    }
    return {};
}

std::optional<classify::Occupancy> StateOfDownload(const Register& reg, std::int64_t id) {
    for (const DownloadState& d : reg.downloads)
        if (d.download == id) return d.state;
    return std::nullopt;
}

Place PlaceOf(const Register& reg, int number, Day day) {
    for (const Room& room : reg.rooms)
        for (const Location& loc : room.locations)
            if (loc.number == number && (!loc.from || *loc.from <= day) && (!loc.to || day <= *loc.to))
                return {&room, &loc};
    return {};
}

std::vector<Limit> LimitsAt(const Place& place) {
    std::vector<Limit> limits;
    if (place.room == nullptr) return limits;
    for (const Limit& limit : place.room->limits) {
        if (limit.location && *limit.location != place.location->number) continue;
        auto same = std::find_if(limits.begin(), limits.end(),
                                 [&](const Limit& l) { return l.sizeTenths == limit.sizeTenths; });
        if (same == limits.end())
            limits.push_back(limit);
        else if (limit.location)  // the location's own limit replaces the room's
            *same = limit;
    }
    return limits;
}

PlaceFinder::PlaceFinder(const Register& reg) {
    for (const Room& room : reg.rooms) {
        for (const Location& loc : room.locations) {
            if (loc.number < 0 || loc.number > 255) continue;
            const Place place{&room, &loc};
            m_places[static_cast<std::size_t>(loc.number)].push_back(place);
            m_limits.emplace_back(&loc, LimitsAt(place));
        }
    }
}

Place PlaceFinder::At(int number, Day day) const {
    if (number < 0 || number > 255) return {};
    for (const Place& p : m_places[static_cast<std::size_t>(number)])
        if ((!p.location->from || *p.location->from <= day) && (!p.location->to || day <= *p.location->to)) return p;
    return {};
}

const std::vector<Limit>& PlaceFinder::LimitsOf(const Place& place) const {
    for (const auto& [location, limits] : m_limits)
        if (location == place.location) return limits;
    return m_none;
}

const char* LevelText(Level level) {
    switch (level) {
        case Level::Alert:
            return "alert";
        case Level::Action:
            return "action";
        case Level::None:
            break;
    }
    return "";
}

std::optional<double> PerM3AtSize(const Frame& f, int sizeTenths) {
    const int code = f[19];
    int channel = -1;
    if (classify::SizeTenthsOf(Ch1SizeText(code)) == sizeTenths)
        channel = 0;
    else if (classify::SizeTenthsOf(Ch2SizeText(code)) == sizeTenths)
        channel = 1;
    else if (sizeTenths == 50)
        channel = 2;
    if (channel < 0) return std::nullopt;
    const std::uint8_t* b = f.data() + 22 + 4 * channel;
    const std::uint32_t count =
        (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    return classify::PerCubicMetre(count, 60 * f[13] + f[14]);
}

std::vector<Excursion> Judge(const Frame& frame, const std::vector<Limit>& limits) {
    std::vector<Excursion> found;
    for (const Limit& limit : limits) {
        const std::optional<double> perM3 = PerM3AtSize(frame, limit.sizeTenths);
        if (!perM3) continue;
        if (*perM3 > limit.actionPerM3)
            found.push_back({limit.sizeTenths, *perM3, limit.actionPerM3, Level::Action});
        else if (*perM3 > limit.alertPerM3)
            found.push_back({limit.sizeTenths, *perM3, limit.alertPerM3, Level::Alert});
    }
    return found;
}

Calibration CalibrationOn(const Register& reg, std::uint32_t serial, Day day, const Instrument** instrument) {
    for (const Instrument& ins : reg.instruments) {
        if (ins.serial != serial) continue;
        if (instrument != nullptr) *instrument = &ins;
        return day > ins.calibrationDue ? Calibration::PastDue : Calibration::Valid;
    }
    if (instrument != nullptr) *instrument = nullptr;
    return Calibration::NotRegistered;
}

}  // namespace oront::site
