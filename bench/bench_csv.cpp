// Writing the CSV file of a full memory, against one plain write of the same
// bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/OutputFile.h"
#include "export/CsvWriter.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

using namespace oront;

namespace {

// A full, wrapped memory: Auto and Manual records between ISO runs.
const RecordStore& FullStore() {
    return test::MixedMemoryStore();
}

std::string BenchPath(const char* name) {
    const char* dir = std::getenv("ORONT_BENCH_DIR");
    return (std::filesystem::path(dir ? dir : std::filesystem::temp_directory_path().string()) / name).string();
}

void BM_CsvWriteFile(benchmark::State& state) {
    const RecordStore& s = FullStore();
    const std::string path = BenchPath("bench_csv_writer.csv");
    for (auto _ : state)
        if (!WriteCsvFile(s, path, 0, s.m_nLastRow)) state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(std::filesystem::file_size(path)));
    state.counters["rows"] = s.m_nLastRow + 1;
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvWriteFile)->Unit(benchmark::kMillisecond);

// The same bytes written with one write and the same flush to disk.
void BM_PlainWriteSameBytes(benchmark::State& state) {
    const RecordStore& s = FullStore();
    const std::string bytes = CsvText(s, 0, s.m_nLastRow);
    const std::string path = BenchPath("bench_csv_plain.csv");
    const bool sync = state.range(0) != 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            (sync && ::fsync(fd) != 0))
            state.SkipWithError("write failed");
        if (fd >= 0) ::close(fd);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainWriteSameBytes)->Arg(1)->ArgName("fsync")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWriteSameBytes)->Arg(0)->ArgName("fsync")->Unit(benchmark::kMillisecond);

// The same bytes with the same safe replacement the writer does: a new
// temporary file beside the target, one write, fsync, rename over the target.
bool SafeReplace(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    return fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
           ::fsync(fd) == 0 && ::close(fd) == 0 && ::rename(temp.c_str(), path.c_str()) == 0;
}

void BM_PlainWriteSafeReplace(benchmark::State& state) {
    const RecordStore& s = FullStore();
    const std::string bytes = CsvText(s, 0, s.m_nLastRow);
    const std::string path = BenchPath("bench_csv_replace.csv");
    for (auto _ : state)
        if (!SafeReplace(path, bytes)) state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainWriteSafeReplace)->Unit(benchmark::kMillisecond);

// The same bytes through the program's one safe writer, which also syncs the
// folder after the rename so that the new name itself survives a power cut.
void BM_SafeWriterSameBytes(benchmark::State& state) {
    const RecordStore& s = FullStore();
    const std::string bytes = CsvText(s, 0, s.m_nLastRow);
    const std::string path = BenchPath("bench_csv_safe.csv");
    for (auto _ : state)
        if (!WriteOutputFile(path, bytes).ok()) state.SkipWithError("write failed");
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_SafeWriterSameBytes)->Unit(benchmark::kMillisecond);

// The ratios of the writer's time to the safe writes of the same bytes, each
// iteration timing the three one after another, so that all three meet the
// same disk and the same load: counter ratio_replace against the temporary,
// fsync and rename above, ratio_safe_writer against the program's safe
// writer (which also syncs the folder).
void BM_CsvWriterAgainstSafeWrites(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const RecordStore& s = FullStore();
    const std::string bytes = CsvText(s, 0, s.m_nLastRow);
    const std::string path = BenchPath("bench_csv_ratio.csv");
    Clock::duration writer{};
    Clock::duration replace{};
    Clock::duration safe{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool written = WriteCsvFile(s, path, 0, s.m_nLastRow);
        const auto t1 = Clock::now();
        const bool replaced = SafeReplace(path, bytes);
        const auto t2 = Clock::now();
        const bool kept = WriteOutputFile(path, bytes).ok();
        const auto t3 = Clock::now();
        if (!written || !replaced || !kept) state.SkipWithError("write failed");
        writer += t1 - t0;
        replace += t2 - t1;
        safe += t3 - t2;
    }
    const auto ms = [&state](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count() / static_cast<double>(state.iterations());
    };
    state.counters["writer_ms"] = ms(writer);
    state.counters["replace_ms"] = ms(replace);
    state.counters["safe_writer_ms"] = ms(safe);
    state.counters["ratio_replace"] = ms(writer) / ms(replace);
    state.counters["ratio_safe_writer"] = ms(writer) / ms(safe);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvWriterAgainstSafeWrites)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Building the bytes alone.
void BM_CsvTextInMemory(benchmark::State& state) {
    const RecordStore& s = FullStore();
    for (auto _ : state) benchmark::DoNotOptimize(CsvText(s, 0, s.m_nLastRow));
}
BENCHMARK(BM_CsvTextInMemory)->Unit(benchmark::kMillisecond);

// The first 200 rows only, which stay in the cache: the cost of the line
// rules themselves, per row.
void BM_CsvTextCachedRows(benchmark::State& state) {
    const RecordStore& s = FullStore();
    for (auto _ : state) benchmark::DoNotOptimize(CsvText(s, 0, 199));
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_CsvTextCachedRows)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
