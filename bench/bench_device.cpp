// The device link's share of "Read Records": a full, wrapped memory of 8000
// records read through CUsbIF and the command protocol from the simulated
// instrument (decoding and table build included), and the generation of the
// demo memories.
#include <benchmark/benchmark.h>

#include "device/MemoryImage.h"
#include "support/InstrumentBuilders.h"

namespace {

using namespace oront;

void BM_ReadFullMemoryThroughTheLink(benchmark::State& state) {
    const MemoryImage image = MakeFullDemoImage();
    RecordStore store;  // kept across reads, as the main window keeps it
    const TFactorTable tFactor;
    for (auto _ : state) {
        if (!test::ReadRecordsFromImage(image, store, tFactor)) {
            state.SkipWithError("download failed");
            break;
        }
        benchmark::DoNotOptimize(store.m_nLastRow);
    }
}
BENCHMARK(BM_ReadFullMemoryThroughTheLink)->Unit(benchmark::kMillisecond);

void BM_MakeFullDemoImage(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(MakeFullDemoImage());
}
BENCHMARK(BM_MakeFullDemoImage)->Unit(benchmark::kMillisecond);

void BM_MakeDemoImage(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(MakeDemoImage());
}
BENCHMARK(BM_MakeDemoImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
