#include "records/CFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace oront {
namespace {

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool StartsWithNoCase(std::string_view s, std::string_view word) {
    if (s.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(s[i]) != word[i]) return false;
    return true;
}

}  // namespace

int CAtoi(std::string_view t) noexcept {
    // The store's numbers (up to nine digits, nothing else) directly.
    if (!t.empty() && t.size() <= 9) {
        int v = 0;
        std::size_t k = 0;
        for (; k < t.size() && IsDigit(t[k]); ++k) v = v * 10 + (t[k] - '0');
        if (k == t.size()) return v;
    }
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
    // The "%.0f" texts of the store (an optional minus and up to 15 digits)
    // are read directly: their value is exact in a double.
    if (const std::size_t digits = t.size() - (!t.empty() && t[0] == '-'); digits > 0 && digits <= 15) {
        long long v = 0;
        std::size_t k = t.size() - digits;
        while (k < t.size() && IsDigit(t[k])) v = v * 10 + (t[k++] - '0');
        if (k == t.size()) return t[0] == '-' ? -static_cast<double>(v) : static_cast<double>(v);
    }
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
        ((rest.size() > 2 && IsHexDigit(rest[2])) || (rest.size() > 3 && rest[2] == '.' && IsHexDigit(rest[3])))) {
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

namespace {

void Write(NumberText& out, std::string_view text) {
    text.copy(out.Buffer(), text.size());
    out.SetSize(text.size());
}

// Appends the decimal digits of a magnitude; returns the end.
char* PutDigits(char* out, unsigned long long magnitude) {
    return std::to_chars(out, out + 24, magnitude).ptr;
}

}  // namespace

NumberText FormatInt(long long value) {
    NumberText out;
    out.SetSize(static_cast<std::size_t>(std::to_chars(out.Buffer(), out.Buffer() + 24, value).ptr - out.Buffer()));
    return out;
}

NumberText FormatMinDigits(long long value, int digits) {
    const bool neg = value < 0;
    const unsigned long long mag =
        neg ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char digitsText[24];
    const auto count = static_cast<std::size_t>(PutDigits(digitsText, mag) - digitsText);
    const std::size_t width = static_cast<std::size_t>(std::clamp(digits, 0, 256));
    const std::size_t zeros = width > count ? width - count : 0;
    NumberText out;
    char* p = out.Buffer();
    if (neg) *p++ = '-';
    p = std::fill_n(p, zeros, '0');
    p = std::copy_n(digitsText, count, p);
    out.SetSize(static_cast<std::size_t>(p - out.Buffer()));
    return out;
}

NumberText FormatZeroPad(long long value, int width) {
    return FormatMinDigits(value, value < 0 ? width - 1 : width);
}

NumberText FormatSpacePad(long long value, int width) {
    const NumberText digits = FormatInt(value);
    const std::size_t blanks = static_cast<std::size_t>(std::clamp(width, 0, 256)) > digits.size()
                                   ? static_cast<std::size_t>(width) - digits.size()
                                   : 0;
    NumberText out;
    char* p = std::fill_n(out.Buffer(), blanks, ' ');
    p = std::copy_n(digits.view().data(), digits.size(), p);
    out.SetSize(static_cast<std::size_t>(p - out.Buffer()));
    return out;
}

NumberText FormatFixed0(double value) {
    // One named result in every path, so that it is built in the caller's
    // place and never copied.
    NumberText out;
    if (std::isnan(value)) {
        Write(out, std::signbit(value) ? "-nan" : "nan");
    } else if (std::isinf(value)) {
        Write(out, value < 0 ? "-inf" : "inf");
    } else if (value > -4503599627370496.0 && value < 4503599627370496.0) {
        // Below 2^52 the nearest integer (ties to even, as printf rounds the
        // exact binary value) is exact: the integer's digits are the text,
        // and the counts of a download take this way.
        const double r = std::nearbyint(value);
        char* p = out.Buffer();
        if (std::signbit(r)) *p++ = '-';
        p = PutDigits(p, static_cast<unsigned long long>(std::fabs(r)));
        out.SetSize(static_cast<std::size_t>(p - out.Buffer()));
    } else {
        const auto r =
            std::to_chars(out.Buffer(), out.Buffer() + NumberText::kCapacity, value, std::chars_format::fixed, 0);
        out.SetSize(static_cast<std::size_t>(r.ptr - out.Buffer()));
    }
    return out;
}

NumberText FormatExp3(double value) {
    NumberText out;
    if (std::isnan(value)) {
        Write(out, std::signbit(value) ? "-NAN" : "NAN");
    } else if (std::isinf(value)) {
        Write(out, value < 0 ? "-INF" : "INF");
    } else {
        const auto r =
            std::to_chars(out.Buffer(), out.Buffer() + NumberText::kCapacity, value, std::chars_format::scientific, 3);
        // to_chars already writes at least two exponent digits.
        std::replace(out.Buffer(), r.ptr, 'e', 'E');
        out.SetSize(static_cast<std::size_t>(r.ptr - out.Buffer()));
    }
    return out;
}

NumberText FormatLargeValue(double value) {
    if (value > kLargeValueLimit) return FormatExp3(value);
    return FormatFixed0(value);
}

std::string_view ReadLargeValueText(std::string_view stored, NumberText& buffer) {
    const double v = CAtof(stored);
    if (!(v > kLargeValueLimit)) return stored;
    buffer = FormatExp3(v);
    return buffer.view();
}

}  // namespace oront
