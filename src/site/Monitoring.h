// Routine monitoring against the site register: every record of a download
// judged against the alert and action limits of the room location it was
// taken at, runs of records above the alert limit at one location (adverse
// trends), and the calibration of the instruments on the dates of their
// records. Without a register nothing is judged and nothing is said.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "site/Register.h"

namespace oront::site {

// The worst level of a record: the highest of its sizes.
Level WorstLevel(const std::vector<Excursion>& excursions);

// A download's records judged at their places.
struct DownloadJudgement {
    int judged = 0;  // records taken at a room location with limits
    int alert = 0;   // records above an alert limit, and not above an action limit
    int action = 0;  // records above an action limit
    // Per room location with a record above a limit: how many.
    struct AtPlace {
        std::string room;  // "Filling room 2" (its id when it has no name)
        int location = 0;
        std::string locationName;
        int alert = 0;
        int action = 0;
    };
    std::vector<AtPlace> places;
    std::vector<Level> levels;             // the worst level of each frame, in the order given
    std::vector<std::string> calibration;  // warnings on the instruments' calibration
};

// Judges the frames (a download's records, in slot order). An empty register
// judges nothing and warns of nothing.
DownloadJudgement JudgeDownload(const Register& reg, const std::vector<Frame>& frames);

// The frames of a memory image (the count packet, then two packets a record).
std::vector<Frame> FramesOf(const std::vector<std::uint8_t>& image);

// One line for the user: "Monitoring: 2 records above the alert limit and 1
// above the action limit (Filling room 2: location 003 beside the needle 2
// alert, 1 action)"; empty when nothing was judged.
std::string JudgementText(const DownloadJudgement& judgement);

// The runs of at least `minimum` consecutive true values: [first, last]
// index pairs.
std::vector<std::pair<std::size_t, std::size_t>> Runs(const std::vector<bool>& above, int minimum);

}  // namespace oront::site
