// The download archive at scale: an archive of 125 full downloads of
// distinct records (1,000,000 records), archiving one more full download,
// listing the history, one location's trend, and the bytes a record takes on disk (images and
// indexes included). The archive is built once and kept in the test output
// folder (bench-archive/), since building it takes a while.
//
// The same on a PostgreSQL server (Pg...): a throwaway server on a Unix
// socket (tests/support/pg-server.sh), its cluster kept in the same folder;
// and eight PCs archiving a full download each at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "archive/Archive.h"
#include "archive/PostgresSchema.h"
#include "archive/Trend.h"
#include "pgstore/PgArchive.h"
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

// The server's archive of 125 full downloads (as BaseArchive), its
// connection string; empty when the server does not start.
const std::string& ServerArchive() {
    static const std::string where = [] {
        const char* source = std::getenv("ORONT_SOURCE_DIR");
        const std::string script =
            std::string(source != nullptr ? source : ORONT_SOURCE_DIR_DEFAULT) + "/tests/support/pg-server.sh";
        const std::string dir = (TestOutputFolder("bench-archive") / "pg").string();
        if (std::system((script + " start " + dir + " > " + dir + ".env 2> " + dir + ".err").c_str()) != 0)
            return std::string();
        static const std::string stop = script + " stop " + dir + " > /dev/null";
        std::atexit([] { (void)std::system(stop.c_str()); });
        const std::string uri = "host=" + dir + " user=oront dbname=postgres";
        archive::PgArchive a;
        std::string error;
        if (!a.Open(uri, error)) {
            // A new cluster: set up and filled once.
            if (std::system(("psql -q -v ON_ERROR_STOP=1 '" + uri + "' > /dev/null 2>&1 <<'SQL'\n" +
                             archive::PostgresSetupSql() + "SQL")
                                .c_str()) != 0 ||
                !a.Open(uri, error))
                return std::string();
        }
        std::vector<archive::Download> downloads;
        if (!a.Downloads(downloads, error)) return std::string();
        for (int k = static_cast<int>(downloads.size()); k < kDownloads; ++k)
            if (!a.AddDownload(FullDownload(k), k, nullptr, error)) return std::string();
        return uri;
    }();
    return where;
}

// The next full downloads of new records for the server (after the ones it
// has).
std::vector<MemoryImage> NewServerDownloads(archive::PgArchive& a, int count) {
    std::vector<archive::Download> downloads;
    std::string error;
    a.Downloads(downloads, error);
    std::vector<MemoryImage> images;
    for (int k = 0; k < count; ++k) images.push_back(FullDownload(static_cast<int>(downloads.size()) + k));
    return images;
}

void PgArchiveOneMoreFullDownload(benchmark::State& state) {
    const std::string& where = ServerArchive();
    archive::PgArchive a;
    std::string error;
    if (where.empty() || !a.Open(where, error)) return state.SkipWithError("no PostgreSQL server");
    const std::vector<MemoryImage> images = NewServerDownloads(a, static_cast<int>(state.max_iterations));
    std::size_t next = 0;
    for (auto _ : state) {
        archive::Download d;
        if (!a.AddDownload(images[next++], 0, &d, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(d.newRecords);
    }
}
BENCHMARK(PgArchiveOneMoreFullDownload)->Unit(benchmark::kMillisecond)->Iterations(5);

void PgHistory(benchmark::State& state) {
    const std::string& where = ServerArchive();
    archive::PgArchive a;
    std::string error;
    if (where.empty() || !a.Open(where, error)) return state.SkipWithError("no PostgreSQL server");
    std::vector<archive::Download> downloads;
    for (auto _ : state) {
        if (!a.Downloads(downloads, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(downloads.data());
    }
    state.counters["downloads"] = static_cast<double>(downloads.size());
}
BENCHMARK(PgHistory)->Unit(benchmark::kMillisecond);

void PgTrendOfOneLocation(benchmark::State& state) {
    const std::string& where = ServerArchive();
    archive::PgArchive a;
    std::string error;
    if (where.empty() || !a.Open(where, error)) return state.SkipWithError("no PostgreSQL server");
    std::vector<int> locations;
    a.Locations(locations, error);
    // The location with the most records, as TrendOfOneLocation takes it.
    std::map<int, int> perLocation;
    for (const archive::Frame& f : site::FramesOf(FullDownload(0))) ++perLocation[f[1]];
    const auto busiest = std::max_element(perLocation.begin(), perLocation.end(),
                                          [](const auto& x, const auto& y) { return x.second < y.second; });
    archive::TrendQuery query;
    query.location = busiest->first;
    query.target.classTenths = 80;
    archive::Trend trend;
    std::size_t records = 0;
    for (auto _ : state) {
        if (!archive::BuildTrend(a, query, trend, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(trend.points.data());
    }
    archive::RecordFilter all;
    a.ForEachRecord(all, [&records](const archive::Record&) { return ++records, true; }, error);
    state.counters["archive_records"] = static_cast<double>(records);
    state.counters["points"] = static_cast<double>(trend.points.size());
}
BENCHMARK(PgTrendOfOneLocation)->Unit(benchmark::kMillisecond);

// Eight PCs each archive a full download of new records at once: the time
// until the last is in.
void PgEightConcurrentFullDownloads(benchmark::State& state) {
    const std::string& where = ServerArchive();
    archive::PgArchive a;
    std::string error;
    if (where.empty() || !a.Open(where, error)) return state.SkipWithError("no PostgreSQL server");
    for (auto _ : state) {
        const std::vector<MemoryImage> images = NewServerDownloads(a, 8);
        const auto start = std::chrono::steady_clock::now();
        std::vector<pid_t> children;
        for (const MemoryImage& image : images) {
            const pid_t child = fork();
            if (child == 0) {
                archive::PgArchive pc;
                std::string why;
                _exit(pc.Open(where, why) && pc.AddDownload(image, 0, nullptr, why, {}) ? 0 : 1);
            }
            children.push_back(child);
        }
        bool all = true;
        for (const pid_t child : children) {
            int status = 0;
            all = waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0 && all;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!all) state.SkipWithError("a download was not archived");
    }
}
BENCHMARK(PgEightConcurrentFullDownloads)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
