// The report layout without a device: one preview page at 96 dpi and a full
// 48000-line report (2000 pages, a memory of one-point runs) at 600 dpi on a
// surface that only counts.
// This is the renderer's own share of the preview and print times; the Qt
// benchmarks (bench/qt/bench_preview.cpp) add the drawing.
#include <benchmark/benchmark.h>

#include "print/RecordingSurface.h"
#include "print/ReportLayout.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

namespace {

using namespace oront;

// The largest report a full memory gives: 8000 one-point runs, 48000 lines.
const RecordStore& FullStore() {
    return test::OnePointRunStore();
}

void BM_LayoutPreviewPage(benchmark::State& state) {
    const RecordStore& store = FullStore();
    PrintRequest rq;
    rq.nRowCount = store.m_nReportLineCount;
    rq.nPageCount = ReportPageCount(store.m_nReportLineCount);
    rq.nCurrentPage = 1;
    rq.nFirstRow = 1;
    rq.nLastRow = 24;
    rq.nRowsPerPage = kRowsPerPage;
    RecordingSurface surface(96, 96, false);
    surface.recordOps = false;
    for (auto _ : state) {
        DrawReportPage(surface, rq, store, 0);
        benchmark::DoNotOptimize(surface.opCount);
    }
}
BENCHMARK(BM_LayoutPreviewPage)->Unit(benchmark::kMicrosecond);

void BM_LayoutFullReport(benchmark::State& state) {
    const RecordStore& store = FullStore();
    PrintRequest rq;
    rq.nRowCount = store.m_nReportLineCount;
    rq.nPageCount = ReportPageCount(store.m_nReportLineCount);
    rq.nMode = 1;
    rq.nStartPage = 1;
    rq.nEndPage = rq.nPageCount;
    rq.nRowsPerPage = kRowsPerPage;
    RecordingSurface surface(600, 600, true);
    surface.recordOps = false;
    for (auto _ : state) {
        PrintReportPages(surface, rq, store, 0);
        benchmark::DoNotOptimize(surface.opCount);
    }
    state.counters["pages"] = rq.nPageCount;
}
BENCHMARK(BM_LayoutFullReport)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
