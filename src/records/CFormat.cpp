#include "records/CFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace oront {
namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool StartsWithNoCase(std::string_view s, std::string_view word) {
    if (s.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(s[i]) != word[i]) return false;
    return true;
}

}  // namespace

int CAtoi(std::string_view t) noexcept {
    std::size_t i = 0;
    while (i < t.size() && IsCSpace(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    long long v = 0;
    constexpr long long kCap = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > kCap) v = kCap;
    }
    if (neg) v = -v;
    if (v > std::numeric_limits<int>::max()) v = std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) v = std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

double CAtof(std::string_view t) noexcept {
    std::size_t i = 0;
    while (i < t.size() && IsCSpace(t[i])) ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    std::string_view rest = t.substr(i);
    const double sign = neg ? -1.0 : 1.0;
    if (StartsWithNoCase(rest, "inf")) return sign * std::numeric_limits<double>::infinity();
    if (StartsWithNoCase(rest, "nan")) return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);

    std::chars_format fmt = std::chars_format::general;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
        ((rest.size() > 2 && IsHexDigit(rest[2])) ||
         (rest.size() > 3 && rest[2] == '.' && IsHexDigit(rest[3])))) {
        rest.remove_prefix(2);
        fmt = std::chars_format::hex;
    }
    // from_chars rejects a sign here, which atof would also reject ("+-1").
    if (rest.empty() || rest[0] == '+' || rest[0] == '-') return 0.0;
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), v, fmt);
    if (ec == std::errc::invalid_argument) return 0.0;
    if (ec == std::errc::result_out_of_range) {
        // strtod gives +-HUGE_VAL on overflow and a (near) zero on underflow.
        // Decide by the decimal exponent's sign.
        bool negExp = false;
        for (const char* p = rest.data(); p < ptr; ++p) {
            if (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P') {
                negExp = (p + 1 < ptr && p[1] == '-');
                break;
            }
        }
        if (negExp) return sign * 0.0;
        // A mantissa like 0.000...0001e400 is still an overflow candidate;
        // treat any non-negative exponent out of range as overflow.
        return sign * std::numeric_limits<double>::infinity();
    }
    return sign * v;
}

std::string FormatInt(long long value) {
    std::array<char, 32> b{};
    auto r = std::to_chars(b.data(), b.data() + b.size(), value);
    return std::string(b.data(), r.ptr);
}

std::string FormatMinDigits(long long value, int digits) {
    const bool neg = value < 0;
    unsigned long long mag = neg ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    std::array<char, 32> b{};
    auto r = std::to_chars(b.data(), b.data() + b.size(), mag);
    std::string d(b.data(), r.ptr);
    if (static_cast<int>(d.size()) < digits) d.insert(0, static_cast<std::size_t>(digits) - d.size(), '0');
    return neg ? "-" + d : d;
}

std::string FormatZeroPad(long long value, int width) {
    const int digits = value < 0 ? width - 1 : width;
    return FormatMinDigits(value, digits);
}

std::string FormatSpacePad(long long value, int width) {
    std::string s = FormatInt(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

std::string FormatFixed0(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::array<char, 400> b{};
    auto r = std::to_chars(b.data(), b.data() + b.size(), value, std::chars_format::fixed, 0);
    return std::string(b.data(), r.ptr);
}

std::string FormatExp3(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    std::array<char, 64> b{};
    auto r = std::to_chars(b.data(), b.data() + b.size(), value, std::chars_format::scientific, 3);
    std::string s(b.data(), r.ptr);
    for (char& c : s)
        if (c == 'e') c = 'E';
    return s;  // to_chars already writes at least two exponent digits
}

std::string FormatLargeValue(double value) {
    return value > kLargeValueLimit ? FormatExp3(value) : FormatFixed0(value);
}

std::string LargeValueText(std::string_view stored) {
    const double v = CAtof(stored);
    return v > kLargeValueLimit ? FormatExp3(v) : std::string(stored);
}

}  // namespace oront
