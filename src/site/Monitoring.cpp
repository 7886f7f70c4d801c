#include "site/Monitoring.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "records/CFormat.h"

namespace oront::site {
namespace {

std::uint32_t SerialOf(const Frame& f) {
    const std::uint8_t* b = f.data() + 64 + 6;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

}  // namespace

Level WorstLevel(const std::vector<Excursion>& excursions) {
    Level worst = Level::None;
    for (const Excursion& e : excursions) worst = std::max(worst, e.level);
    return worst;
}

std::vector<Frame> FramesOf(const std::vector<std::uint8_t>& image) {
    std::vector<Frame> frames;
    for (std::size_t at = 64; at + 128 <= image.size(); at += 128) {
        Frame& f = frames.emplace_back();
        std::memcpy(f.data(), image.data() + at, f.size());
    }
    return frames;
}

DownloadJudgement JudgeDownload(const Register& reg, const std::vector<Frame>& frames) {
    DownloadJudgement j;
    j.levels.assign(frames.size(), Level::None);
    if (reg.Empty()) return j;
    // The latest day of each instrument's records, for its calibration.
    std::map<std::uint32_t, Day> lastDay;
    std::map<std::pair<const Room*, const Location*>, std::size_t> placeIndex;
    const PlaceFinder finder(reg);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const Frame& f = frames[k];
        const Day day = FrameDay(f);
        Day& last = lastDay[SerialOf(f)];
        last = std::max(last, day);
        const Place place = finder.At(f[1], day);
        const std::vector<Limit>& limits = finder.LimitsOf(place);
        if (limits.empty()) continue;
        ++j.judged;
        const Level level = WorstLevel(Judge(f, limits));
        j.levels[k] = level;
        if (level == Level::None) continue;
        (level == Level::Action ? j.action : j.alert)++;
        const auto key = std::make_pair(place.room, place.location);
        auto [it, added] = placeIndex.emplace(key, j.places.size());
        if (added) {
            j.places.push_back({place.room->name.empty() ? place.room->id : place.room->name, place.location->number,
                                place.location->name, 0, 0});
        }
        DownloadJudgement::AtPlace& at = j.places[it->second];
        (level == Level::Action ? at.action : at.alert)++;
    }
    for (const auto& [serial, day] : lastDay) {
        const Instrument* ins = nullptr;
        const Calibration c = CalibrationOn(reg, serial, day, &ins);
        if (c == Calibration::NotRegistered)
            j.calibration.push_back("the instrument " + std::to_string(serial) + " is not registered");
        else if (c == Calibration::PastDue)
            j.calibration.push_back("the instrument " + std::to_string(serial) + " was past its calibration due date " +
                                    DayText(ins->calibrationDue) + " on " + DayText(day));
    }
    return j;
}

std::string JudgementText(const DownloadJudgement& j) {
    if (j.judged == 0) return {};
    const auto records = [](int n) { return std::to_string(n) + (n == 1 ? " record" : " records"); };
    std::string text = "Monitoring: ";
    if (j.alert == 0 && j.action == 0)
        return text + "no record above an alert or action limit (" + records(j.judged) + " judged)";
    text += records(j.alert) + " above the alert limit and " + std::to_string(j.action) + " above the action limit (";
    std::string lastRoom;
    for (std::size_t i = 0; i < j.places.size(); ++i) {
        const DownloadJudgement::AtPlace& p = j.places[i];
        if (p.room != lastRoom) {
            text += (i == 0 ? "" : "; ") + p.room + ":";
            lastRoom = p.room;
        } else {
            text += ",";
        }
        text += " location " + FormatZeroPad(p.location, 3).str();
        if (!p.locationName.empty()) text += " " + p.locationName;
        if (p.alert > 0) text += " " + std::to_string(p.alert) + " alert";
        if (p.action > 0) text += std::string(p.alert > 0 ? "," : "") + " " + std::to_string(p.action) + " action";
    }
    return text + ")";
}

std::vector<std::pair<std::size_t, std::size_t>> Runs(const std::vector<bool>& above, int minimum) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= above.size(); ++i) {
        if (i < above.size() && above[i]) continue;
        if (i - start >= static_cast<std::size_t>(std::max(minimum, 1))) runs.emplace_back(start, i - 1);
        start = i + 1;
    }
    return runs;
}

}  // namespace oront::site
