// The classification of a download room by room: the complete ISO runs
// grouped by the room their location maps to (a register of the site says
// which), each room's runs judged with that room's settings, and the runs of
// locations that map to no room grouped per instrument location. With the
// EU GMP standard a room can be classified at rest and in operation in one
// report, each state with its own runs.
//
// The rooms come from a RoomFinder, so that this layer needs no register:
// without one, every run is of an instrument location.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classify/Classify.h"

namespace oront::classify {

// A sampling location as a room's plan shows it.
struct SamplingPlace {
    std::string name;  // empty: the location is not in the register
    double xM = 0.0;
    double yM = 0.0;
    bool positioned = false;
};

// The room a run was taken in, with the settings its runs are judged with.
struct RoomOfRun {
    std::string id;
    std::string name;
    Settings settings;
};

// For a location number and a day (YYYYMMDD): the room it maps to, and the
// sampling location it is there.
struct RoomFinder {
    std::function<std::optional<RoomOfRun>(int location, int day)> room;
    std::function<SamplingPlace(int location, int day)> place;
};

struct RoomSection {
    std::string roomId;                 // empty: an instrument location that maps to no room
    std::string roomName;               // of the room, or "location 003"
    int locationNumber = 0;             // of a section that is no room: its instrument location
    Classification result;              // its runs, numbered as in the download
    std::vector<SamplingPlace> places;  // one per location of result.locations
};

struct RoomRequest {
    // The settings of runs that map to no room (and of every run without a
    // finder).
    Settings settings;
    // Only this room's runs; empty: every run.
    std::string room;
    // EU GMP: each room at rest and in operation; the runs of each state by
    // their numbers. A run in neither list is not classified.
    bool bothStates = false;
    std::vector<int> atRestRuns;
    std::vector<int> operationalRuns;
    // The state of the runs in neither list (the state the register gives
    // the download); none: those runs are not classified.
    std::optional<Occupancy> unlistedState;
};

struct RoomClassification {
    std::vector<RoomSection> sections;
    Verdict verdict = Verdict::NotJudged;  // of every section together
    std::string error;                     // nothing could be classified: why

    [[nodiscard]] int ExitStatus() const;
    [[nodiscard]] std::size_t RunCount() const;
};

RoomClassification ClassifyRooms(const RecordStore& store, const RoomRequest& request, const RoomFinder& finder = {});

// What the site register gives a window that classifies: the rooms to
// choose from (with the settings the register gives each), the finder of
// the rooms of the runs, the instrument's calibration, and how a
// certificate is numbered and kept. Empty: no register; every run is of an
// instrument location and certificates are not numbered.
struct ClassifySite {
    struct Room {
        std::string id;
        std::string name;
        Settings settings;
    };
    std::vector<Room> rooms;
    // The finder for the user's settings: with `roomSettings` each room's
    // runs are judged with the room's settings, else with the user's.
    std::function<RoomFinder(const Settings& user, bool roomSettings)> finder;
    int calibrationDue = 0;  // of the download's instrument (YYYYMMDD); 0: not registered
};

}  // namespace oront::classify
