#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "records/CFormat.h"
#include "records/Text.h"

using namespace oront;

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
    EXPECT_EQ(LargeValueText("150000000"), "1.500E+08");
    EXPECT_EQ(LargeValueText("99999999"), "99999999");
    EXPECT_EQ(LargeValueText("----"), "----");
}

TEST(CFormat, IgnoresADecimalCommaLocale) {
    const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (!set) set = std::setlocale(LC_NUMERIC, "de_DE");
    EXPECT_EQ(FormatExp3(1.5e8), "1.500E+08");
    EXPECT_DOUBLE_EQ(CAtof("12.5"), 12.5);
    std::setlocale(LC_ALL, "C");
}
