#include "classify/Rooms.h"

#include <algorithm>

#include "classify/ClassifyText.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront::classify {
namespace {

struct Group {
    std::string key;
    std::string id;
    std::string name;
    int location = 0;
    Settings settings;
    std::vector<RunSamples> runs;
};

bool Listed(const std::vector<int>& runs, int run) {
    return std::find(runs.begin(), runs.end(), run) != runs.end();
}

}  // namespace

int RoomClassification::ExitStatus() const {
    if (!error.empty()) return 1;
    return verdict == Verdict::Fail || verdict == Verdict::NotValid || verdict == Verdict::NotClassified ? 3 : 0;
}

std::size_t RoomClassification::RunCount() const {
    std::size_t runs = 0;
    for (const RoomSection& s : sections) runs += s.result.runs.size();
    return runs;
}

RoomClassification ClassifyRooms(const RecordStore& store, const RoomRequest& request, const RoomFinder& finder) {
    RoomClassification out;
    std::vector<Group> groups;
    ReadRuns(store, [&](const RunSamples& run) {
        const int location = run.samples.empty() ? CAtoi(run.location.view()) : run.samples.front().location;
        const int day = run.samples.empty() ? 0 : run.samples.front().day;
        const std::optional<RoomOfRun> room = finder.room ? finder.room(location, day) : std::nullopt;
        if (!request.room.empty() && (!room || room->id != request.room)) return;
        const std::string key = room ? "room " + room->id : "location " + FormatZeroPad(location, 3).str();
        auto group = std::find_if(groups.begin(), groups.end(), [&key](const Group& g) { return g.key == key; });
        if (group == groups.end()) {
            Group& g = groups.emplace_back();
            g.key = key;
            g.location = location;
            if (room) {
                g.id = room->id;
                g.name = room->name.empty() ? room->id : room->name;
                g.settings = room->settings;
            } else {
                g.name = key;
                g.settings = request.settings;
            }
            group = groups.end() - 1;
        }
        group->runs.push_back(run);
    });
    if (groups.empty()) {
        out.error = request.room.empty() ? "no complete ISO run to classify"
                                         : "no complete ISO run was taken in room " + request.room;
        return out;
    }

    for (const Group& g : groups) {
        std::vector<Settings> states{g.settings};
        if (request.bothStates) {
            states.assign(2, g.settings);
            states[0].target.state = Occupancy::AtRest;
            states[1].target.state = Occupancy::Operational;
            for (Settings& s : states) s.target.stateDeclared = true;
        }
        for (const Settings& settings : states) {
            if (request.bothStates && settings.standard != Standard::Gmp2022) {
                out.error = g.name + ": a classification at rest and in operation in one report is for EU GMP Annex 1";
                out.sections.clear();
                return out;
            }
            if (const std::string error = SettingsError(settings); !error.empty()) {
                out.error = g.name + ": " + error;
                out.sections.clear();
                return out;
            }
            RoomSection& section = out.sections.emplace_back();
            section.roomId = g.id;
            section.roomName = g.name;
            section.locationNumber = g.location;
            std::vector<RunSamples> runs;
            for (const RunSamples& run : g.runs) {
                const Occupancy state = settings.target.state;
                const bool listed =
                    Listed(request.atRestRuns, run.number) || Listed(request.operationalRuns, run.number);
                const bool chosen = state == Occupancy::Operational ? Listed(request.operationalRuns, run.number)
                                                                    : Listed(request.atRestRuns, run.number);
                if (!request.bothStates || chosen || (!listed && request.unlistedState == state)) runs.push_back(run);
            }
            section.result = ClassifyRuns(runs, settings);
            if (runs.empty()) {
                // A state without runs is not classified; it is no error.
                section.result.error = std::string("no run ") + StateWords(settings.target.state) + " was chosen";
                section.result.verdict = Verdict::NotClassified;
            }
            for (const RunSamples& run : runs)
                for (const int start : run.pointStarts) {
                    const Sample* first = start < static_cast<int>(run.samples.size())
                                              ? &run.samples[static_cast<std::size_t>(start)]
                                              : nullptr;
                    section.places.push_back(
                        finder.place && first != nullptr ? finder.place(first->location, first->day) : SamplingPlace{});
                }
            out.verdict = CombinedVerdict(out.verdict, section.result.verdict);
        }
    }
    return out;
}

}  // namespace oront::classify
