// The 128-byte record frame (packet A + packet B) and its decoder.
#pragma once

#include <array>
#include <cstdint>

#include "records/RecordStore.h"

namespace oront {

// The binary content of one record frame, field by field, as the instrument
// stores it. Used to build frames (demo images, tests).
struct RawRecord {
    std::uint8_t mode = 0;  // 0 Auto, 1 Manual, 2 ISO
    std::uint8_t location = 0;
    std::uint8_t point = 0;
    std::uint16_t cyclesPerPoint = 0;
    std::uint16_t cycle = 0;
    std::uint8_t year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    std::uint8_t sampleMinutes = 1, sampleSeconds = 0;
    std::uint8_t holdHours = 0, holdMinutes = 0, holdSeconds = 0;
    std::uint8_t unit = 0;      // 0 CNT, 1 /cf, 2 /m3, 3 /L
    std::uint8_t sizeCode = 0;  // channel-size code
    std::uint8_t overRange = 0;
    std::uint8_t runEnd = 0;
    std::array<std::uint32_t, 6> counts{};
    std::array<float, 6> values{};
    std::uint32_t serialNumber = 0;
};

using Frame = std::array<std::uint8_t, 128>;
// Packet A = bytes 0..63, packet B = bytes 64..127.
Frame EncodeRecordFrame(const RawRecord& record);

// Decodes packets into record slots, carrying the previous mode code, the
// previous unit text and the pending first half of value 5 across records of
// one download.
class FrameDecoder {
public:
    void Reset();
    void DecodePacketA(const std::uint8_t* packet, MeasurementRecord& slot);
    // Completes value 5; returns the record's serial number.
    std::int32_t DecodePacketB(const std::uint8_t* packet, MeasurementRecord& slot);

private:
    Text m_prevMode;
    Text m_prevUnit;
    std::uint8_t m_pending[2]{};
    int m_sampleSeconds = 0;  // of the record being decoded
};

}  // namespace oront
