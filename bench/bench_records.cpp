// Decoding and table-build times of a full instrument memory.
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchRecords.h"
#include "records/RecordFrame.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

using namespace oront;
using oront::bench::Base;

namespace {

// A realistic full memory: Auto and Manual records between ISO runs of
// 1 to 5 points and 1 to 4 cycles; the memory has wrapped.
std::vector<Frame> MixedMemory() {
    std::vector<Frame> frames;
    std::uint32_t seed = 1;
    while (frames.size() < static_cast<std::size_t>(kMaxRecords)) {
        const std::uint32_t pick = seed % 5;
        if (pick < 2) {
            frames.push_back(EncodeRecordFrame(Base(static_cast<std::uint8_t>(pick), seed)));
            ++seed;
            continue;
        }
        const int points = 1 + static_cast<int>(seed % 5);
        const int cycles = 1 + static_cast<int>(seed % 4);
        for (int p = 1; p <= points; ++p)
            for (int c = 1; c <= cycles; ++c) {
                RawRecord r = Base(2, seed++);
                r.point = static_cast<std::uint8_t>(p);
                r.cyclesPerPoint = static_cast<std::uint16_t>(cycles);
                r.cycle = static_cast<std::uint16_t>(c);
                r.runEnd = (p == points && c == cycles) ? 1 : 0;
                frames.push_back(EncodeRecordFrame(r));
            }
    }
    frames.resize(static_cast<std::size_t>(kMaxRecords));
    return frames;
}

std::vector<Frame> OnePointRuns() {
    std::vector<Frame> frames;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(kMaxRecords); ++i) {
        frames.push_back(EncodeRecordFrame(bench::OnePointRun(i)));
    }
    return frames;
}

void DecodeInto(RecordStore& store, const std::vector<Frame>& frames) {
    FrameDecoder decoder;
    decoder.Reset();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        decoder.DecodePacketA(frames[i].data(), store.m_records[i]);
        store.m_nSerialNumber = decoder.DecodePacketB(frames[i].data() + 64, store.m_records[i]);
    }
}

void PrepareStore(RecordStore& store, int wrap) {
    ResetForDownload(store);
    store.m_nRecordCount = kMaxRecords;
    store.m_nWrapPosition = wrap;
    store.m_nReportLineCount = 0;
    store.m_records.resize(static_cast<std::size_t>(kMaxRecords));
}

void BM_DecodePackets(benchmark::State& state) {
    const std::vector<Frame> frames = MixedMemory();
    RecordStore store;
    PrepareStore(store, 0);
    for (auto _ : state) {
        DecodeInto(store, frames);
        benchmark::DoNotOptimize(store.m_records.data());
    }
    state.SetItemsProcessed(state.iterations() * kMaxRecords);
    state.counters["ns_per_record"] = benchmark::Counter(static_cast<double>(state.iterations()) * kMaxRecords,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DecodePackets)->Unit(benchmark::kMillisecond);

// From the first packet to finished result and report tables.
void PacketsToTables(benchmark::State& state, const std::vector<Frame>& frames, int wrap) {
    const TFactorTable tFactor;
    RecordStore store;
    for (auto _ : state) {
        // The reset is step 1 of a download, before the command is sent.
        state.PauseTiming();
        PrepareStore(store, wrap);
        state.ResumeTiming();
        DecodeInto(store, frames);
        BuildResultTable(store, tFactor);
        BuildReportTable(store);
        benchmark::DoNotOptimize(store.m_reportLines.data());
    }
    state.counters["rows"] = store.m_nLastRow + 1;
    state.counters["lines"] = store.m_nReportLineCount;
}

// The table build alone, after the last packet.
void TablesOnly(benchmark::State& state, const std::vector<Frame>& frames, int wrap) {
    const TFactorTable tFactor;
    RecordStore decoded;
    PrepareStore(decoded, wrap);
    DecodeInto(decoded, frames);
    RecordStore store;
    for (auto _ : state) {
        state.PauseTiming();
        PrepareStore(store, wrap);
        store.m_records = decoded.m_records;
        state.ResumeTiming();
        BuildResultTable(store, tFactor);
        BuildReportTable(store);
        benchmark::DoNotOptimize(store.m_reportLines.data());
    }
    state.counters["rows"] = store.m_nLastRow + 1;
    state.counters["lines"] = store.m_nReportLineCount;
}

// A malformed memory whose every record starts a point of one long run: each
// point scan passes all later records.
std::vector<Frame> LongScanRun() {
    std::vector<Frame> frames;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(kMaxRecords); ++i) {
        RawRecord r = Base(2, i);
        r.point = 2;
        r.cyclesPerPoint = 1;
        r.cycle = 1;
        if (i + 1 == static_cast<std::uint32_t>(kMaxRecords)) {
            r.point = 8;
            r.cycle = 1000;
            r.runEnd = 1;
        }
        frames.push_back(EncodeRecordFrame(r));
    }
    return frames;
}

void BM_PacketsToTables_Mixed(benchmark::State& state) {
    PacketsToTables(state, MixedMemory(), 1234);
}
void BM_PacketsToTables_OnePointRuns(benchmark::State& state) {
    PacketsToTables(state, OnePointRuns(), 0);
}
void BM_TablesOnly_Mixed(benchmark::State& state) {
    TablesOnly(state, MixedMemory(), 1234);
}
void BM_TablesOnly_OnePointRuns(benchmark::State& state) {
    TablesOnly(state, OnePointRuns(), 0);
}
BENCHMARK(BM_PacketsToTables_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacketsToTables_OnePointRuns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TablesOnly_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TablesOnly_OnePointRuns)->Unit(benchmark::kMillisecond);
void BM_TablesOnly_MalformedLongScan(benchmark::State& state) {
    TablesOnly(state, LongScanRun(), 0);
}
BENCHMARK(BM_TablesOnly_MalformedLongScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
