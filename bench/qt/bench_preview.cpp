// Drawing the report with Qt: one preview page at 96 dpi into an off-screen
// image (as every repaint of the page window does), and the full 48000-line
// report (2000 pages) of a memory of one-point runs as a 600-dpi A4
// landscape PDF (as the command-line report command writes it).
//
// Peak memory of the PDF run: /usr/bin/time -v bench_preview
//   --benchmark_filter=BM_FullReportToPdf
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "print/qt/PreView.h"
#include "print/qt/ReportPrinter.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

namespace {

using namespace oront;

// The largest report a full memory gives: 8000 one-point runs, 48000 lines.
const RecordStore& FullStore() {
    return test::OnePointRunStore();
}

void BM_RenderPreviewPage(benchmark::State& state) {
    const RecordStore& store = FullStore();
    const ReportCallbackFn callback = MakeReportCallback(store);
    PrintRequest rq;
    rq.nRowCount = store.m_nReportLineCount;
    rq.nPageCount = ReportPageCount(store.m_nReportLineCount);
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
    const RecordStore& store = FullStore();
    const QString file = QDir::tempPath() + QStringLiteral("/oront_bench_report.pdf");
    ReportPrintOptions options;
    options.outPdf = file.toStdString();
    for (auto _ : state) {
        std::string error;
        if (!PrintReportToDevice(store, options, error)) state.SkipWithError(error.c_str());
    }
    state.counters["pages"] = ReportPageCount(store.m_nReportLineCount);
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
