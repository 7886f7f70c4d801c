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
#include "site/Monitoring.h"
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

// A register for the archive: every location number of the mixed memory a
// location of one room, with alert and action limits at 0.5 µm that one
// record in a hundred and one in a thousand of a full download exceed.
site::Register MonitoringRegister() {
    std::vector<double> perM3;
    for (const Frame& f : site::FramesOf(FullDownload(0)))
        if (const std::optional<double> v = site::PerM3AtSize(f, 5)) perM3.push_back(*v);
    std::sort(perM3.begin(), perM3.end());
    site::Register reg;
    site::Room room;
    room.id = "R1";
    room.name = "Bench room";
    room.areaM2 = 100;
    room.classTenths = 80;
    room.state = classify::Occupancy::AtRest;
    for (int number = 0; number <= 255; ++number) room.locations.push_back({number, "", 0, 0, false, {}, {}});
    room.limits = {{5, perM3[perM3.size() * 99 / 100], perM3[perM3.size() * 999 / 1000], {}}};
    reg.rooms = {room};
    return reg;
}

// The base archive with the register stored (which judged every record).
const std::string& MonitoredArchive() {
    static const std::string path = [] {
        const std::filesystem::path file = TestOutputFolder("bench-archive") /
                                           ("monitored-" + std::to_string(archive::kSchemaVersion) + "-p99.sqlite");
        if (!std::filesystem::exists(file)) {
            const std::filesystem::path building = file.string() + ".building";
            std::filesystem::copy_file(BaseArchive(), building, std::filesystem::copy_options::overwrite_existing);
            archive::Archive a;
            std::string error;
            if (!a.Open(building.string(), archive::OpenMode::ReadWrite, error) ||
                !a.StoreRegister(MonitoringRegister(), error))
                std::abort();
            std::filesystem::rename(building, file);
        }
        return file.string();
    }();
    return path;
}

// Each iteration archives one more full download of new records into a copy
// of the archive (which grows from 125 to 125 + iterations downloads); with
// range(0) 1, the archive keeps a register, whose limits judge the new
// records and find their adverse trends in the same transaction.
void ArchiveOneMoreFullDownload(benchmark::State& state) {
    const std::string base = state.range(0) != 0 ? MonitoredArchive() : BaseArchive();
    const std::string copy = (TestOutputFolder("bench-archive") / "copy.sqlite").string();
    std::filesystem::copy_file(base, copy, std::filesystem::copy_options::overwrite_existing);
    std::vector<MemoryImage> images;
    for (int k = 0; k < 5; ++k) images.push_back(FullDownload(kDownloads + k));
    std::size_t next = 0;
    double monitoringMs = 0.0;
    for (auto _ : state) {
        archive::Archive a;
        std::string error;
        archive::Download d;
        if (!a.Open(copy, archive::OpenMode::ReadWrite, error) || !a.AddDownload(images[next++], 0, &d, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(d.newRecords);
        monitoringMs += a.LastMonitoringMs();
    }
    // Of each download's time, the judging of its new records (0 without
    // the register).
    state.counters["monitoring_ms"] = monitoringMs / static_cast<double>(state.iterations());
    std::filesystem::remove(copy);
}
BENCHMARK(ArchiveOneMoreFullDownload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

// A full download's records judged against the register, as a download's
// summary judges them.
void JudgeFullDownload(benchmark::State& state) {
    const site::Register reg = MonitoringRegister();
    const std::vector<Frame> frames = site::FramesOf(FullDownload(kDownloads));
    int above = 0;
    for (auto _ : state) {
        const site::DownloadJudgement judged = site::JudgeDownload(reg, frames);
        above = judged.alert + judged.action;
        benchmark::DoNotOptimize(judged.levels.data());
    }
    state.counters["records"] = static_cast<double>(frames.size());
    state.counters["above_a_limit"] = above;
}
BENCHMARK(JudgeFullDownload)->Unit(benchmark::kMillisecond);

// Every excursion and adverse trend of the whole archive, as `excursions`
// lists them.
void ExcursionsOfTheWholeArchive(benchmark::State& state) {
    const std::string path = MonitoredArchive();
    std::vector<archive::ExcursionRow> excursions;
    std::vector<archive::AdverseTrendRow> trends;
    for (auto _ : state) {
        archive::Archive a;
        std::string error;
        if (!a.Open(path, archive::OpenMode::ReadOnly, error) || !a.Excursions({}, excursions, trends, error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(excursions.data());
    }
    state.counters["excursions"] = static_cast<double>(excursions.size());
    state.counters["adverse_trends"] = static_cast<double>(trends.size());
}
BENCHMARK(ExcursionsOfTheWholeArchive)->Unit(benchmark::kMillisecond);

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
