// The records target's body, shared by fuzz_records (work proportional to
// the input) and fuzz_full_memory (full and wrapped memories from a few
// bytes).
//
// Arbitrary bytes -> a record count (with wrap) and record frames -> the
// decoder -> the table build -> the report table -> the CSV text, and a
// record range resolved on the result (format byte bit 1: numbers).
//
// Input: two bytes of count (top three bits 111: a wrapped memory of 8000
// records, the low bits giving its wrap position; 110: a count of up to 8000
// in the low bits; otherwise a count of up to 255 in the low byte), one
// format byte, then the records. Format byte bit 0 set: raw 128-byte frames;
// clear: six bytes per record that are expanded into a frame, which makes
// ISO runs and their flags likely.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "export/CsvWriter.h"
#include "export/SaveRange.h"
#include "records/CFormat.h"
#include "records/RecordFrame.h"
#include "records/TableBuild.h"
#include "support/StoreBuilders.h"

namespace oront::fuzz {

inline Frame CompactFrame(const std::uint8_t* b) {
    static constexpr std::uint8_t kSizeCodes[8] = {0, 1, 2, 3, 10, 11, 12, 5};
    RawRecord r;
    r.mode = static_cast<std::uint8_t>(b[0] % 4);
    r.location = b[0];
    r.point = static_cast<std::uint8_t>(b[1] % 6);
    r.cyclesPerPoint = static_cast<std::uint16_t>(b[2] % 4);
    r.cycle = static_cast<std::uint16_t>(b[3] % 5);
    r.runEnd = b[4] & 1;
    r.overRange = (b[4] >> 1) & 1;
    r.unit = static_cast<std::uint8_t>((b[4] >> 2) % 5 == 4 ? 9 : (b[4] >> 2) % 5);
    r.sizeCode = kSizeCodes[(b[4] >> 5) & 7];
    r.sampleSeconds = static_cast<std::uint8_t>(b[5] & 0x3F);
    r.sampleMinutes = 0;
    const std::uint32_t count = static_cast<std::uint32_t>(b[5]) << (b[5] % 28);
    r.counts = {count, count / 3, count / 7, b[5], 0, 0xFFFFFFFFu};
    r.values = {static_cast<float>(count), -1.0f, 0.0f, 1e30f, 2.5f, 7.0f};
    return EncodeRecordFrame(r);
}

// A download of `count` records made of six compact bytes each from
// `bytes`, with its result and report tables.
inline void BuildCompactStore(RecordStore& store, const std::uint8_t* bytes, int count) {
    std::vector<Frame> frames(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = CompactFrame(bytes + 6 * i);
    test::PrepareDownload(store, count, 0);
    test::DecodeFrames(store, frames);
    BuildResultTable(store, TFactorTable{});
    BuildReportTable(store);
}

// The most records fuzz_records builds from one input.
inline constexpr int kShortMemory = 128;

// Runs one input. With `fillFromFewBytes` the record bytes are reused from
// the start when they run out, so a short input can fill all 8000 slots (and
// the first two bytes may ask for a full, wrapped memory); without it the
// count is capped by the records the input holds, so the work grows with the
// input's size, up to a short memory.
inline int RunRecordsInput(const std::uint8_t* data, std::size_t size, bool fillFromFewBytes) {
    if (size < 4) return 0;
    const unsigned v = (static_cast<unsigned>(data[0]) << 8) | data[1];
    const bool raw = data[2] & 1;
    const std::uint8_t* body = data + 3;
    const std::size_t bodySize = size - 3;

    // Full memories are slow to build, so most inputs give small counts.
    int count = 0;
    int wrap = 0;
    switch (v >> 13) {
        case 7:  // a wrapped memory; wrap positions from 8000 on are malformed
            count = kMaxRecords;
            wrap = static_cast<int>(v & 0x1FFF) % 9000;
            break;
        case 6:  // any count up to 8000, no wrap
            count = std::min(static_cast<int>(v & 0x1FFF), kMaxRecords);
            break;
        default:
            count = static_cast<int>(v & 0xFF);
            break;
    }

    const std::size_t recordSize = raw ? std::tuple_size_v<Frame> : 6;
    if (!fillFromFewBytes) {
        if (v >> 13 == 7) return 0;  // full memories are the other target's
        // As the fuzzer lengthens its inputs, a few kilobytes would be
        // hundreds of records each: beyond a short memory the records are
        // the other target's too, so that the cost of an input stays small.
        count = std::min({count, static_cast<int>(bodySize / recordSize), kShortMemory});
    }

    std::size_t pos = 0;
    std::uint8_t round = 0;  // varies the bytes on each reuse of the input
    auto take = [&](std::uint8_t* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = static_cast<std::uint8_t>(body[pos] ^ round);
            if (++pos == bodySize) {
                pos = 0;
                round = static_cast<std::uint8_t>(round * 5 + 1);
            }
        }
    };
    std::vector<Frame> frames(static_cast<std::size_t>(count));
    for (Frame& frame : frames) {
        if (raw) {
            take(frame.data(), frame.size());
        } else {
            std::uint8_t compact[6];
            take(compact, sizeof compact);
            frame = CompactFrame(compact);
        }
    }

    RecordStore store;
    test::PrepareDownload(store, count, wrap);
    test::DecodeFrames(store, frames);
    BuildResultTable(store, TFactorTable{});
    BuildReportTable(store);

    // The tables must agree with each other.
    if (!test::TableDisagreement(store).empty()) std::abort();

    const std::string csv = CsvText(store, 0, store.m_nLastRow);
    if (csv.size() < 100) std::abort();

    // A record range (as save-range takes it: numbers, or any text) never
    // reaches outside the rows, never runs backwards, and starts on a row
    // that shows its first record.
    const std::uint8_t* tail = data + size - 4;
    std::string first;
    std::string last;
    if (data[2] & 2) {
        first = std::to_string(((tail[0] << 8) | tail[1]) % 8200);
        last = std::to_string(((tail[2] << 8) | tail[3]) % 8200);
    } else {
        first.assign(reinterpret_cast<const char*>(tail), 2);
        last.assign(reinterpret_cast<const char*>(tail + 2), 2);
    }
    const RecordRangeResult range = ResolveRecordNumbers(store, first, last);
    if (range.error.empty()) {
        if (range.rows.first < 0 || range.rows.first > range.rows.last || range.rows.last > store.m_nLastRow)
            std::abort();
        const ResultRow& row = store.Row(range.rows.first);
        const bool group = row.m_strKind == kind::kGroupCollapsed;
        const std::string shown = group ? GroupRecordNumberText(row.m_strRecordNo).str() : row.m_strRecordNo.str();
        if (CAtoi(shown) != CAtoi(first)) std::abort();
    }
    return 0;
}

}  // namespace oront::fuzz
