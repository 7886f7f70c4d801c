// The local calendar time of a moment, the same call on every system.
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

}  // namespace oront
