// Drawing the report with Qt: one preview page at 96 dpi into an off-screen
// image (as every repaint of the page window does), and the full 40000-line
// report (1667 pages) as a 600-dpi A4 landscape PDF (as the command-line
// report command writes it).
//
// Peak memory of the PDF run: /usr/bin/time -v bench_preview
//   --benchmark_filter=BM_FullReportToPdf
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "print/qt/PreView.h"
#include "print/qt/ReportPrinter.h"
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

void BM_RenderPreviewPage(benchmark::State& state) {
    const RecordStore store = MakeStore(48);
    const ReportCallbackFn callback = MakeReportCallback(store);
    PrintRequest rq;
    rq.nRowCount = 48;
    rq.nPageCount = 2;
    rq.nCurrentPage = 1;
    rq.nFirstRow = 1;
    rq.nLastRow = 24;
    rq.nRowsPerPage = kRowsPerPage;
    for (auto _ : state) {
        QImage page = RenderPreviewPage(callback, rq, 96, 96);
        benchmark::DoNotOptimize(page.constBits());
    }
}
BENCHMARK(BM_RenderPreviewPage)->Unit(benchmark::kMillisecond);

void BM_FullReportToPdf(benchmark::State& state) {
    const RecordStore store = MakeStore(40000);
    const QString file = QDir::tempPath() + QStringLiteral("/oront_bench_report.pdf");
    ReportPrintOptions options;
    options.outPdf = file.toStdString();
    for (auto _ : state) {
        std::string error;
        if (!PrintReportToDevice(store, options, error)) state.SkipWithError(error.c_str());
    }
    state.counters["pages"] = ReportPageCount(40000);
    state.counters["MB"] = static_cast<double>(QFile(file).size()) / 1e6;
    QFile::remove(file);
}
BENCHMARK(BM_FullReportToPdf)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
