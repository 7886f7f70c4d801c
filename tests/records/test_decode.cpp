#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <locale>

#include "records/CFormat.h"
#include "records/CommFunction.h"
#include "records/RecordFrame.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

using namespace oront;
using namespace oront::test;
using R = MeasurementRecord;

namespace {

float Decode(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    const std::uint8_t b[4] = {b0, b1, b2, b3};
    return CCommFuntion::DecodeDeviceFloat(b);
}

MeasurementRecord DecodeOne(const RawRecord& r) {
    return DecodeRecords({r})[0];
}

}  // namespace

TEST(DeviceFloat, DecodesIeeeSingleLayoutIncludingExtremeExponents) {
    EXPECT_EQ(Decode(0, 0, 0, 0), 0.0f);
    EXPECT_EQ(Decode(0x3F, 0x80, 0, 0), 1.0f);
    EXPECT_EQ(Decode(0xC1, 0x20, 0, 0), -10.0f);
    EXPECT_EQ(Decode(0x42, 0xF6, 0xE6, 0x66), 123.45f);
    // Exponent field 0: tiny values, never a crash; the sign bit alone is a
    // negative tiny value rather than zero.
    const float tiny = Decode(0x00, 0x40, 0, 0);
    EXPECT_GT(tiny, 0.0f);
    EXPECT_LT(tiny, 1e-37f);
    EXPECT_LT(Decode(0x80, 0, 0, 0), 0.0f);
    // Exponent field 255: overflow to infinity.
    EXPECT_TRUE(std::isinf(Decode(0x7F, 0x80, 0, 0)));
    EXPECT_TRUE(std::isinf(Decode(0xFF, 0xFF, 0xFF, 0xFF)));
    EXPECT_LT(Decode(0xFF, 0xFF, 0xFF, 0xFF), 0.0f);
}

TEST(ConvertUnit, ScalesBySampleTimeAndUnit) {
    for (const char* unit : {"CNT", "/cf", "/m3", "/L", ""}) EXPECT_EQ(CCommFuntion::ConvertUnit(0, unit, 55.0), 0.0);
    EXPECT_EQ(CCommFuntion::ConvertUnit(60, "CNT", 55.0), 55.0);
    EXPECT_EQ(CCommFuntion::ConvertUnit(60, "/cf", 1000.0), 10000.0);
    EXPECT_DOUBLE_EQ(CCommFuntion::ConvertUnit(60, "/m3", 60.0), 21188.8349);
    EXPECT_DOUBLE_EQ(CCommFuntion::ConvertUnit(60, "/L", 60.0), 21.1888349);
    EXPECT_EQ(CCommFuntion::ConvertUnit(60, "/CF", 1000.0), 1000.0);  // exact, case-sensitive
}

// The number check of the range dialog's fields.
TEST(CheckNumberText, ValidTexts) {
    for (const char* text : {"12", "007", "-3", "1.5", ".5", "5.", "  42  ", " 42 ", "\t0\t", "-0"})
        EXPECT_EQ(CCommFuntion::CheckNumberText(text), CCommFuntion::kTextValid) << '"' << text << '"';
}

TEST(CheckNumberText, EmptyTexts) {
    for (const char* text : {"", " ", "   ", "\t", "   \t "}) {
        EXPECT_EQ(CCommFuntion::CheckNumberText(text), CCommFuntion::kTextEmpty) << '"' << text << '"';
        EXPECT_EQ(CCommFuntion::CheckNumberText(text), 5) << '"' << text << '"';
    }
}

TEST(CheckNumberText, MalformedTexts) {
    for (const char* text : {"-", ".", "1-", "--1", "1.2.3", "-.5", "12a", "4 2", "+1", " - "}) {
        EXPECT_EQ(CCommFuntion::CheckNumberText(text), CCommFuntion::kTextMalformed) << '"' << text << '"';
        EXPECT_EQ(CCommFuntion::CheckNumberText(text), 6) << '"' << text << '"';
    }
}

TEST(FrameDecoder, DecodesEveryFieldOfTheFrame) {
    RawRecord r = PlainRecord(0, 1000, 2000, 3000);
    r.location = 7;
    r.point = 4;
    r.cyclesPerPoint = 300;
    r.cycle = 258;
    r.unit = 1;  // /cf
    r.sizeCode = 11;
    r.overRange = 1;
    r.runEnd = 1;
    r.counts = {1000, 2000, 3000, 4, 5, 6};
    r.values = {1.0f, -10.0f, 0.0f, 2.5f, 12345.0f, 3.0f};
    r.serialNumber = 1234;
    std::int32_t serial = 0;
    const MeasurementRecord m = DecodeRecords({r}, &serial)[0];
    EXPECT_EQ(m.m_strModeCode, "0");
    EXPECT_EQ(m.m_strLocation, "007");
    EXPECT_EQ(m.m_strPoint, "4");
    EXPECT_EQ(m.m_strCyclesPerPoint, "300");
    EXPECT_EQ(m.m_strCycle, "258");
    EXPECT_EQ(m.m_strDateTime, "2015-03-07 08:30:15");
    EXPECT_EQ(m.m_strSampleTime, "00:01:00");
    EXPECT_EQ(m.m_strHoldTime, "00:00:00");
    EXPECT_EQ(m.m_strUnit, "/cf");
    EXPECT_EQ(m.m_strSizeCode, "11");
    EXPECT_EQ(m.m_strStatus, "1");
    EXPECT_EQ(m.m_strRunFlag, "1");
    EXPECT_EQ(m.m_strCount[0], "10000");  // 1000 /cf over 60 s
    EXPECT_EQ(m.m_strCount[1], "20000");
    EXPECT_EQ(m.m_strCount[3], "40");
    EXPECT_EQ(m.m_strValue[0], "10");
    EXPECT_EQ(m.m_strValue[1], "-100");
    EXPECT_EQ(m.m_strValue[2], "0");
    EXPECT_EQ(m.m_strValue[3], "25");
    EXPECT_EQ(m.m_strValue[4], "123450");  // value 5 spans both packets
    EXPECT_EQ(m.m_strValue[5], "30");
    EXPECT_EQ(m.m_strSerialNumber, "   1234");
    EXPECT_EQ(serial, 1234);
}

TEST(FrameDecoder, TimesDatesAndCountsAtTheirLimits) {
    RawRecord r = PlainRecord(0);
    r.sampleMinutes = 255;
    r.sampleSeconds = 255;  // 15555 s
    r.holdHours = 2;
    r.holdMinutes = 3;
    r.holdSeconds = 4;
    r.year = 5;
    r.month = 12;
    r.day = 31;
    r.hour = 23;
    r.minute = 59;
    r.second = 200;  // out of range bytes are printed as they are
    r.counts = {0xFFFFFFFFu, 0, 0, 0, 0, 0};
    r.serialNumber = 0xFFFFFFFFu;
    std::int32_t serial = 0;
    const MeasurementRecord m = DecodeRecords({r}, &serial)[0];
    EXPECT_EQ(m.m_strSampleTime, "04:19:15");
    EXPECT_EQ(m.m_strHoldTime, "02:03:04");
    EXPECT_EQ(m.m_strDateTime, "2005-12-31 23:59:200");
    EXPECT_EQ(m.m_strCount[0], "4294967295");  // unsigned, CNT unchanged
    EXPECT_EQ(m.m_strSerialNumber, "     -1");
    EXPECT_EQ(serial, -1);

    r.sampleMinutes = 0;
    r.sampleSeconds = 0;
    r.counts = {77, 0, 0, 0, 0, 0};
    r.values[0] = 5.0f;
    const MeasurementRecord zero = DecodeOne(r);
    EXPECT_EQ(zero.m_strSampleTime, "00:00:00");
    EXPECT_EQ(zero.m_strCount[0], "0");  // sample time 0: CNT too
    EXPECT_EQ(zero.m_strValue[0], "0");
}

TEST(FrameDecoder, ManualCycleAndLargeValues) {
    RawRecord r = PlainRecord(1);
    r.cycle = 999;
    r.values = {1.5e8f, 99999992.0f, 1e8f, -2e8f, 0, 0};
    const MeasurementRecord m = DecodeOne(r);
    EXPECT_EQ(m.m_strCycle, "1");
    EXPECT_EQ(m.m_strValue[0], "1.500E+08");
    EXPECT_EQ(m.m_strValue[1], "99999992");
    EXPECT_EQ(m.m_strValue[2], "1.000E+08");
    EXPECT_EQ(m.m_strValue[3], "-200000000");  // only values above the limit
    NumberText buffer;
    EXPECT_EQ(LargeValueText("99999999", buffer), "99999999");
}

TEST(FrameDecoder, ExtremeExponentFieldsDecodeWithoutFailing) {
    RawRecord r = PlainRecord(0);
    r.values = {std::bit_cast<float>(0x7F800000u), std::bit_cast<float>(0xFFFFFFFFu),
                std::bit_cast<float>(0x80000000u), std::bit_cast<float>(0x00000001u),
                std::bit_cast<float>(0x7FFFFFFFu), std::bit_cast<float>(0x807FFFFFu)};
    const MeasurementRecord m = DecodeOne(r);
    for (int k = 0; k < 6; ++k) EXPECT_FALSE(m.m_strValue[k].empty()) << k;
    EXPECT_EQ(m.m_strValue[2], "-0");  // -2^-127 in CNT
    EXPECT_EQ(m.m_strValue[3], "0");
}

TEST(FrameDecoder, CarriesModeUnitAndPendingBytesAcrossRecords) {
    RawRecord first = PlainRecord(9);  // unknown mode of the first record
    first.unit = 7;                    // unknown unit of the first record: no conversion
    first.counts = {1000, 0, 0, 0, 0, 0};
    first.values[4] = 7.0f;
    RawRecord second = PlainRecord(2);
    second.unit = 2;  // /m3
    second.counts = {60, 0, 0, 0, 0, 0};
    RawRecord third = PlainRecord(200);
    third.unit = 9;
    third.cycle = 4;
    third.counts = {60, 0, 0, 0, 0, 0};
    third.values[4] = 1.0f;
    const auto m = DecodeRecords({first, second, third});
    EXPECT_EQ(m[0].m_strModeCode, "");
    EXPECT_EQ(m[0].m_strUnit, "");
    EXPECT_EQ(m[0].m_strCount[0], "1000");
    EXPECT_EQ(m[0].m_strValue[4], "7");
    EXPECT_EQ(m[1].m_strModeCode, "2");
    EXPECT_EQ(m[1].m_strUnit, "/m3");
    EXPECT_EQ(m[1].m_strCount[0], "21189");
    EXPECT_EQ(m[2].m_strModeCode, "2");
    EXPECT_EQ(m[2].m_strUnit, "/m3");
    EXPECT_EQ(m[2].m_strCycle, "4");
    EXPECT_EQ(m[2].m_strCount[0], "21189");
    EXPECT_EQ(m[2].m_strValue[4], "353");  // 21188.8349 / 60

    // A reset decoder starts again with empty previous texts.
    FrameDecoder decoder;
    MeasurementRecord slot;
    decoder.DecodePacketA(EncodeRecordFrame(second).data(), slot);
    decoder.Reset();
    decoder.DecodePacketA(EncodeRecordFrame(first).data(), slot);
    EXPECT_EQ(slot.m_strModeCode, "");
    EXPECT_EQ(slot.m_strUnit, "");
}

TEST(FrameDecoder, TextsDoNotDependOnTheLocale) {
    RawRecord r = PlainRecord(0, 1234567, 3, 5);
    r.unit = 2;
    r.sampleSeconds = 7;
    r.values = {1.5e8f, 2.75f, 1234.5f, 0.4f, 3.0f, 6.5f};
    const MeasurementRecord reference = DecodeOne(r);

    MeasurementRecord german;
    {
        const DecimalCommaLocale locale;
        if (!locale.active()) ORONT_SKIP_OR_FAIL("no locale with a decimal comma installed");
        german = DecodeOne(r);
    }
    EXPECT_EQ(Fields(german), Fields(reference));
    EXPECT_EQ(reference.m_strValue[0], "4.744E+10");
}
