// The site register as the rooms of a classification: a run whose location
// maps to a room on its day is judged with the room's standard, class or
// grade, occupancy state and area, except where the user gave them, and its
// sampling locations carry their names and positions on the room's plan.
#pragma once

#include "classify/Rooms.h"
#include "site/Register.h"

namespace oront::site {

// Which of the user's settings replace the room's.
struct GivenSettings {
    bool standard = false;
    bool target = false;  // the class or grade
    bool state = false;
    bool area = false;
};

// The register must outlive the finder. `user` gives what the user chose
// (and the sizes, count mode and calibration of every room).
classify::RoomFinder RegisterRooms(const Register& reg, const classify::Settings& user, GivenSettings given);

// The instrument of the serial number in the register; nullptr when it has
// none.
const Instrument* InstrumentOf(const Register& reg, std::uint32_t serial);

}  // namespace oront::site
