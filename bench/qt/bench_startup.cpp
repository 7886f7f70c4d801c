// Start-up of the main window and the memory a full instrument memory takes.
//
//   Startup/first   the first main window of the process: construction to its
//                   first paint, with the fonts, pictures and styles loaded cold
//   Startup/warm    the same with everything loaded once
//   ReadFullMemory  "Read Records" of a full 8000-record memory from the
//                   simulated instrument; counter VmRSS_MB is the resident
//                   size of the process afterwards (/proc/self/status)
// Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_startup
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/DataTransferDlg.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "support/RecordBuilders.h"

namespace {

using oront::CDataTransferDlg;

// Notices the first paint of a widget.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return QObject::eventFilter(watched, event);
    }
};

double ResidentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0.0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2) return parts[1].toDouble() / 1024.0;  // kB
        }
    }
    return 0.0;
}

// Creates the main window, shows it and returns once it has painted.
std::unique_ptr<CDataTransferDlg> ShowMainWindow(oront::MemoryImage image) {
    auto dlg = std::make_unique<CDataTransferDlg>(std::make_unique<oront::SimulatedInstrument>(std::move(image)));
    PaintWatch watch;
    dlg->installEventFilter(&watch);
    dlg->show();
    while (!watch.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    dlg->removeEventFilter(&watch);
    return dlg;
}

void StartupFirst(benchmark::State& state) {
    for (auto _ : state) {
        auto dlg = ShowMainWindow({});
        benchmark::DoNotOptimize(dlg.get());
        state.PauseTiming();
        dlg.reset();
        state.ResumeTiming();
    }
}
// Registered first and run once: the cold start of the window.
BENCHMARK(StartupFirst)->Name("Startup/first")->Iterations(1)->Unit(benchmark::kMillisecond);

void StartupWarm(benchmark::State& state) {
    for (auto _ : state) {
        auto dlg = ShowMainWindow({});
        benchmark::DoNotOptimize(dlg.get());
        state.PauseTiming();
        dlg.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(StartupWarm)->Name("Startup/warm")->Unit(benchmark::kMillisecond);

// The image is made for each window and handed to its simulated
// instrument, so that the resident size is the window's and the
// instrument's alone.
void ReadMemory(benchmark::State& state, oront::MemoryImage (*makeImage)()) {
    double rss = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto dlg = ShowMainWindow(makeImage());
        state.ResumeTiming();
        dlg->OnReadRecords();
        state.PauseTiming();
        QCoreApplication::processEvents();
        if (dlg->Logic().Store().m_nRecordCount != 8000) state.SkipWithError("the full memory was not read");
        rss = std::max(rss, ResidentMegabytes());
        dlg.reset();
        state.ResumeTiming();
    }
    state.counters["VmRSS_MB"] = rss;
}
void ReadFullMemory(benchmark::State& state) {
    ReadMemory(state, [] { return oront::MakeFullDemoImage(); });
}
BENCHMARK(ReadFullMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// The largest tables a full memory can give (24000 result rows, 48000 report
// lines).
void ReadOnePointRunsMemory(benchmark::State& state) {
    ReadMemory(state, [] { return oront::MakeMemoryImage(8000, oront::test::OnePointRunMemory()); });
}
BENCHMARK(ReadOnePointRunsMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows archive their downloads: into a throwaway data folder, and
    // with settings of their own, so that the user's archive is left alone
    // and every run starts empty.
    QTemporaryDir data;
    if (!data.isValid()) return 1;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (data.path() + QStringLiteral("/config")).toLocal8Bit());
    qunsetenv("ORONT_ARCHIVE");
    QElapsedTimer appClock;
    appClock.start();
    QApplication app(argc, argv);
    const qint64 appMs = appClock.elapsed();
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("QApplication_ms", std::to_string(appMs));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
