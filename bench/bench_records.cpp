// Decoding and table-build times of a full instrument memory.
#include <benchmark/benchmark.h>

#include <vector>

#include "records/RecordFrame.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

using namespace oront;
using namespace oront::test;

namespace {

void BM_DecodePackets(benchmark::State& state) {
    const std::vector<Frame> frames = EncodeFrames(MixedMemory());
    RecordStore store;
    PrepareDownload(store, kMaxRecords);
    for (auto _ : state) {
        DecodeFrames(store, frames);
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
        // The store is reset before the read command is sent, not timed here.
        state.PauseTiming();
        PrepareDownload(store, kMaxRecords, wrap);
        state.ResumeTiming();
        DecodeFrames(store, frames);
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
    PrepareDownload(decoded, kMaxRecords, wrap);
    DecodeFrames(decoded, frames);
    RecordStore store;
    for (auto _ : state) {
        state.PauseTiming();
        PrepareDownload(store, kMaxRecords, wrap);
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
        RawRecord r = VariedRecord(2, i);
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
    PacketsToTables(state, EncodeFrames(MixedMemory()), kMixedMemoryWrap);
}
void BM_PacketsToTables_OnePointRuns(benchmark::State& state) {
    PacketsToTables(state, EncodeFrames(OnePointRunMemory()), 0);
}
void BM_TablesOnly_Mixed(benchmark::State& state) {
    TablesOnly(state, EncodeFrames(MixedMemory()), kMixedMemoryWrap);
}
void BM_TablesOnly_OnePointRuns(benchmark::State& state) {
    TablesOnly(state, EncodeFrames(OnePointRunMemory()), 0);
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
