// The report layout without a device: one preview page at 96 dpi and a full
// 40000-line report (1667 pages) at 600 dpi on a surface that only counts.
// This is the renderer's own share of the preview and print times; the Qt
// benchmarks (bench/qt/bench_preview.cpp) add the drawing.
#include <benchmark/benchmark.h>

#include "print/RecordingSurface.h"
#include "print/ReportLayout.h"
#include "records/CFormat.h"

namespace {

using namespace oront;

RecordStore MakeStore(int lines) {
    RecordStore store;
    store.m_reportLines.resize(static_cast<std::size_t>(lines));
    for (int r = 0; r < lines; ++r) {
        ReportLine& l = store.m_reportLines[static_cast<std::size_t>(r)];
        l[ReportLine::Record] = FormatInt(r + 1);
        l[ReportLine::Mode] = "ISO";
        l[ReportLine::Location] = "012";
        l[ReportLine::Points] = "3";
        l[ReportLine::Cycles] = "2";
        l[ReportLine::DateTime] = "2024-03-05 12:34:56";
        l[ReportLine::SampleTime] = "00:01:00";
        l[ReportLine::HoldTime] = "00:00:05";
        l[ReportLine::Ch1Size] = "0.3um";
        l[ReportLine::Ch1Data] = FormatInt(1000000 + r);
        l[ReportLine::Ch2Size] = "0.5um";
        l[ReportLine::Ch2Data] = FormatInt(350000 + r);
        l[ReportLine::Ch3Size] = "5.0um";
        l[ReportLine::Ch3Data] = FormatInt(r % 1000);
        l[ReportLine::Unit] = "/m3";
        l[ReportLine::Status] = "OK";
    }
    store.m_nReportLineCount = lines;
    store.m_nRecordCount = lines;
    store.m_nSerialNumber = 1234567;
    return store;
}

void BM_LayoutPreviewPage(benchmark::State& state) {
    const RecordStore store = MakeStore(48);
    PrintRequest rq;
    rq.nRowCount = 48;
    rq.nPageCount = 2;
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
    const RecordStore store = MakeStore(40000);
    PrintRequest rq;
    rq.nRowCount = 40000;
    rq.nPageCount = ReportPageCount(40000);
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
