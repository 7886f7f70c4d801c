#include "support/RecordBuilders.h"

#include <cstddef>

#include "records/RecordStore.h"

namespace oront::test {

RawRecord PlainRecord(std::uint8_t mode, std::uint32_t ch1, std::uint32_t ch2, std::uint32_t ch3) {
    RawRecord r;
    r.mode = mode;
    r.location = 1;
    r.point = 1;
    r.cyclesPerPoint = 1;
    r.cycle = 1;
    r.year = 15;
    r.month = 3;
    r.day = 7;
    r.hour = 8;
    r.minute = 30;
    r.second = 15;
    r.sampleMinutes = 1;
    r.counts = {ch1, ch2, ch3, 0, 0, 0};
    return r;
}

RawRecord IsoRecord(std::uint8_t point, std::uint16_t cycles, std::uint16_t cycle, std::uint32_t ch1, std::uint32_t ch2,
                    std::uint32_t ch3, bool runEnd) {
    RawRecord r = PlainRecord(2, ch1, ch2, ch3);
    r.point = point;
    r.cyclesPerPoint = cycles;
    r.cycle = cycle;
    r.runEnd = runEnd ? 1 : 0;
    return r;
}

void AppendRun(std::vector<RawRecord>& out, int points, int cycles, std::uint32_t base) {
    for (int p = 1; p <= points; ++p)
        for (int k = 1; k <= cycles; ++k)
            out.push_back(IsoRecord(static_cast<std::uint8_t>(p), static_cast<std::uint16_t>(cycles),
                                    static_cast<std::uint16_t>(k),
                                    base + 10u * static_cast<std::uint32_t>(p) + static_cast<std::uint32_t>(k), 5, 1,
                                    p == points && k == cycles));
}

RawRecord ManualRecord(std::uint8_t minute, std::uint32_t ch1, std::uint32_t serial) {
    RawRecord r = PlainRecord(1, ch1, ch1 / 2, ch1 / 10);
    r.minute = minute;
    r.second = 0;
    r.serialNumber = serial;
    return r;
}

RawRecord VariedRecord(std::uint8_t mode, std::uint32_t seed) {
    RawRecord r;
    r.mode = mode;
    r.location = static_cast<std::uint8_t>(seed % 200);
    r.point = 1;
    r.cyclesPerPoint = 1;
    r.cycle = 1;
    r.year = 15;
    r.month = static_cast<std::uint8_t>(1 + seed % 12);
    r.day = static_cast<std::uint8_t>(1 + seed % 28);
    r.hour = static_cast<std::uint8_t>(seed % 24);
    r.minute = static_cast<std::uint8_t>(seed % 60);
    r.second = static_cast<std::uint8_t>((seed * 7) % 60);
    r.sampleMinutes = 1;
    r.unit = static_cast<std::uint8_t>(seed % 4);
    r.sizeCode = (seed % 2) ? 11 : 0;
    r.overRange = seed % 7 == 0 ? 1 : 0;
    r.counts = {seed * 37 % 100000, seed * 11 % 20000, seed % 500, 1, 2, 3};
    r.values = {1.5f, 2.5f, 0.0f, 3.25f, 4.0f, 1e9f};
    r.serialNumber = 1234567;
    return r;
}

std::vector<RawRecord> OnePointRunMemory() {
    std::vector<RawRecord> records;
    records.reserve(static_cast<std::size_t>(kMaxRecords));
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(kMaxRecords); ++i) {
        RawRecord r = VariedRecord(2, i);
        r.runEnd = 1;
        records.push_back(r);
    }
    return records;
}

std::vector<RawRecord> MixedMemory() {
    std::vector<RawRecord> records;
    std::uint32_t seed = 1;
    while (records.size() < static_cast<std::size_t>(kMaxRecords)) {
        const std::uint32_t pick = seed % 5;
        if (pick < 2) {
            records.push_back(VariedRecord(static_cast<std::uint8_t>(pick), seed++));
            continue;
        }
        const int points = 1 + static_cast<int>(seed % 5);
        const int cycles = 1 + static_cast<int>(seed % 4);
        for (int p = 1; p <= points; ++p)
            for (int c = 1; c <= cycles; ++c) {
                RawRecord r = VariedRecord(2, seed++);
                r.point = static_cast<std::uint8_t>(p);
                r.cyclesPerPoint = static_cast<std::uint16_t>(cycles);
                r.cycle = static_cast<std::uint16_t>(c);
                r.runEnd = (p == points && c == cycles) ? 1 : 0;
                records.push_back(r);
            }
    }
    records.resize(static_cast<std::size_t>(kMaxRecords));
    return records;
}

std::vector<RawRecord> WrapInto(const std::vector<RawRecord>& chronological, int w) {
    std::vector<RawRecord> slots(chronological.size());
    for (std::size_t i = 0; i < chronological.size(); ++i)
        slots[(i + static_cast<std::size_t>(w)) % chronological.size()] = chronological[i];
    return slots;
}

std::vector<Frame> EncodeFrames(const std::vector<RawRecord>& records) {
    std::vector<Frame> frames;
    frames.reserve(records.size());
    for (const RawRecord& r : records) frames.push_back(EncodeRecordFrame(r));
    return frames;
}

}  // namespace oront::test
