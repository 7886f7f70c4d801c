#include "records/RecordFrame.h"

#include <bit>
#include <cstring>
#include <string>

#include "records/CFormat.h"
#include "records/CommFunction.h"

namespace oront {
namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
unsigned Get16(const std::uint8_t* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}
std::uint32_t Get32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

// Appends "%02d" of a byte-sized or small non-negative value.
char* Put02(char* out, unsigned v) {
    if (v >= 100) {
        const NumberText s = FormatInt(v);
        std::memcpy(out, s.view().data(), s.size());
        return out + s.size();
    }
    out[0] = static_cast<char>('0' + v / 10);
    out[1] = static_cast<char>('0' + v % 10);
    return out + 2;
}

// "%02d:%02d:%02d" of a duration in seconds as hours, minutes, seconds.
void SetDuration(Text& field, unsigned seconds) {
    char buf[32];
    char* p = Put02(buf, seconds / 3600);
    *p++ = ':';
    p = Put02(p, (seconds % 3600) / 60);
    *p++ = ':';
    p = Put02(p, seconds % 60);
    field.assign(std::string_view(buf, static_cast<std::size_t>(p - buf)));
}

const char* UnitText(std::uint8_t code) {
    switch (code) {
        case 0:
            return "CNT";
        case 1:
            return "/cf";
        case 2:
            return "/m3";
        case 3:
            return "/L";
        default:
            return nullptr;
    }
}

void SetValue(Text& field, const std::uint8_t bytes[4], int sampleSeconds, std::string_view unit) {
    const double v = static_cast<double>(CCommFuntion::DecodeDeviceFloat(bytes));
    field = FormatLargeValue(CCommFuntion::ConvertUnit(sampleSeconds, unit, v));
}

}  // namespace

Frame EncodeRecordFrame(const RawRecord& r) {
    Frame f{};
    std::uint8_t* a = f.data();
    std::uint8_t* b = f.data() + 64;
    a[0] = r.mode;
    a[1] = r.location;
    a[2] = r.point;
    Put16(a + 3, r.cyclesPerPoint);
    Put16(a + 5, r.cycle);
    a[7] = r.year;
    a[8] = r.month;
    a[9] = r.day;
    a[10] = r.hour;
    a[11] = r.minute;
    a[12] = r.second;
    a[13] = r.sampleMinutes;
    a[14] = r.sampleSeconds;
    a[15] = r.holdHours;
    a[16] = r.holdMinutes;
    a[17] = r.holdSeconds;
    a[18] = r.unit;
    a[19] = r.sizeCode;
    a[20] = r.overRange;
    a[21] = r.runEnd;
    for (std::size_t k = 0; k < 6; ++k) Put32(a + 22 + 4 * k, r.counts[k]);
    for (std::size_t k = 0; k < 4; ++k) Put32(a + 46 + 4 * k, std::bit_cast<std::uint32_t>(r.values[k]));
    std::uint8_t v5[4];
    Put32(v5, std::bit_cast<std::uint32_t>(r.values[4]));
    a[62] = v5[0];
    a[63] = v5[1];
    b[0] = v5[2];
    b[1] = v5[3];
    Put32(b + 2, std::bit_cast<std::uint32_t>(r.values[5]));
    Put32(b + 6, r.serialNumber);
    return f;
}

void FrameDecoder::Reset() {
    m_prevMode.clear();
    m_prevUnit.clear();
    m_pending[0] = m_pending[1] = 0;
    m_sampleSeconds = 0;
}

void FrameDecoder::DecodePacketA(const std::uint8_t* a, MeasurementRecord& slot) {
    // Mode and unit: an unknown code keeps the previous record's text.
    if (a[0] <= 2) {
        const char code[2] = {static_cast<char>('0' + a[0]), '\0'};
        m_prevMode = code;
    }
    slot.m_strModeCode = m_prevMode;
    if (const char* unit = UnitText(a[18])) m_prevUnit = unit;
    slot.m_strUnit = m_prevUnit;

    slot.m_strLocation = FormatZeroPad(a[1], 3);
    slot.m_strPoint = FormatInt(a[2]);
    slot.m_strCyclesPerPoint = FormatInt(Get16(a + 3));
    if (m_prevMode == "1")
        slot.m_strCycle = "1";
    else
        slot.m_strCycle = FormatInt(Get16(a + 5));

    char date[48] = {'2', '0'};
    char* p = Put02(date + 2, a[7]);
    *p++ = '-';
    p = Put02(p, a[8]);
    *p++ = '-';
    p = Put02(p, a[9]);
    *p++ = ' ';
    p = Put02(p, a[10]);
    *p++ = ':';
    p = Put02(p, a[11]);
    *p++ = ':';
    p = Put02(p, a[12]);
    slot.m_strDateTime.assign(std::string_view(date, static_cast<std::size_t>(p - date)));

    m_sampleSeconds = 60 * a[13] + a[14];
    SetDuration(slot.m_strSampleTime, static_cast<unsigned>(m_sampleSeconds));
    SetDuration(slot.m_strHoldTime, 3600u * a[15] + 60u * a[16] + a[17]);

    slot.m_strSizeCode = FormatInt(a[19]);
    slot.m_strStatus = FormatInt(a[20]);
    slot.m_strRunFlag = FormatInt(a[21]);

    slot.m_raw.sampleSeconds = static_cast<std::uint16_t>(m_sampleSeconds);
    slot.m_raw.sizeCode = a[19];
    slot.m_raw.overRange = a[20] == 1;
    for (std::size_t k = 0; k < slot.m_raw.counts.size(); ++k) slot.m_raw.counts[k] = Get32(a + 22 + 4 * k);
    const std::string_view unit = m_prevUnit.view();
    for (int k = 0; k < 6; ++k) {
        const double count = static_cast<double>(Get32(a + 22 + 4 * k));
        slot.m_strCount[static_cast<std::size_t>(k)] =
            FormatFixed0(CCommFuntion::ConvertUnit(m_sampleSeconds, unit, count));
    }
    for (int k = 0; k < 4; ++k)
        SetValue(slot.m_strValue[static_cast<std::size_t>(k)], a + 46 + 4 * k, m_sampleSeconds, unit);
    m_pending[0] = a[62];
    m_pending[1] = a[63];
}

std::int32_t FrameDecoder::DecodePacketB(const std::uint8_t* b, MeasurementRecord& slot) {
    const std::string_view unit = m_prevUnit.view();
    const std::uint8_t value5[4] = {m_pending[0], m_pending[1], b[0], b[1]};
    SetValue(slot.m_strValue[4], value5, m_sampleSeconds, unit);
    SetValue(slot.m_strValue[5], b + 2, m_sampleSeconds, unit);
    const auto serial = static_cast<std::int32_t>(Get32(b + 6));
    slot.m_strSerialNumber = FormatSpacePad(serial, 7);
    return serial;
}

}  // namespace oront
