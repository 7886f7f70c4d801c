// Raw records, instrument memories and record frames, built field by field,
// for the tests, the benchmarks and the fuzz targets.
#pragma once

#include <cstdint>
#include <vector>

#include "records/RecordFrame.h"

namespace oront::test {

// A one-point, one-cycle record of the given mode (0 Auto, 1 Manual, 2 ISO)
// taken at location 1 on 2015-03-07 at 08:30:15 over one minute, in CNT with
// size code 0, channels 1 to 3 counting ch1, ch2 and ch3.
RawRecord PlainRecord(std::uint8_t mode, std::uint32_t ch1 = 10, std::uint32_t ch2 = 5, std::uint32_t ch3 = 1);

// An ISO record: point `point` of a run of `cycles` cycles per point, cycle
// `cycle`; `runEnd` marks the run's last record.
RawRecord IsoRecord(std::uint8_t point, std::uint16_t cycles, std::uint16_t cycle, std::uint32_t ch1 = 10,
                    std::uint32_t ch2 = 5, std::uint32_t ch3 = 1, bool runEnd = false);

// Appends a complete run of points x cycles; channel 1 of point p, cycle k
// counts base + 10 * p + k.
void AppendRun(std::vector<RawRecord>& out, int points, int cycles, std::uint32_t base = 100);

// A Manual record taken at 08:`minute` whose channels count ch1, ch1 / 2 and
// ch1 / 10, from the instrument with serial number `serial`.
RawRecord ManualRecord(std::uint8_t minute, std::uint32_t ch1, std::uint32_t serial = 2150042);

// A one-point, one-cycle record of the given mode whose location, time,
// unit, size code, counts and over-range flag vary with `seed`.
RawRecord VariedRecord(std::uint8_t mode, std::uint32_t seed);

// Full memories of kMaxRecords records, in the order of the instrument's
// slots:
// one-point, one-cycle ISO runs, the most rows and report lines a memory can
// give (24000 rows, 48000 lines);
std::vector<RawRecord> OnePointRunMemory();
// Auto and Manual records between ISO runs of 1 to 5 points and 1 to 4
// cycles, as a memory that wrapped at kMixedMemoryWrap holds them.
std::vector<RawRecord> MixedMemory();
constexpr int kMixedMemoryWrap = 1234;

// Chronological records placed into the slots of a memory that wrapped at
// position w: the oldest record lies in slot w.
std::vector<RawRecord> WrapInto(const std::vector<RawRecord>& chronological, int w);

// The record frames of the records, in order.
std::vector<Frame> EncodeFrames(const std::vector<RawRecord>& records);

}  // namespace oront::test
