// The download archive at scale: an archive of 125 full downloads of
// distinct records (1,000,000 records), archiving one more full download,
// listing the history, one location's trend, and the bytes a record takes on disk (images and
// indexes included). The archive is built once and kept in the test output
// folder (bench-archive/), since building it takes a while.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/Trend.h"
#include "device/MemoryImage.h"
#include "support/RecordBuilders.h"
#include "support/TestEnvironment.h"

using namespace oront;
using namespace oront::test;

namespace {

constexpr int kDownloads = 125;

// Full download `k`: the mixed memory, every record dated in a month of its
// own, so that no two downloads share a record.
MemoryImage FullDownload(int k) {
    std::vector<RawRecord> records = MixedMemory();
    for (RawRecord& r : records) {
        r.year = static_cast<std::uint8_t>(20 + k / 12);
        r.month = static_cast<std::uint8_t>(1 + k % 12);
    }
    return MakeMemoryImage(static_cast<std::uint16_t>(0x8000 | kMixedMemoryWrap), records);
}

// The archive of 125 full downloads, built when missing.
const std::string& BaseArchive() {
    static const std::string path = [] {
        const std::filesystem::path file =
            TestOutputFolder("bench-archive") / ("base-" + std::to_string(archive::kSchemaVersion) + ".sqlite");
        archive::Archive a;
        std::string error;
        std::vector<archive::Download> downloads;
        if (std::filesystem::exists(file)) {
            if (a.Open(file.string(), archive::OpenMode::ReadOnly, error) && a.Downloads(downloads, error) &&
                downloads.size() == kDownloads)
                return file.string();
            std::filesystem::remove(file);
        }
        archive::Archive w;
        if (!w.Open(file.string(), archive::OpenMode::ReadWrite, error)) std::abort();
        for (int k = 0; k < kDownloads; ++k)
            if (!w.AddDownload(FullDownload(k), k, nullptr, error)) std::abort();
        return file.string();
    }();
    return path;
}

// Each iteration archives one more full download of new records into a copy
// of the archive (which grows from 125 to 125 + iterations downloads).
void ArchiveOneMoreFullDownload(benchmark::State& state) {
    const std::string base = BaseArchive();
    const std::string copy = (TestOutputFolder("bench-archive") / "copy.sqlite").string();
    std::filesystem::copy_file(base, copy, std::filesystem::copy_options::overwrite_existing);
    std::vector<MemoryImage> images;
    for (int k = 0; k < 5; ++k) images.push_back(FullDownload(kDownloads + k));
    std::size_t next = 0;
    for (auto _ : state) {
        archive::Archive a;
        std::string error;
        archive::Download d;
        if (!a.Open(copy, archive::OpenMode::ReadWrite, error) || !a.AddDownload(images[next++], 0, &d, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(d.newRecords);
    }
    std::filesystem::remove(copy);
}
BENCHMARK(ArchiveOneMoreFullDownload)->Unit(benchmark::kMillisecond)->Iterations(5);

void History(benchmark::State& state) {
    const std::string base = BaseArchive();
    for (auto _ : state) {
        archive::Archive a;
        std::string error;
        std::vector<archive::Download> downloads;
        if (!a.Open(base, archive::OpenMode::ReadOnly, error) || !a.Downloads(downloads, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(downloads.data());
    }
}
BENCHMARK(History)->Unit(benchmark::kMillisecond);

// The trend of the location with the most records over the whole archive.
void TrendOfOneLocation(benchmark::State& state) {
    const std::string base = BaseArchive();
    archive::Archive a;
    std::string error;
    if (!a.Open(base, archive::OpenMode::ReadOnly, error)) state.SkipWithError(error.c_str());
    std::map<int, int> perLocation;
    a.ForEachRecord(
        {}, [&](const archive::Record& r) { return ++perLocation[r.frame[1]], true; }, error);
    const auto busiest = std::max_element(perLocation.begin(), perLocation.end(),
                                          [](const auto& x, const auto& y) { return x.second < y.second; });
    archive::TrendQuery query;
    query.location = busiest->first;
    query.target.classTenths = 80;
    archive::Trend trend;
    for (auto _ : state) {
        if (!archive::BuildTrend(a, query, trend, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(trend.points.data());
    }
    state.counters["records"] = static_cast<double>(busiest->second);
    state.counters["points"] = static_cast<double>(trend.points.size());
}
BENCHMARK(TrendOfOneLocation)->Unit(benchmark::kMillisecond);

void BytesPerRecord(benchmark::State& state) {
    const std::string base = BaseArchive();
    double bytes = 0;
    for (auto _ : state) bytes = static_cast<double>(std::filesystem::file_size(base));
    state.counters["bytes_per_record"] = bytes / (kDownloads * 8000.0);
    state.counters["archive_MB"] = bytes / 1e6;
}
BENCHMARK(BytesPerRecord)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
