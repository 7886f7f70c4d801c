// Record table timings: filling the table from a full result table,
// opening and closing a group, and scrolling the whole table.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <memory>

#include "controls/qt/DialogUnits.h"
#include "records/CFormat.h"
#include "support/StoreBuilders.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"
#include "table/qt/RecordTableCtrl.h"

namespace oront {
namespace {

constexpr int kResultRows = 24000;

// 24000 result rows: blocks of 20 plain rows and one run of 2 points x 5
// cycles (2 group rows, 10 members, 1 summary), repeated.
const RecordStore& FullStore() {
    static const std::unique_ptr<test::StoreBuilder> builder = [] {
        auto b = std::make_unique<test::StoreBuilder>();
        b->store.m_rows.reserve(kResultRows + 40);
        while (b->store.m_nLastRow + 1 < kResultRows) {
            for (int i = 0; i < 20; ++i) b->AddPlain(i % 2 ? "0" : "1", "123456", "2345", "12");
            b->AddRun(2, 5);
        }
        b->store.m_rows.resize(kResultRows);
        b->store.m_nLastRow = kResultRows - 1;
        return b;
    }();
    return builder->store;
}

std::unique_ptr<CRecordTableCtrl> ShownTable(RecordStore& store) {
    auto table = std::make_unique<CRecordTableCtrl>(store, nullptr);
    table->setFont(DialogFont(QStringLiteral("Arial"), 9));
    table->resize(844, 382);  // control 1007 at the main window's size
    table->show();
    QApplication::processEvents();
    return table;
}

// Empties the shown table untimed and times its fill from the store.
void TimeFills(benchmark::State& state, CRecordTableCtrl& table) {
    for (auto _ : state) {
        state.PauseTiming();
        table.DeleteAllItems();
        QApplication::processEvents();
        state.ResumeTiming();
        table.FillRecordTable();
        benchmark::DoNotOptimize(table.GetItemCount());
    }
    state.counters["rows"] = table.GetItemCount();
}

void BM_FillMemoryReportList(benchmark::State& state) {
    RecordStore store = FullStore();
    for (auto _ : state) {
        MemoryReportList list;
        RecordTable table(store, list);
        table.FillRecordTable();
        benchmark::DoNotOptimize(list.GetItemCount());
    }
}
BENCHMARK(BM_FillMemoryReportList)->Unit(benchmark::kMillisecond);

void BM_FillRecordTableCtrl(benchmark::State& state) {
    RecordStore store = FullStore();
    auto table = ShownTable(store);
    TimeFills(state, *table);
}
BENCHMARK(BM_FillRecordTableCtrl)->Unit(benchmark::kMillisecond);

// 24000 plain rows: one table row per result row.
void BM_FillRecordTableCtrlPlain(benchmark::State& state) {
    test::StoreBuilder b;
    b.store.m_rows.reserve(kResultRows);
    for (int i = 0; i < kResultRows; ++i) b.AddPlain(i % 2 ? "0" : "1", "123456", "2345", "12");
    auto table = ShownTable(b.store);
    TimeFills(state, *table);
}
BENCHMARK(BM_FillRecordTableCtrlPlain)->Unit(benchmark::kMillisecond);

// The first group of the table opened and closed again (the worst case: every
// row below it moves).
int FirstGroupRow(const IReportList& list) {
    for (int r = 0; r < list.GetItemCount(); ++r)
        if (list.GetItemImage(r, col::Points) == image::kGroupCollapsed) return r;
    return -1;
}

void BM_ExpandGroup(benchmark::State& state) {
    RecordStore store = FullStore();
    auto table = ShownTable(store);
    table->FillRecordTable();
    const int row = FirstGroupRow(*table);
    const int index = CAtoi(table->GetItemText(row, col::Cnt));
    for (auto _ : state) {
        table->SuspendRedraw();
        table->Logic().ExpandGroupRow(row, index);
        table->ResumeRedraw();
        state.PauseTiming();
        table->SuspendRedraw();
        table->Logic().CollapseGroupRow(row, index);
        table->ResumeRedraw();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExpandGroup)->Unit(benchmark::kMicrosecond);

void BM_CollapseGroup(benchmark::State& state) {
    RecordStore store = FullStore();
    auto table = ShownTable(store);
    table->FillRecordTable();
    const int row = FirstGroupRow(*table);
    const int index = CAtoi(table->GetItemText(row, col::Cnt));
    for (auto _ : state) {
        state.PauseTiming();
        table->SuspendRedraw();
        table->Logic().ExpandGroupRow(row, index);
        table->ResumeRedraw();
        state.ResumeTiming();
        table->SuspendRedraw();
        table->Logic().CollapseGroupRow(row, index);
        table->ResumeRedraw();
    }
}
BENCHMARK(BM_CollapseGroup)->Unit(benchmark::kMicrosecond);

// A run of one point with many cycles at the top of a full table: every
// member row is inserted above all the others.
void BM_ExpandCollapseLargeGroup(benchmark::State& state) {
    test::StoreBuilder b;
    b.AddRun(1, static_cast<int>(state.range(0)));
    while (b.store.m_nLastRow + 1 < kResultRows) b.AddPlain("0");
    auto table = ShownTable(b.store);
    table->FillRecordTable();
    for (auto _ : state) {
        table->SuspendRedraw();
        table->Logic().ExpandGroupRow(0, 0);
        table->ResumeRedraw();
        table->SuspendRedraw();
        table->Logic().CollapseGroupRow(0, 0);
        table->ResumeRedraw();
    }
}
BENCHMARK(BM_ExpandCollapseLargeGroup)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);

// One frame: scroll down by a page and paint the list at once. The whole
// table is scrolled from top to bottom; the slowest frame is reported.
void BM_ScrollFrame(benchmark::State& state) {
    RecordStore store = FullStore();
    auto table = ShownTable(store);
    table->FillRecordTable();
    QApplication::processEvents();
    QScrollBar* bar = table->verticalScrollBar();
    double slowestMs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
        table->viewport()->repaint();
        slowestMs = std::max(slowestMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    state.counters["slowest_ms"] = slowestMs;
    state.counters["pages"] = static_cast<double>(bar->maximum()) / bar->pageStep() + 1;
}
BENCHMARK(BM_ScrollFrame)->Unit(benchmark::kMillisecond)->Iterations(1400);

}  // namespace
}  // namespace oront

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
