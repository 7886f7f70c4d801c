#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveText.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"

using namespace oront;
using namespace oront::archive;
using namespace oront::test;

namespace {

std::string FreshArchive(const std::string& name) {
    return (FreshTestFolder("archive-" + name) / "archive.sqlite").string();
}

std::vector<Download> History(const std::string& path) {
    Archive a;
    std::string error;
    std::vector<Download> downloads;
    EXPECT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
    EXPECT_TRUE(a.Downloads(downloads, error)) << error;
    return downloads;
}

std::vector<Record> Records(const std::string& path, const RecordFilter& filter = {}) {
    Archive a;
    std::string error;
    std::vector<Record> records;
    EXPECT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
    EXPECT_TRUE(a.ForEachRecord(
        filter, [&](const Record& r) { return records.push_back(r), true; }, error))
        << error;
    return records;
}

Download Add(const std::string& path, const MemoryImage& image, std::int64_t time = 1000) {
    Archive a;
    std::string error;
    Download d;
    EXPECT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_TRUE(a.AddDownload(image, time, &d, error)) << error;
    return d;
}

// The distinct record frames of an image.
std::set<std::vector<std::uint8_t>> Frames(const MemoryImage& image) {
    std::set<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 64; at + 128 <= image.size(); at += 128)
        frames.emplace(image.begin() + static_cast<std::ptrdiff_t>(at),
                       image.begin() + static_cast<std::ptrdiff_t>(at + 128));
    return frames;
}

std::int64_t Pragma(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

void Sql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

}  // namespace

// Archive, the same memory again, an erase and a new download: every
// download kept with its exact image, every record once, with the download
// that first brought it, listed in time order and filtered.
TEST(Archive, KeepsDownloadsAndRecordsOnce) {
    const std::string path = FreshArchive("keeps");
    const MemoryImage demo = MakeDemoImage();
    const MemoryImage full = MakeFullDemoImage();
    const MemoryImage three = ThreeRecordImage();

    const Download first = Add(path, demo, 100);
    EXPECT_EQ(first.id, 1);
    EXPECT_EQ(first.recordCount, 300);
    EXPECT_EQ(first.newRecords, static_cast<int>(Frames(demo).size()));
    EXPECT_EQ(first.serial, kDemoSerialNumber);
    const Download again = Add(path, demo, 200);
    EXPECT_EQ(again.id, 2);
    EXPECT_EQ(again.newRecords, 0);
    EXPECT_EQ(Records(path).size(), Frames(demo).size());

    // After an erase the instrument holds other records: the old ones stay.
    const Download wrapped = Add(path, full, 300);
    EXPECT_EQ(wrapped.wrapPosition, kFullDemoWrapPosition);
    const Download after = Add(path, three, 400);
    std::set<std::vector<std::uint8_t>> all = Frames(demo);
    for (const MemoryImage* image : {&full, &three})
        for (const auto& f : Frames(*image)) all.insert(f);
    const std::vector<Record> records = Records(path);
    ASSERT_EQ(records.size(), all.size());
    EXPECT_EQ(wrapped.newRecords + after.newRecords + first.newRecords, static_cast<int>(all.size()));

    std::set<std::vector<std::uint8_t>> listed;
    const auto demoFrames = Frames(demo);
    const auto fullFrames = Frames(full);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        const std::vector<std::uint8_t> frame(r.frame.begin(), r.frame.end());
        listed.insert(frame);
        if (i > 0) {
            EXPECT_LE(FrameTimeKey(records[i - 1].frame), FrameTimeKey(r.frame));
        }
        EXPECT_EQ(r.firstDownload, demoFrames.count(frame) ? 1 : fullFrames.count(frame) ? 3 : 4);
    }
    EXPECT_EQ(listed, all);

    const std::vector<Download> history = History(path);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history[1].time, 200);
    EXPECT_EQ(history[3].serial, 2150043u);
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
    const MemoryImage* images[] = {&demo, &demo, &full, &three};
    for (int id = 1; id <= 4; ++id) {
        MemoryImage image;
        ASSERT_TRUE(a.LoadImage(id, image, error)) << error;
        EXPECT_TRUE(image == *images[id - 1]) << "download " << id;
    }
    MemoryImage none;
    EXPECT_FALSE(a.LoadImage(5, none, error));

    // Filters: one location over one day, both ends included.
    RecordFilter filter;
    filter.location = 3;
    filter.from = ParseTimeKey("2015-03-02", false);
    filter.to = ParseTimeKey("2015-03-02", true);
    const std::vector<Record> some = Records(path, filter);
    std::size_t expected = 0;
    for (const Record& r : records)
        expected += DecodeRecord(r).location == 3 && DecodeRecord(r).dateTime.starts_with("2015-03-02");
    EXPECT_GT(some.size(), 0u);
    EXPECT_EQ(some.size(), expected);
    filter = {};
    filter.serial = 2150043;
    EXPECT_EQ(Records(path, filter).size(), 1u);
    EXPECT_FALSE(ParseTimeKey("2015-3-02", false));
}

// A process killed inside the archive transaction leaves the archive as it
// was, and the next download is archived as usual.
TEST(Archive, KillDuringTheTransactionLeavesItIntact) {
    const std::string path = FreshArchive("kill");
    Add(path, ThreeRecordImage());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Archive a;
        std::string error;
        if (!a.Open(path, OpenMode::ReadWrite, error)) _exit(1);
        a.beforeCommit = [&] {
            (void)!write(ready[1], "x", 1);
            pause();
        };
        a.AddDownload(MakeFullDemoImage(), 2000, nullptr, error);
        _exit(0);
    }
    close(ready[1]);  // a child that ends without pausing ends the read
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(History(path).size(), 1u);
    EXPECT_EQ(Records(path).size(), 3u);
    EXPECT_EQ(Add(path, MakeDemoImage()).id, 2);
    EXPECT_EQ(Pragma(path, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"), 0);
}

// Two programs archiving at once both succeed.
TEST(Archive, TwoWritersAtOnce) {
    const std::string path = FreshArchive("writers");
    Add(path, ThreeRecordImage());  // created before both start
    const MemoryImage images[2] = {MakeDemoImage(), MakeFullDemoImage()};
    bool ok[2] = {};
    std::string errors[2];
    std::vector<std::thread> writers;
    for (int w = 0; w < 2; ++w)
        writers.emplace_back([&, w] {
            ok[w] = true;
            for (int k = 0; k < 4 && ok[w]; ++k) {
                Archive a;
                ok[w] = a.Open(path, OpenMode::ReadWrite, errors[w]) && a.AddDownload(images[w], k, nullptr, errors[w]);
            }
        });
    for (std::thread& t : writers) t.join();
    EXPECT_TRUE(ok[0]) << errors[0];
    EXPECT_TRUE(ok[1]) << errors[1];
    const std::vector<Download> history = History(path);
    ASSERT_EQ(history.size(), 9u);
    for (std::size_t i = 0; i < history.size(); ++i) EXPECT_EQ(history[i].id, static_cast<std::int64_t>(i + 1));
    EXPECT_EQ(Records(path).size(), 3 + Frames(images[0]).size() + Frames(images[1]).size());
}

// What is at the path and is no archive of this layout stays as it is:
// a corrupt file, another program's database, an archive of a newer layout.
TEST(Archive, RefusesWhatIsNoArchiveAndLeavesIt) {
    const std::string path = FreshArchive("foreign");
    const auto refused = [&](const std::string& what) {
        const std::string before = ReadFileBytes(path);
        for (OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
            Archive a;
            std::string error;
            EXPECT_FALSE(a.Open(path, mode, error)) << what;
            EXPECT_NE(error.find(path), std::string::npos) << what << ": " << error;
        }
        EXPECT_EQ(ReadFileBytes(path), before) << what;
    };
    std::ofstream(path, std::ios::binary) << std::string(5000, '\x5a');
    refused("a corrupt file");
    std::filesystem::remove(path);
    Sql(path, "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine')");
    refused("another program's database");
    std::filesystem::remove(path);
    Add(path, ThreeRecordImage());
    Sql(path, "PRAGMA user_version = 99");
    refused("a newer layout");
    Sql(path, "PRAGMA user_version = -5");
    refused("a layout below 0");
    for (OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
        Archive a;
        std::string error;
        a.Open(path, mode, error);
        EXPECT_NE(error.find("not an archive of this program"), std::string::npos) << error;
    }
    std::filesystem::remove(path);
    // A damaged archive: its header kept, its pages overwritten.
    Add(path, MakeDemoImage());
    std::string bytes = ReadFileBytes(path);
    for (std::size_t i = 100; i < bytes.size(); ++i) bytes[i] = '\x5a';
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    refused("a damaged archive");
    // A damaged empty database (its first page cut short): read-only it
    // holds nothing; for writing its layout cannot be created, and the
    // switch to WAL must not have rewritten its header before that.
    std::filesystem::remove(path);
    std::string cut("SQLite format 3", 16);
    cut += std::string("\x02\x00\x01\x01\x00\x40\x20\x20\x00\x00\x00\x02\x00\x00\x00\x01\x01", 17);
    cut.resize(77);
    cut += std::string("\x02\x00\x2e\x63\x01\x0d\x80", 7);
    cut.resize(95);
    cut += std::string("\x02\x00\x2e\x63\x01\x0d", 6);
    std::ofstream(path, std::ios::binary) << cut;
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        Archive a;
        std::string error;
        EXPECT_EQ(a.Open(path, mode, error), mode == OpenMode::ReadOnly) << error;
    }
    EXPECT_EQ(ReadFileBytes(path), cut);
}

// An archive the program may not write is reported, and left as it is.
TEST(Archive, ReadOnlyArchiveIsReported) {
    const std::string path = FreshArchive("readonly");
    Add(path, ThreeRecordImage());
    const std::string before = ReadFileBytes(path);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // root writes whatever the mode says: the writer runs as nobody.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        Archive a;
        std::string error;
        const bool opened = a.Open(path, OpenMode::ReadWrite, error);
        const bool added = opened && a.AddDownload(MakeDemoImage(), 1, nullptr, error);
        _exit(added ? 1 : error.find("read-only") != std::string::npos ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: archived, 2: another reason";
    EXPECT_EQ(ReadFileBytes(path), before);
    chmod(path.c_str(), 0644);
}

// An archive of an older layout (here version 0: an SQLite file with
// nothing in it yet) is brought up to the current layout when opened for
// writing, and only then.
TEST(Archive, MigratesAnOlderLayout) {
    const std::string path = FreshArchive("migrate");
    Sql(path, "PRAGMA user_version = 0; VACUUM");
    ASSERT_GT(std::filesystem::file_size(path), 0u);
    EXPECT_TRUE(History(path).empty());
    EXPECT_EQ(Pragma(path, "PRAGMA user_version"), 0);
    EXPECT_EQ(Add(path, ThreeRecordImage()).newRecords, 3);
    EXPECT_EQ(Pragma(path, "PRAGMA user_version"), kSchemaVersion);
    EXPECT_EQ(Pragma(path, "SELECT count(*) FROM sqlite_schema WHERE name = 'records_location'"), 1);
    EXPECT_EQ(History(path).size(), 1u);
}
