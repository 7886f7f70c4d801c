#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "records/CFormat.h"
#include "records/Text.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

using namespace oront;
using oront::test::DecimalCommaLocale;

TEST(Text, InlineAndHeapStorageKeepTheirContent) {
    Text a("2015-03-07 08:30:15");
    EXPECT_EQ(a, "2015-03-07 08:30:15");
    Text b(std::string(40, 'x'));
    EXPECT_EQ(b.size(), 40u);
    Text c = b;
    b = "short";
    EXPECT_EQ(c, std::string(40, 'x'));
    EXPECT_EQ(b, "short");
    c = c.view().substr(1);  // assigning from its own buffer
    EXPECT_EQ(c, std::string(39, 'x'));
    Text d = std::move(c);
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(d.size(), 39u);
}

TEST(CFormat, ParsesLikeTheCLibrary) {
    EXPECT_EQ(CAtoi("  0042abc"), 42);
    EXPECT_EQ(CAtoi(" -7"), -7);
    EXPECT_EQ(CAtoi("abc"), 0);
    EXPECT_EQ(CAtoi(""), 0);
    EXPECT_EQ(CAtoi("99999999999"), 2147483647);
    EXPECT_DOUBLE_EQ(CAtof("1.5e8"), 1.5e8);
    EXPECT_DOUBLE_EQ(CAtof("  12.5xyz"), 12.5);
    EXPECT_DOUBLE_EQ(CAtof("----"), 0.0);
    EXPECT_DOUBLE_EQ(CAtof("+3"), 3.0);
    EXPECT_DOUBLE_EQ(CAtof(".5"), 0.5);
    EXPECT_DOUBLE_EQ(CAtof("1,5"), 1.0);  // never a decimal comma
    EXPECT_TRUE(std::isinf(CAtof("1e999")));
}

TEST(CFormat, FormatsLikeTheCLibraryWithTwoDigitExponents) {
    EXPECT_EQ(FormatZeroPad(7, 4), "0007");
    EXPECT_EQ(FormatZeroPad(-7, 4), "-007");
    EXPECT_EQ(FormatMinDigits(42, 7), "0000042");
    EXPECT_EQ(FormatSpacePad(42, 7), "     42");
    EXPECT_EQ(FormatFixed0(2.5), "2");  // round half to even, as printf
    EXPECT_EQ(FormatFixed0(3.5), "4");
    EXPECT_EQ(FormatFixed0(-0.2), "-0");
    EXPECT_EQ(FormatExp3(1.5e8), "1.500E+08");
    EXPECT_EQ(FormatExp3(1.2345e123), "1.234E+123");
    EXPECT_EQ(FormatLargeValue(99999999.0), "99999999");
    EXPECT_EQ(FormatLargeValue(123456789.0), "1.235E+08");
    NumberText buffer;
    EXPECT_EQ(LargeValueText("150000000", buffer), "1.500E+08");
    EXPECT_EQ(LargeValueText("99999999", buffer), "99999999");
    EXPECT_EQ(LargeValueText("----", buffer), "----");
}

TEST(CFormat, IgnoresADecimalCommaLocale) {
    const DecimalCommaLocale locale;
    if (!locale.active()) ORONT_SKIP_OR_FAIL("no locale with a decimal comma installed");
    EXPECT_EQ(FormatExp3(1.5e8), "1.500E+08");
    EXPECT_DOUBLE_EQ(CAtof("12.5"), 12.5);
    EXPECT_EQ(FormatFixed0(2.5), "2");
}

// The integer shortcuts inside "%.0f", the zero padding and atof give exactly
// the texts and values of the general conversions.
TEST(CFormat, ShortcutsMatchTheGeneralConversions) {
    std::mt19937_64 rng(42);
    std::vector<double> values{0.0,
                               -0.0,
                               0.5,
                               1.5,
                               2.5,
                               -0.2,
                               -0.5,
                               -2.5,
                               99999999.0,
                               1e8,
                               1e15,
                               4503599627370495.5,
                               4503599627370496.0,
                               1e300,
                               -1e300,
                               1e-300,
                               123456789.5,
                               0.49999999999999994};
    std::uniform_real_distribution<double> wide(-1e9, 1e9);
    std::uniform_int_distribution<int> halves(-4000, 4000);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(wide(rng));
        values.push_back(halves(rng) / 2.0);
        values.push_back(std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 60)));
    }
    char reference[400];
    for (double v : values) {
        const auto r = std::to_chars(reference, reference + sizeof reference, v, std::chars_format::fixed, 0);
        ASSERT_EQ(FormatFixed0(v).view(), std::string_view(reference, static_cast<std::size_t>(r.ptr - reference)))
            << v;
    }
    for (long long v : {0LL, 7LL, 42LL, 9999LL, 10000LL, 123456789LL, -7LL, 8000LL, 99999999999LL}) {
        std::snprintf(reference, sizeof reference, "%04lld", v);
        EXPECT_EQ(FormatZeroPad(v, 4), std::string(reference));
        std::snprintf(reference, sizeof reference, "%7lld", v);
        EXPECT_EQ(FormatSpacePad(v, 7), std::string(reference));
    }
    for (const char* text : {"0", "-0", "12", "-12", "99999999", "100000000", "123456789012345", "1234567890123456789",
                             "12abc", "1.5", "-"}) {
        double expected = 0.0;
        const char* begin = text[0] == '-' ? text + 1 : text;
        std::from_chars(begin, begin + std::char_traits<char>::length(begin), expected);
        if (text[0] == '-') expected = -expected;
        EXPECT_EQ(CAtof(text), expected) << text;
    }
}

// Assigning texts of every inline length, also from the text's own
// characters, keeps exactly those characters.
TEST(Text, EveryLengthAndOverlappingSources) {
    const std::string source = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ";
    for (std::size_t n = 0; n <= source.size(); ++n) {
        Text t("previous");
        t = std::string_view(source).substr(0, n);
        ASSERT_EQ(t.str(), source.substr(0, n));
        const std::string shorter = source.substr(3, std::min<std::size_t>(n, 22));
        Text heap(std::string(40, 'h'));
        heap = shorter;
        ASSERT_EQ(heap.str(), shorter);
    }
    for (std::size_t len = 1; len <= 22; ++len)
        for (std::size_t off = 0; off < len; ++off) {
            Text t(std::string_view(source).substr(0, len));
            t = t.view().substr(off);  // overlaps the text's own storage
            ASSERT_EQ(t.str(), source.substr(off, len - off)) << len << " " << off;
        }
}
