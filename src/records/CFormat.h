// Locale-independent number formatting and parsing with the C library's
// rules ("%d", "%04d", "%.0f", "%4.3E", atoi, atof).
//
// The process locale may use a decimal comma (Qt and many desktops set it),
// while files and reports must be byte-identical everywhere, so nothing here
// calls printf, strtod or anything else that reads the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace oront {

// atoi: leading white space skipped, optional sign, decimal digits up to the
// first other character; 0 when there are none. Out-of-range values saturate.
int CAtoi(std::string_view text) noexcept;

// atof: leading white space skipped, the longest leading decimal (or hex,
// "inf", "nan") number; 0 when the text does not start with a number.
double CAtof(std::string_view text) noexcept;

// The text of one formatted number, written into the caller's stack (no
// allocation). It reads as a std::string_view.
class NumberText {
public:
    // "%.0f" of the largest double has 309 digits.
    static constexpr std::size_t kCapacity = 320;

    [[nodiscard]] std::string_view view() const noexcept { return {m_buf, m_size}; }
    operator std::string_view() const noexcept { return view(); }  // NOLINT(implicit)
    [[nodiscard]] std::string str() const { return std::string(view()); }
    [[nodiscard]] std::size_t size() const noexcept { return m_size; }
    friend bool operator==(const NumberText& a, const char* b) noexcept { return a.view() == b; }
    friend bool operator==(const NumberText& a, const std::string& b) noexcept { return a.view() == b; }
    friend std::string operator+(std::string_view a, const NumberText& b) {
        std::string s(a);
        return s.append(b.view());
    }
    friend std::string operator+(const NumberText& a, std::string_view b) {
        std::string s(a.view());
        return s.append(b);
    }

    // For the formatting functions: the buffer and the length written.
    char* Buffer() noexcept { return m_buf; }
    void SetSize(std::size_t size) noexcept { m_size = size; }

private:
    char m_buf[kCapacity];
    std::size_t m_size = 0;
};

// "%d"
NumberText FormatInt(long long value);
// "%0<width>d": sign first, then zeros up to the field width.
NumberText FormatZeroPad(long long value, int width);
// "%<width>d": blanks up to the field width.
NumberText FormatSpacePad(long long value, int width);
// "%.<digits>d": at least that many digits (the sign not counted).
NumberText FormatMinDigits(long long value, int digits);
// "%.0f"
NumberText FormatFixed0(double value);
// "%4.3E" with an exponent of at least two digits (1.500E+08), as the
// program's two-digit exponent mode gives on every platform.
NumberText FormatExp3(double value);

// The large-value rule: "%4.3E" above 99999999, otherwise "%.0f".
constexpr double kLargeValueLimit = 99999999.0;
NumberText FormatLargeValue(double value);
// The large-value test of a stored text: the text read with atof; above
// 99999999 its "%4.3E" form (written into `buffer`), otherwise the stored
// text unchanged.
std::string_view ReadLargeValueText(std::string_view stored, NumberText& buffer);  // the test itself
// Whether a text of at most eight characters is decimal digits only (an
// empty one is; a longer one is not): four characters at a time, the two
// words overlapping, as it runs for several cells of every line of a file.
inline bool ShortTextIsDigits(std::string_view text) noexcept {
    const auto digits = [](const char* p) {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        // Each byte 0x30..0x39: high nibble 3, and still 3 after adding 6.
        return ((w & 0xF0F0F0F0u) | (((w + 0x06060606u) & 0xF0F0F0F0u) >> 4)) == 0x33333333u;
    };
    const std::size_t n = text.size();
    if (n >= 4) return n <= 8 && digits(text.data()) && digits(text.data() + n - 4);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return n == 0 || (digit(text[0]) && digit(text[n / 2]) && digit(text[n - 1]));
}

inline std::string_view LargeValueText(std::string_view stored, NumberText& buffer) {
    // Up to eight digits (the stored counts) never pass the limit: only
    // longer texts, or ones with a point or an exponent, are read.
    if (ShortTextIsDigits(stored)) return stored;
    return ReadLargeValueText(stored, buffer);
}

}  // namespace oront
