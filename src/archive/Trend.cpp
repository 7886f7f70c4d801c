#include "archive/Trend.h"

#include <algorithm>

#include "classify/ClassifyText.h"
#include "classify/Standards.h"
#include "records/TableBuild.h"

namespace oront::archive {
namespace {

constexpr int kIsoMode = 2;

// The channel (0..2) of a record that measures `sizeTenths`, or -1.
int ChannelOf(const Frame& f, int sizeTenths) {
    const int code = f[19];
    if (classify::SizeTenthsOf(Ch1SizeText(code)) == sizeTenths) return 0;
    if (classify::SizeTenthsOf(Ch2SizeText(code)) == sizeTenths) return 1;
    return sizeTenths == 50 ? 2 : -1;
}

std::uint32_t Count(const Frame& f, int channel) {
    const std::uint8_t* b = f.data() + 22 + 4 * channel;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The cycles of one sampling point of an ISO run, averaged as they come.
struct OpenMean {
    bool open = false;
    std::uint32_t serial = 0;
    int point = 0;
    int cyclesPerPoint = 0;
    int lastCycle = 0;
    std::int64_t first = 0;
    std::int64_t last = 0;
    double sum = 0.0;
    int cycles = 0;

    void Close(std::vector<TrendMean>& means) {
        if (open && cycles > 0) means.push_back({first + (last - first) / 2, sum / cycles, cycles});
        open = false;
    }
};

void ApplyLimit(const TrendQuery& query, Trend& trend) {
    using namespace classify;
    const Target& t = query.target;
    if (t.classTenths != 0) {
        trend.limitName = ClassText(t.classTenths);
        if (IsApplicable(Standard::Iso2015, t.classTenths, trend.sizeTenths))
            trend.limit = ClassLimit(t.classTenths, trend.sizeTenths);
        else
            trend.note = trend.limitName + " has no limit at " + SizeText(trend.sizeTenths);
    } else if (t.grade != 0) {
        Settings settings;
        settings.standard = Standard::Gmp2022;
        settings.target = t;
        trend.limitName = TargetText(settings);
        const GmpLimit limit = GmpGradeLimit(t.grade, t.state, trend.sizeTenths);
        if (limit.cell == GmpCell::Limit)
            trend.limit = limit.limit;
        else
            trend.note = trend.limitName + " has no limit at " + SizeText(trend.sizeTenths);
    }
}

// The points judged as they come: each against the limit at the trend's size
// of the place its record was taken at on its own day. The place of a day is
// kept for the next record of the same day.
struct Judging {
    Judging(const site::Register& r, int n) : reg(r), number(n) {}

    const site::Register& reg;
    int number = 0;
    site::Day day = -1;
    site::Place place;
    std::optional<site::Limit> limit;

    site::Level LevelOf(const Frame& f, int sizeTenths) {
        if (const site::Day d = site::FrameDay(f); d != day) {
            day = d;
            place = site::PlaceOf(reg, number, d);
            limit.reset();
            for (const site::Limit& l : site::LimitsAt(place))
                if (l.sizeTenths == sizeTenths) limit = l;
        }
        if (!limit) return site::Level::None;
        const std::vector<site::Excursion> found = site::Judge(f, {*limit});
        return found.empty() ? site::Level::None : found.front().level;
    }
};

// The names and limits of the place of the trend's latest point.
void ApplyPlace(const site::Place& place, const std::optional<site::Limit>& limit, Trend& trend) {
    if (place.room == nullptr) return;
    trend.roomName = place.room->name.empty() ? place.room->id : place.room->name;
    trend.locationName = place.location->name;
    trend.placeName = trend.roomName + (trend.locationName.empty() ? "" : " – " + trend.locationName);
    if (limit) {
        trend.alertPerM3 = limit->alertPerM3;
        trend.actionPerM3 = limit->actionPerM3;
    }
}

}  // namespace

std::string RegisterLocationName(const site::Register& reg, int number) {
    const site::Location* latest = nullptr;
    // Mappings of one number never overlap: the one that ends last is the
    // latest, an open end the latest of all.
    const auto endsAfter = [](const site::Location& a, const site::Location& b) {
        return !a.to || (b.to && *a.to > *b.to);
    };
    for (const site::Room& room : reg.rooms)
        for (const site::Location& loc : room.locations)
            if (loc.number == number && (latest == nullptr || endsAfter(loc, *latest))) latest = &loc;
    return latest != nullptr ? latest->name : std::string();
}

std::int64_t TimeKeySeconds(std::int64_t key) {
    const auto byte = [key](int shift) { return static_cast<int>((key >> shift) & 0xFF); };
    // A frame may hold any byte: months outside 1..12 count as the nearest.
    const int month = std::clamp(byte(32), 1, 12);
    const std::int64_t days = DaysFromCivil(2000 + (key >> 40), month, 1) + byte(24) - 1;
    return days * 86400 + byte(16) * 3600 + byte(8) * 60 + byte(0);
}

bool BuildTrend(ArchiveStore& archive, const TrendQuery& query, Trend& trend, std::string& error) {
    trend = Trend{};
    trend.location = query.location;
    trend.sizeTenths = query.sizeTenths;
    site::Register reg;
    if (!archive.LoadRegister(reg, error)) return false;
    Judging judging(reg, query.location);
    site::Place latestPlace;
    std::optional<site::Limit> latestLimit;
    RecordFilter filter;
    filter.serial = query.serial;
    filter.location = query.location;
    filter.from = query.from;
    filter.to = query.to;
    bool anyRecord = false;
    OpenMean mean;
    const auto handle = [&](const Record& r) {
        const Frame& f = r.frame;
        anyRecord = true;
        if (trend.sizeTenths == 0) trend.sizeTenths = classify::SizeTenthsOf(Ch1SizeText(f[19]));
        const int channel = ChannelOf(f, trend.sizeTenths);
        if (channel < 0) {
            mean.Close(trend.means);
            return true;
        }
        const std::int64_t seconds = TimeKeySeconds(FrameTimeKey(f));
        const double perM3 = classify::PerCubicMetre(Count(f, channel), 60 * f[13] + f[14]);
        trend.points.push_back({seconds, perM3, judging.LevelOf(f, trend.sizeTenths)});
        // The records come in time order: the last point's place is the latest.
        latestPlace = judging.place;
        latestLimit = judging.limit;

        const int point = f[2];
        const int cyclesPerPoint = (f[3] << 8) | f[4];
        const int cycle = (f[5] << 8) | f[6];
        if (f[0] != kIsoMode) {
            mean.Close(trend.means);
            return true;
        }
        if (!mean.open || mean.serial != r.serial || mean.point != point || mean.cyclesPerPoint != cyclesPerPoint ||
            cycle <= mean.lastCycle) {
            mean.Close(trend.means);
            mean = OpenMean{true, r.serial, point, cyclesPerPoint, cycle, seconds, seconds, 0.0, 0};
        }
        mean.lastCycle = cycle;
        mean.last = seconds;
        mean.sum += perM3;
        ++mean.cycles;
        return true;
    };
    if (!archive.ForEachRecord(filter, handle, error)) return false;
    mean.Close(trend.means);
    if (!anyRecord)
        trend.error = "The archive holds no record of location " + std::to_string(query.location) +
                      (query.from || query.to ? " in that time span" : "");
    else if (trend.points.empty())
        trend.error = "No record of location " + std::to_string(query.location) + " measures " +
                      classify::SizeText(trend.sizeTenths);
    ApplyLimit(query, trend);
    ApplyPlace(latestPlace, latestLimit, trend);
    return true;
}

}  // namespace oront::archive
