// The site register as a plain JSON file, the form `site export` writes and
// `site import` reads:
//
//   {"organisation": {"name", "address"},
//    "rooms": [{"id", "name", "area_m2", "standard": "iso-2015"|"iso-1999"|"gmp-2022",
//               "class" (ISO) or "grade" (EU GMP), "state": "as-built"|"at-rest"|"operational",
//               "notes", "adverse_run",
//               "locations": [{"number", "name", "x_m", "y_m", "critical", "from", "to"}],
//               "limits": [{"size_um", "alert_per_m3", "action_per_m3", "location"}]}],
//    "instruments": [{"serial", "model", "calibrated_on", "calibration_due", "certificate",
//                     "flow_l_per_min"}]}
//
// Dates are "YYYY-MM-DD". Keys this program does not know are allowed (and
// not kept). What it writes reads back to the same register, and is written
// again byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "site/Register.h"

namespace oront::site {

// The register as JSON: keys in the order above, two spaces of indentation,
// the same bytes in any locale; optional values that are not given (an open
// validity period, a room-wide limit) are left out.
std::string RegisterJson(const Register& reg);

// Reads a register: false with the first error's JSON path and reason
// ("rooms[0].limits[1].alert_per_m3: a number is expected"), also for a
// register that breaks a rule of ValidationError; `reg` is then unchanged.
bool ParseRegisterJson(std::string_view text, Register& reg, std::string& error);

// The register for reading: the organisation, each room with its locations
// and limits, each instrument; "No site register is kept." when empty.
std::string RegisterText(const Register& reg);

}  // namespace oront::site
