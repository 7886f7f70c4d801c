#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
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
#include "support/gtest/SkipOrFail.h"

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

constexpr uid_t kNobody = 65534;

// Runs `work` in a child as user nobody (as root does not mind permissions)
// and returns what it returned; "child failed" when it could not run.
std::string AsNobody(const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return "child failed";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string out = "cannot become nobody";
        if (geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0))
            out = work();
        (void)!write(fds[1], out.data(), out.size());
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return out;
}

// Everything a reader does, as one text: the downloads, each image against
// the one archived, the records and the verification; "ok" when all went well.
std::string ReadEverything(const std::string& path, const std::vector<MemoryImage>& images) {
    Archive a;
    std::string error;
    std::vector<Download> downloads;
    if (!a.Open(path, OpenMode::ReadOnly, error) || !a.Downloads(downloads, error)) return "read: " + error;
    if (downloads.size() != images.size()) return "downloads: " + std::to_string(downloads.size());
    for (std::size_t k = 0; k < images.size(); ++k) {
        MemoryImage image;
        if (!a.LoadImage(downloads[k].id, image, error)) return "image: " + error;
        if (image != images[k]) return "image " + std::to_string(k + 1) + " differs";
    }
    std::size_t records = 0;
    if (!a.ForEachRecord(
            {}, [&](const Record&) { return ++records, true; }, error))
        return "records: " + error;
    Verification v;
    if (!a.Verify(v, error)) return "verify: " + error;
    if (!v.Sound() || v.records != static_cast<std::int64_t>(records)) return "verify: damaged";
    return "ok";
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
    // Days the calendar does not have.
    for (const char* day : {"2015-02-29", "2015-02-30", "2015-04-31", "2015-13-01", "2015-00-10", "2015-01-32"})
        EXPECT_FALSE(ParseTimeKey(day, false)) << day;
    for (const char* day : {"2016-02-29", "2000-02-29", "2015-12-31"}) EXPECT_TRUE(ParseTimeKey(day, true)) << day;
}

// A process killed inside the archive transaction leaves the archive as it
// was, and the next download is archived as usual; also when it was the
// very first download of a new archive: the journal it left is rolled back
// by the next reader who may write the archive, and one who may not is told
// what recovers it.
TEST(Archive, KillDuringTheTransactionLeavesItIntact) {
    for (const bool first : {false, true}) {
        SCOPED_TRACE(first ? "the first download" : "a later download");
        const std::string path = FreshArchive("kill");
        if (!first) Add(path, ThreeRecordImage());
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Archive a;
            std::string error;
            if (!a.Open(path, OpenMode::ReadWrite, error)) _exit(1);
            a.SetCacheKiB(64);  // the download spills into the file before the commit
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

        if (first && geteuid() == 0) {
            chmod(path.c_str(), 0644);
            const std::string refused = AsNobody([&] {
                Archive a;
                std::string error;
                return a.Open(path, OpenMode::ReadOnly, error) ? std::string("opened") : error;
            });
            EXPECT_NE(refused.find("needs one write to recover"), std::string::npos) << refused;
            EXPECT_NE(refused.find("oront-v208-cli verify-archive"), std::string::npos) << refused;
        }
        EXPECT_EQ(History(path).size(), first ? 0u : 1u);
        EXPECT_EQ(Records(path).size(), first ? 0u : 3u);
        EXPECT_EQ(FolderEntries(std::filesystem::path(path).parent_path()), std::vector<std::string>{"archive.sqlite"});
        EXPECT_EQ(Add(path, MakeDemoImage()).id, first ? 1 : 2);
        EXPECT_EQ(Pragma(path, "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"), 0);
    }
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

// What is at the path and is no archive of this program stays as it is,
// for reading and writing, and nothing is created beside it: an empty file,
// a corrupt file, another program's database (also an empty one), an
// archive of a newer layout, a damaged one.
TEST(Archive, RefusesWhatIsNoArchiveAndLeavesIt) {
    const std::string path = FreshArchive("foreign");
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    const auto refused = [&](const std::string& what, const char* reason) {
        const std::string before = ReadFileBytes(path);
        for (OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
            Archive a;
            std::string error;
            EXPECT_FALSE(a.Open(path, mode, error)) << what;
            EXPECT_NE(error.find(path), std::string::npos) << what << ": " << error;
            EXPECT_NE(error.find(reason), std::string::npos) << what << ": " << error;
        }
        EXPECT_EQ(ReadFileBytes(path), before) << what;
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"archive.sqlite"}) << what;
    };
    std::ofstream(path, std::ios::binary).close();
    refused("an empty file", "an empty file");
    std::ofstream(path, std::ios::binary) << std::string(5000, '\x5a');
    refused("a corrupt file", "not an SQLite database");
    std::filesystem::remove(path);
    Sql(path, "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine')");
    refused("another program's database", "not an archive of this program");
    std::filesystem::remove(path);
    Sql(path, "PRAGMA user_version = 0; VACUUM");
    refused("another program's empty database", "not an archive of this program");
    std::filesystem::remove(path);
    Add(path, ThreeRecordImage());
    Sql(path, "PRAGMA user_version = 99");
    refused("a newer layout", "written by a newer program");
    Sql(path, "PRAGMA user_version = -5");
    refused("a layout below 0", "not an archive of this program");
    std::filesystem::remove(path);
    // A damaged archive: its header kept, its pages overwritten.
    Add(path, MakeDemoImage());
    std::string bytes = ReadFileBytes(path);
    for (std::size_t i = 100; i < bytes.size(); ++i) bytes[i] = '\x5a';
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    refused("a damaged archive", "not a readable archive");
    // A damaged empty database (its first page cut short).
    std::filesystem::remove(path);
    std::string cut("SQLite format 3", 16);
    cut += std::string("\x02\x00\x01\x01\x00\x40\x20\x20\x00\x00\x00\x02\x00\x00\x00\x01\x01", 17);
    cut.resize(77);
    cut += std::string("\x02\x00\x2e\x63\x01\x0d\x80", 7);
    cut.resize(95);
    cut += std::string("\x02\x00\x2e\x63\x01\x0d", 6);
    std::ofstream(path, std::ios::binary) << cut;
    refused("a damaged empty database", "not an archive of this program");
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

// An archive of layout 1, in the write-ahead-log mode that older versions
// used: read as it is (also where it cannot be written) until a download is
// archived, which brings it to the current layout and the rollback journal
// and takes the checksums of its downloads.
TEST(Archive, MigratesAnOlderLayout) {
    const std::string path = FreshArchive("migrate");
    const std::vector<MemoryImage> images = {ThreeRecordImage(), MakeDemoImage()};
    for (const MemoryImage& image : images) Add(path, image);
    Sql(path,
        "PRAGMA journal_mode = WAL; DROP TABLE organisation; DROP TABLE rooms; DROP TABLE locations;"
        " DROP TABLE limits; DROP TABLE instruments; DROP TABLE excursions; DROP TABLE adverse_trends;"
        " DROP TABLE download_states; DROP TABLE certificates; DROP TABLE users; DROP TABLE audit;"
        " DROP TABLE audit_records; DROP TABLE signatures;"
        " ALTER TABLE downloads DROP COLUMN warnings; ALTER TABLE downloads DROP COLUMN image_sha256;"
        " PRAGMA user_version = 1");
    ASSERT_EQ(ReadFileBytes(path)[18], 2);  // the header's write-ahead-log mode
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    chmod(path.c_str(), 0644);
    EXPECT_EQ(AsNobody([&] { return ReadEverything(path, images); }), "ok");
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"archive.sqlite"});
    EXPECT_EQ(Pragma(path, "PRAGMA user_version"), 1);

    EXPECT_EQ(Add(path, MakeFullDemoImage()).id, 3);
    EXPECT_EQ(Pragma(path, "PRAGMA user_version"), kSchemaVersion);
    EXPECT_EQ(Pragma(path, "SELECT count(*) FROM downloads WHERE length(image_sha256) = 32"), 3);
    EXPECT_EQ(ReadFileBytes(path)[18], 1);  // the rollback journal
    // Layout 3: no register yet, and the older downloads said nothing.
    site::Register reg;
    std::string why;
    Archive migrated;
    ASSERT_TRUE(migrated.Open(path, OpenMode::ReadOnly, why) && migrated.LoadRegister(reg, why)) << why;
    EXPECT_TRUE(reg.Empty());
    std::vector<Download> downloads;
    ASSERT_TRUE(migrated.Downloads(downloads, why)) << why;
    EXPECT_EQ(downloads[0].warnings, "");
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"archive.sqlite"});
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
    MemoryImage image;
    EXPECT_TRUE(a.LoadImage(2, image, error) && image == images[1]) << error;
    // The trail starts with the migration, which binds what the archive held.
    std::vector<audit::Entry> trail;
    ASSERT_TRUE(a.AuditTrail({}, trail, error)) << error;
    ASSERT_GE(trail.size(), 3u);
    EXPECT_EQ(trail[0].event, "archive migrated");
    EXPECT_NE(trail[0].data.find("the archive had no audit trail"), std::string::npos) << trail[0].data;
    EXPECT_EQ(trail[1].event, "user added");
    EXPECT_EQ(trail.back().event, "download archived");
    AuditVerification check;
    ASSERT_TRUE(a.VerifyAudit(check, error)) << error;
    EXPECT_TRUE(check.Sound()) << check.broken << (check.findings.empty() ? "" : check.findings[0]);
}

// Reading creates nothing beside the archive and needs no write access: a
// read-only file in a folder others may write, another user's archive in
// its own folder, a read-only medium. The owner writes afterwards as usual.
TEST(Archive, ReadsWhereItCannotWriteAndCreatesNothing) {
    if (geteuid() != 0) ORONT_SKIP_OR_FAIL("needs root to read as another user and to mount");
    const std::string path = FreshArchive("read-only");
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::vector<MemoryImage> images = {MakeDemoImage(), ThreeRecordImage()};
    for (const MemoryImage& image : images) Add(path, image);
    const std::vector<std::string> alone = {"archive.sqlite"};

    // A read-only file in a folder everyone may write.
    chmod(path.c_str(), 0444);
    chmod(folder.c_str(), 0777);
    EXPECT_EQ(AsNobody([&] { return ReadEverything(path, images); }), "ok");
    EXPECT_EQ(FolderEntries(folder), alone);
    chmod(path.c_str(), 0644);
    chmod(folder.c_str(), 0755);
    images.push_back(MakeFullDemoImage());
    EXPECT_EQ(Add(path, images.back()).id, 3);
    EXPECT_EQ(FolderEntries(folder), alone);

    // Another user's archive in that user's folder (0755).
    EXPECT_EQ(AsNobody([&] { return ReadEverything(path, images); }), "ok");
    EXPECT_EQ(FolderEntries(folder), alone);

    // A read-only medium.
    const std::filesystem::path mount = FreshTestFolder("archive-medium");
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=8m") != 0) ORONT_SKIP_OR_FAIL("cannot mount a tmpfs here");
    std::filesystem::copy_file(path, mount / "archive.sqlite");
    ASSERT_EQ(::mount(nullptr, mount.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(ReadEverything((mount / "archive.sqlite").string(), images), "ok");
    Archive a;
    std::string error;
    EXPECT_FALSE(a.Open((mount / "archive.sqlite").string(), OpenMode::ReadWrite, error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(FolderEntries(mount), alone);
    ::umount(mount.c_str());
}

// Files beside the archive that older versions left while reading (with the
// mode of a read-only archive, or another user's) block no later write; a
// program that still has them open, or a log that holds a write, is named.
TEST(Archive, WriterRecoversCompanionFilesLeftBehind) {
    if (geteuid() != 0) ORONT_SKIP_OR_FAIL("needs root to leave files of another user");
    const std::string path = FreshArchive("companions");
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    Add(path, ThreeRecordImage());
    {
        // nobody archives too: a user of the archive.
        Archive admin;
        std::string error;
        ASSERT_TRUE(admin.Open(path, OpenMode::ReadWrite, error) &&
                    admin.AddUser("nobody", "", audit::Role::Operator, "archives downloads", error))
            << error;
    }
    ASSERT_EQ(chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
    const auto leave = [&](const char* suffix, uid_t owner, mode_t mode, const std::string& bytes) {
        const std::string file = path + suffix;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        ASSERT_EQ(chown(file.c_str(), owner, owner), 0);
        ASSERT_EQ(chmod(file.c_str(), mode), 0);
    };
    const auto archiveAsNobody = [&] {
        return AsNobody([&] {
            Archive a;
            std::string error;
            return a.Open(path, OpenMode::ReadWrite, error) && a.AddDownload(MakeDemoImage(), 1, nullptr, error)
                       ? std::string("ok")
                       : error;
        });
    };
    const std::string index(32768, '\0');
    for (const uid_t owner : {uid_t{0}, kNobody}) {
        SCOPED_TRACE(owner == 0 ? "another user's files" : "the user's own read-only files");
        leave("-wal", owner, 0444, "");
        leave("-shm", owner, 0444, index);
        EXPECT_EQ(archiveAsNobody(), "ok");
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"archive.sqlite"});
    }
    // A log that holds a write of another user's.
    leave("-wal", 0, 0644, std::string(4096, '\x01'));
    std::string error = archiveAsNobody();
    EXPECT_NE(error.find(path + "-wal"), std::string::npos) << error;
    EXPECT_NE(error.find("interrupted write"), std::string::npos) << error;
    // An index another program holds open.
    leave("-wal", 0, 0644, "");
    leave("-shm", 0, 0644, index);
    const int held = open((path + "-shm").c_str(), O_RDONLY);
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 128;
    lock.l_len = 1;
    ASSERT_EQ(fcntl(held, F_SETLK, &lock), 0);
    error = archiveAsNobody();
    EXPECT_NE(error.find("in use by another program"), std::string::npos) << error;
    close(held);
    EXPECT_EQ(archiveAsNobody(), "ok");
    EXPECT_EQ(History(path).size(), 4u);
}

// A replay checks what it reads against what was stored, and Verify finds
// the same damage over the whole archive; a damaged file takes no download
// and stays as it is, and every message carries SQLite's real cause.
TEST(Archive, FindsDamageOnReplayAndBeforeWriting) {
    const std::string base = FreshArchive("damage");
    const MemoryImage demo = MakeDemoImage();
    Add(base, demo);
    Add(base, ThreeRecordImage());
    struct Case {
        const char* name;
        const char* sql;
        const char* damage;
    };
    const Case cases[] = {
        {"a record's frame overwritten",
         "UPDATE records SET frame = zeroblob(100) WHERE id = (SELECT min(id) + 49 FROM records)",
         "record 50 of 300 does not match its key"},
        {"the count packet changed",
         "UPDATE downloads SET count_packet = x'0100' || substr(count_packet, 3) WHERE id = 1",
         "its count packet announces 256 records, the archive lists 300"},
        {"two slots exchanged",
         "UPDATE downloads SET slots = substr(slots, 5, 4) || substr(slots, 1, 4) || substr(slots, 9) WHERE id = 1",
         "its memory image does not match the SHA-256 taken when it was archived"},
        {"a slot naming no record", "UPDATE downloads SET slots = x'FFFFFF00' || substr(slots, 5) WHERE id = 1",
         "record 1 of 300 is missing from the archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = FreshArchive(std::string("damage-case"));
        std::filesystem::copy_file(base, path);
        Sql(path, c.sql);
        Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
        MemoryImage image;
        EXPECT_FALSE(a.LoadImage(1, image, error));
        EXPECT_EQ(error, "archived download 1 is damaged (" + std::string(c.damage) + ")") << error;
        EXPECT_TRUE(image.empty());
        EXPECT_TRUE(a.LoadImage(2, image, error)) << error;
        Verification v;
        ASSERT_TRUE(a.Verify(v, error)) << error;
        ASSERT_FALSE(v.Sound());
        EXPECT_EQ(v.damage[0], "download 1 is damaged (" + std::string(c.damage) + ")");
    }

    // A page of the records table overwritten: SQLite's own checks find it,
    // and a new download is not written into the damaged file.
    const std::string path = FreshArchive("damage-pages");
    Add(path, MakeFullDemoImage());
    std::string bytes = ReadFileBytes(path);
    const std::size_t page = 4096 * (bytes.size() / 4096 / 2);
    for (std::size_t i = page + 8; i < page + 4096; ++i) bytes[i] = '\x5a';
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    Archive reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, OpenMode::ReadOnly, error)) << error;
    Verification v;
    ASSERT_TRUE(reader.Verify(v, error)) << error;
    ASSERT_FALSE(v.Sound());
    EXPECT_EQ(v.damage[0].rfind("SQLite's integrity check: ", 0), 0u) << v.damage[0];
    Archive writer;
    ASSERT_TRUE(writer.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_FALSE(writer.AddDownload(ThreeRecordImage(), 1, nullptr, error));
    EXPECT_NE(error.find("the archive is damaged and was left as it is"), std::string::npos) << error;
    EXPECT_EQ(error.find("not an error"), std::string::npos) << error;
    EXPECT_TRUE(ReadFileBytes(path) == bytes);
}

// The archive and the folders the program creates are its user's alone,
// whatever the umask; a path longer than SQLite takes creates nothing.
TEST(Archive, NewArchiveIsPrivateAndTooLongAPathIsRefused) {
    const std::filesystem::path folder = FreshTestFolder("archive-private");
    const mode_t mask = umask(0);
    Add((folder / "a" / "b" / "archive.sqlite").string(), ThreeRecordImage());
    umask(mask);
    const auto mode = [](const std::filesystem::path& p) {
        struct stat st {};
        stat(p.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(folder / "a"), 0700u);
    EXPECT_EQ(mode(folder / "a" / "b"), 0700u);
    EXPECT_EQ(mode(folder / "a" / "b" / "archive.sqlite"), 0600u);
    EXPECT_EQ(mode(folder), 0755u & ~mask);

    const std::filesystem::path deep = folder / std::string(200, 'd') / std::string(200, 'e') / std::string(100, 'f');
    for (OpenMode m : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
        Archive a;
        std::string error;
        EXPECT_FALSE(a.Open((deep / "archive.sqlite").string(), m, error));
        EXPECT_NE(error.find("the archive's path is too long"), std::string::npos) << error;
    }
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"a"});
}

// A listing reads a page of records at a time: a writer commits while the
// listing's reader is still busy with what it got.
TEST(Archive, ListingLetsAWriterIn) {
    const std::string path = FreshArchive("listing");
    Add(path, MakeFullDemoImage());
    Archive reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, OpenMode::ReadOnly, error)) << error;
    std::size_t listed = 0;
    bool written = false;
    ASSERT_TRUE(reader.ForEachRecord(
        {},
        [&](const Record&) {
            if (++listed == 1000) {
                Archive writer;
                std::string why;
                written =
                    writer.Open(path, OpenMode::ReadWrite, why) && writer.AddDownload(MakeDemoImage(), 1, nullptr, why);
                EXPECT_TRUE(written) << why;
            }
            return true;
        },
        error))
        << error;
    EXPECT_TRUE(written);
    EXPECT_GE(listed, 8000u);
}

// The history's columns stay aligned for every serial number a frame holds.
TEST(ArchiveText, HistoryColumnsStayAligned) {
    Download d;
    d.id = 12345;
    d.serial = 4294967295u;
    d.recordCount = 8000;
    d.newRecords = 8000;
    d.wrapPosition = 7999;
    const std::string text = HistoryText({d});
    const std::string header = text.substr(0, text.find('\n'));
    const std::string line = text.substr(header.size() + 1, text.size() - header.size() - 2);
    ASSERT_EQ(header.size(), line.size()) << text;
    for (const char* column : {"Serial", "Records", "New records", "Wrap position"}) {
        const std::size_t end = header.find(column) + std::strlen(column);
        EXPECT_TRUE(end == header.size() || line[end] == ' ') << column << "\n" << text;
        EXPECT_NE(line[end - 1], ' ') << column << "\n" << text;
    }
    EXPECT_NE(line.find(" 4294967295 "), std::string::npos) << text;
}
