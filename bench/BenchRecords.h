// Raw records the benchmarks build their instrument memories from.
#pragma once

#include <cstdint>
#include <vector>

#include "records/RecordFrame.h"
#include "records/TableBuild.h"

namespace oront::bench {

// A one-point, one-cycle record of the given mode whose fields vary with
// seed (locations, times, units, size codes and counts).
inline RawRecord Base(std::uint8_t mode, std::uint32_t seed) {
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
    r.counts = {seed * 37 % 100000, seed * 11 % 20000, seed % 500, 1, 2, 3};
    r.values = {1.5f, 2.5f, 0.0f, 3.25f, 4.0f, 1e9f};
    r.serialNumber = 1234567;
    return r;
}

// Record i of a memory of one-point, one-cycle ISO runs: the most rows and
// lines a full memory can give.
inline RawRecord OnePointRun(std::uint32_t i) {
    RawRecord r = Base(2, i);
    r.runEnd = 1;
    return r;
}

// A full memory of one-point runs.
inline std::vector<RawRecord> OnePointRunRecords() {
    std::vector<RawRecord> records;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(kMaxRecords); ++i) records.push_back(OnePointRun(i));
    return records;
}

// The store a download of the records gives: decoded, tables built.
inline RecordStore DownloadedStore(const std::vector<RawRecord>& records) {
    RecordStore store;
    ResetForDownload(store);
    store.m_nRecordCount = static_cast<int>(records.size());
    store.m_records.resize(records.size());
    FrameDecoder decoder;
    decoder.Reset();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Frame f = EncodeRecordFrame(records[i]);
        decoder.DecodePacketA(f.data(), store.m_records[i]);
        store.m_nSerialNumber = decoder.DecodePacketB(f.data() + 64, store.m_records[i]);
    }
    BuildResultTable(store, TFactorTable{});
    BuildReportTable(store);
    return store;
}

}  // namespace oront::bench
