// The local and the UTC calendar time of a moment, the same calls on every
// system.
#pragma once

#include <ctime>

namespace oront {

inline std::tm LocalTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

// The UTC calendar time of a moment.
inline std::tm UtcTime(std::time_t t) {
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    return utc;
}

}  // namespace oront
