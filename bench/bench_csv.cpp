// Writing the CSV file of a full memory, against one plain write of the same
// bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "export/CsvWriter.h"
#include "records/RecordFrame.h"
#include "records/TableBuild.h"

using namespace oront;

namespace {

// A full, wrapped memory: Auto and Manual records between ISO runs.
const RecordStore& FullStore() {
    static const RecordStore store = [] {
        RecordStore s;
        std::vector<RawRecord> records;
        std::uint32_t seed = 1;
        while (records.size() < static_cast<std::size_t>(kMaxRecords)) {
            RawRecord r;
            r.year = 15;
            r.month = 3;
            r.day = 7;
            r.hour = static_cast<std::uint8_t>(seed % 24);
            r.unit = static_cast<std::uint8_t>(seed % 4);
            r.sizeCode = (seed % 2) ? 11 : 0;
            r.overRange = (seed % 7) == 0;
            r.counts = {seed * 37 % 100000, seed * 11 % 20000, seed % 500, 0, 0, 0};
            if (seed % 3) {
                r.mode = static_cast<std::uint8_t>(seed % 2);
                r.point = r.cyclesPerPoint = r.cycle = 1;
                records.push_back(r);
                ++seed;
                continue;
            }
            const int points = 1 + static_cast<int>(seed % 5), cycles = 1 + static_cast<int>(seed % 3);
            r.mode = 2;
            for (int p = 1; p <= points; ++p)
                for (int c = 1; c <= cycles; ++c) {
                    r.point = static_cast<std::uint8_t>(p);
                    r.cyclesPerPoint = static_cast<std::uint16_t>(cycles);
                    r.cycle = static_cast<std::uint16_t>(c);
                    r.runEnd = p == points && c == cycles;
                    r.counts[0] = seed++ * 37 % 100000;
                    records.push_back(r);
                }
        }
        records.resize(static_cast<std::size_t>(kMaxRecords));
        ResetForDownload(s);
        s.m_nRecordCount = kMaxRecords;
        s.m_nWrapPosition = 77;
        s.m_nReportLineCount = 0;
        s.m_records.resize(records.size());
        FrameDecoder decoder;
        decoder.Reset();
        for (std::size_t i = 0; i < records.size(); ++i) {
            const Frame f = EncodeRecordFrame(records[i]);
            decoder.DecodePacketA(f.data(), s.m_records[i]);
            decoder.DecodePacketB(f.data() + 64, s.m_records[i]);
        }
        BuildResultTable(s, TFactorTable{});
        BuildReportTable(s);
        return s;
    }();
    return store;
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
void BM_PlainWriteSafeReplace(benchmark::State& state) {
    const RecordStore& s = FullStore();
    const std::string bytes = CsvText(s, 0, s.m_nLastRow);
    const std::string path = BenchPath("bench_csv_replace.csv");
    for (auto _ : state) {
        std::string temp = path + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
            ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0)
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(bytes.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_PlainWriteSafeReplace)->Unit(benchmark::kMillisecond);

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
