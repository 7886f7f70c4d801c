// Fast paths of the "%.0f", "%04d" and large-value formats for the table
// build, which formats tens of thousands of numbers per download. Each gives
// exactly the text of its CFormat counterpart and falls back to it outside
// the fast range.
#pragma once

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "records/CFormat.h"
#include "records/Text.h"

namespace oront {

// "%.0f" into a text.
inline void SetFixed0(Text& out, double v) {
    // Below 2^52 the nearest integer (ties to even, as printf rounds the
    // exact binary value) is exact and fits a long long.
    if (v > -4503599627370496.0 && v < 4503599627370496.0) {
        const double r = std::nearbyint(v);
        char buf[24];
        char* p = buf;
        if (std::signbit(r)) *p++ = '-';
        const auto mag = static_cast<unsigned long long>(std::fabs(r));
        const auto res = std::to_chars(p, buf + sizeof buf, mag);
        out.assign(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
        return;
    }
    out = FormatFixed0(v);
}

// The large-value rule into a text.
inline void SetLargeValue(Text& out, double v) {
    if (v > kLargeValueLimit)
        out = FormatExp3(v);
    else
        SetFixed0(out, v);
}

// "%0<width>d" into a text.
inline void SetZeroPad(Text& out, long long v, int width) {
    if (v >= 0 && v < 1000000000LL && width >= 0 && width <= 9) {
        char digits[16];
        const auto res = std::to_chars(digits, digits + sizeof digits, v);
        const auto count = static_cast<std::size_t>(res.ptr - digits);
        const std::size_t zeros = static_cast<std::size_t>(width) > count ? static_cast<std::size_t>(width) - count : 0;
        char buf[24];
        std::memset(buf, '0', zeros);
        std::memcpy(buf + zeros, digits, count);
        out.assign(std::string_view(buf, zeros + count));
        return;
    }
    out = FormatZeroPad(v, width);
}

// "%d" into a text.
inline void SetInt(Text& out, long long v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.assign(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

// atof of a text; plain integer texts (the "%.0f" texts of the store) are
// read directly, anything else as CAtof reads it.
inline double FastAtof(std::string_view t) {
    std::size_t i = 0;
    const bool neg = !t.empty() && t[0] == '-';
    if (neg) i = 1;
    const std::size_t digits = t.size() - i;
    if (digits == 0 || digits > 15) return CAtof(t);
    long long v = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c < '0' || c > '9') return CAtof(t);
        v = v * 10 + (c - '0');
    }
    const double d = static_cast<double>(v);
    return neg ? -d : d;
}

// The large-value test of a stored text: its "%4.3E" form when the text reads
// as a number above 99999999, otherwise the stored text.
inline void SetLargeValueText(Text& out, const Text& stored) {
    const double v = FastAtof(stored.view());
    if (v > kLargeValueLimit)
        out = FormatExp3(v);
    else
        out = stored;
}

}  // namespace oront
