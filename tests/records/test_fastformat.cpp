#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "records/CFormat.h"
#include "records/FastFormat.h"

using namespace oront;

// The fast paths must give exactly the texts of the general formatting.
TEST(FastFormat, MatchesTheGeneralFormatsExactly) {
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
                               0.49999999999999994,
                               INFINITY,
                               -INFINITY,
                               NAN};
    std::uniform_real_distribution<double> wide(-1e9, 1e9);
    std::uniform_int_distribution<int> halves(-4000, 4000);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(wide(rng));
        values.push_back(halves(rng) / 2.0);
        values.push_back(std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 60)));
    }
    Text t;
    for (double v : values) {
        SetFixed0(t, v);
        ASSERT_EQ(t.str(), FormatFixed0(v)) << v;
        SetLargeValue(t, v);
        ASSERT_EQ(t.str(), FormatLargeValue(v)) << v;
    }
    for (long long v : {0LL, 7LL, 42LL, 9999LL, 10000LL, 123456789LL, -7LL, 8000LL, 99999999999LL}) {
        SetZeroPad(t, v, 4);
        EXPECT_EQ(t.str(), FormatZeroPad(v, 4));
        SetZeroPad(t, v, 3);
        EXPECT_EQ(t.str(), FormatZeroPad(v, 3));
        SetInt(t, v);
        EXPECT_EQ(t.str(), FormatInt(v));
    }
    for (const char* text : {"", "-", "0", "-0", "12", "-12", "99999999", "100000000", "123456789012345",
                             "1234567890123456789", " 12", "12abc", "1.5", "1e9", "----", "abc", "+5", "--1"}) {
        EXPECT_EQ(FastAtof(text), CAtof(text)) << text;
        const Text stored(text);
        SetLargeValueText(t, stored);
        EXPECT_EQ(t.str(), LargeValueText(text)) << text;
    }
}

// Assigning texts of every inline length, also from the text's own
// characters, keeps exactly those characters.
TEST(TextAssign, EveryLengthAndOverlappingSources) {
    const std::string source = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ";
    for (std::size_t n = 0; n <= source.size(); ++n) {
        Text t("previous");
        t = std::string_view(source).substr(0, n);
        ASSERT_EQ(t.str(), source.substr(0, n));
        Text heap(std::string(40, 'h'));
        heap = std::string_view(source).substr(3, std::min<std::size_t>(n, 22));
        ASSERT_EQ(heap.str(), source.substr(3, std::min<std::size_t>(n, 22)));
    }
    for (std::size_t len = 1; len <= 22; ++len)
        for (std::size_t off = 0; off < len; ++off) {
            Text t(std::string_view(source).substr(0, len));
            t = t.view().substr(off);  // overlaps the text's own storage
            ASSERT_EQ(t.str(), source.substr(off, len - off)) << len << " " << off;
        }
    Text big(source);
    big = big.view().substr(5, 10);
    EXPECT_EQ(big.str(), source.substr(5, 10));
    Text copy = big;
    Text assigned;
    assigned = copy;
    EXPECT_EQ(assigned, big);
}
