// The archive's stores, the same suite against each: the SQLite file and a
// PostgreSQL server the test starts itself (tests/support/pg-server.sh: a
// throwaway cluster on a Unix socket, set up with the program's SQL). A
// download replays byte for byte, repeated records are kept once, and the
// audit trail is one valid chain; on the server, also with eight processes
// archiving the same and different downloads at once.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "archive/ArchiveCopy.h"
#include "archive/PostgresSchema.h"
#include "pgstore/PgArchive.h"
#include "pgstore/Stores.h"
#include "site/Monitoring.h"
#include "site/RegisterJson.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

using namespace oront;
using namespace oront::archive;

namespace {

// The server of this test program, started once.
class Server {
public:
    static Server& Get() {
        static Server server;
        return server;
    }
    [[nodiscard]] bool Up() const { return m_up; }
    [[nodiscard]] const std::string& Why() const { return m_why; }
    [[nodiscard]] const std::string& Dir() const { return m_dir; }
    // A fresh database set up with the program's SQL; its connection string.
    std::string FreshDatabase(const std::string& name) {
        Run("DROP DATABASE IF EXISTS " + name);
        Run("CREATE DATABASE " + name);
        const std::string uri = "host=" + m_dir + " user=oront dbname=" + name;
        PGconn* conn = PQconnectdb(uri.c_str());
        PGresult* r = PQexec(conn, PostgresSetupSql().c_str());
        EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(conn);
        PQclear(r);
        PQfinish(conn);
        return uri;
    }
    ~Server() {
        if (m_up) Stop();
    }
    // The server gone and back, as a network failure and its end look.
    void Stop() { EXPECT_EQ(std::system((m_script + " stop " + m_dir + " > /dev/null").c_str()), 0); }
    void Start() { EXPECT_EQ(std::system((m_script + " start " + m_dir + " > /dev/null 2>&1").c_str()), 0); }
    // Ends every other connection to the database: a PC's link lost in the
    // middle of its transaction.
    void CutOthers(const std::string& database) {
        Run("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '" + database +
            "' AND pid <> pg_backend_pid()");
    }

private:
    Server() {
        const char* source = std::getenv("ORONT_SOURCE_DIR");
        m_script = std::string(source != nullptr ? source : ".") + "/tests/support/pg-server.sh";
        m_dir = (test::FreshTestFolder("pgstore") / "pg").string();
        m_up = std::system((m_script + " start " + m_dir + " > " + m_dir + ".env 2> " + m_dir + ".err").c_str()) == 0;
        if (!m_up) m_why = "the throwaway PostgreSQL server does not start (see " + m_dir + ".err)";
    }
    void Run(const std::string& sql) {
        PGconn* conn = PQconnectdb(("host=" + m_dir + " user=oront dbname=postgres").c_str());
        PGresult* r = PQexec(conn, sql.c_str());
        EXPECT_TRUE(PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK)
            << PQerrorMessage(conn);
        PQclear(r);
        PQfinish(conn);
    }
    std::string m_script;
    std::string m_dir;
    bool m_up = false;
    std::string m_why;
};

// A store of each kind, fresh: opened and ready.
struct StoreKind {
    const char* name;
    std::function<std::unique_ptr<ArchiveStore>(const std::string& test, std::string& where)> open;
};

std::unique_ptr<ArchiveStore> OpenSqlite(const std::string& test, std::string& where) {
    where = (test::FreshTestFolder("store-" + test) / "archive.sqlite").string();
    auto a = std::make_unique<Archive>();
    std::string error;
    EXPECT_TRUE(a->Open(where, OpenMode::ReadWrite, error)) << error;
    return a;
}

std::unique_ptr<ArchiveStore> OpenServer(const std::string& test, std::string& where) {
    if (!Server::Get().Up()) return nullptr;
    where = Server::Get().FreshDatabase(test);
    auto a = std::make_unique<PgArchive>();
    std::string error;
    EXPECT_TRUE(a->Open(where, error)) << error;
    return a;
}

class Stores : public ::testing::TestWithParam<StoreKind> {};

// A chain whose every entry follows from the one before and has its hash.
void ExpectOneChain(const std::vector<audit::Entry>& trail) {
    std::string previous(audit::kNoPrevious);
    for (std::size_t k = 0; k < trail.size(); ++k) {
        EXPECT_EQ(trail[k].seq, static_cast<std::int64_t>(k + 1));
        EXPECT_EQ(trail[k].previous, previous) << "entry " << trail[k].seq;
        EXPECT_EQ(audit::EntryHash(trail[k]), trail[k].hash) << "entry " << trail[k].seq;
        previous = trail[k].hash;
    }
}

std::size_t DistinctFrames(const std::vector<MemoryImage>& images) {
    std::set<std::vector<std::uint8_t>> frames;
    for (const MemoryImage& image : images)
        for (std::size_t at = 64; at + 128 <= image.size(); at += 128)
            frames.emplace(image.begin() + static_cast<std::ptrdiff_t>(at),
                           image.begin() + static_cast<std::ptrdiff_t>(at + 128));
    return frames.size();
}

TEST_P(Stores, ArchivesReplaysAndChainsAlike) {
    std::string where;
    const std::unique_ptr<ArchiveStore> store = GetParam().open("suite", where);
    if (!store) ORONT_SKIP_OR_FAIL(Server::Get().Why());
    store->SetActor({"ada", "Ada Admin"});
    std::string error;
    const MemoryImage demo = MakeDemoImage();
    const MemoryImage full = MakeFullDemoImage();
    Download first, again, third;
    ASSERT_TRUE(store->AddDownload(demo, 1000, &first, error, {})) << error;
    ASSERT_TRUE(store->AddDownload(demo, 2000, &again, error, {})) << error;
    ASSERT_TRUE(store->AddDownload(full, 3000, &third, error, "past calibration")) << error;
    EXPECT_EQ(first.newRecords, first.recordCount);
    EXPECT_EQ(again.newRecords, 0) << "the same records are kept once";
    std::vector<Download> downloads;
    ASSERT_TRUE(store->Downloads(downloads, error)) << error;
    ASSERT_EQ(downloads.size(), 3u);
    EXPECT_EQ(downloads[2].warnings, "past calibration");
    EXPECT_EQ(downloads[0].serial, first.serial);
    for (const auto& [id, image] : {std::pair{first.id, demo}, std::pair{third.id, full}}) {
        MemoryImage replayed;
        ASSERT_TRUE(store->LoadImage(id, replayed, error)) << error;
        EXPECT_TRUE(replayed == image) << "download " << id;
    }
    MemoryImage none;
    EXPECT_FALSE(store->LoadImage(99, none, error));

    std::vector<audit::Entry> trail;
    ASSERT_TRUE(store->AuditTrail({}, trail, error)) << error;
    ASSERT_EQ(trail.size(), 4u);
    std::vector<std::string> events;
    for (const audit::Entry& e : trail) events.push_back(e.user + " " + e.event);
    EXPECT_EQ(events, (std::vector<std::string>{"ada user added", "ada download archived", "ada download archived",
                                                "ada download archived"}));
    ExpectOneChain(trail);
    AuditFilter filter;
    filter.event = "user added";
    ASSERT_TRUE(store->AuditTrail(filter, trail, error)) << error;
    EXPECT_EQ(trail.size(), 1u);

    // Records, their locations and times, the users, and both checks.
    std::size_t records = 0;
    ASSERT_TRUE(store->ForEachRecord(
        {}, [&records](const Record&) { return ++records, true; }, error))
        << error;
    EXPECT_EQ(records, DistinctFrames({demo, full}));
    RecordFilter one;
    one.location = 1;
    std::int64_t last = -1;
    bool ordered = true;
    ASSERT_TRUE(store->ForEachRecord(
        one,
        [&](const Record& r) {
            ordered = ordered && r.frame[1] == 1 && FrameTimeKey(r.frame) >= last;
            last = FrameTimeKey(r.frame);
            return true;
        },
        error))
        << error;
    EXPECT_TRUE(ordered) << "location 1 only, in time order";
    std::vector<int> locations;
    std::optional<std::pair<std::int64_t, std::int64_t>> span;
    ASSERT_TRUE(store->Locations(locations, error) && store->TimeSpan(span, error)) << error;
    EXPECT_FALSE(locations.empty());
    EXPECT_TRUE(std::is_sorted(locations.begin(), locations.end()));
    ASSERT_TRUE(span && span->first <= span->second);
    std::vector<User> users;
    ASSERT_TRUE(store->Users(users, error)) << error;
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].role, audit::Role::Administrator);
    ASSERT_TRUE(store->RecordEvent(audit::Action::Save, "records saved", "{\"rows\":3}", error, "check")) << error;
    Verification sound;
    AuditVerification chain;
    ASSERT_TRUE(store->Verify(sound, error) && store->VerifyAudit(chain, error)) << error;
    EXPECT_TRUE(sound.Sound()) << (sound.damage.empty() ? "" : sound.damage[0]);
    EXPECT_EQ(sound.records, static_cast<std::int64_t>(records));
    EXPECT_TRUE(chain.Sound()) << chain.broken << (chain.findings.empty() ? "" : chain.findings[0]);
    EXPECT_EQ(chain.entries, 5);

    // Someone the administrator never added archives nothing.
    store->SetActor({"mallory", "Mallory"});
    EXPECT_FALSE(store->AddDownload(demo, 4000, nullptr, error, {}));
    EXPECT_NE(error.find("mallory is not a user of this archive"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(BothStores, Stores,
                         ::testing::Values(StoreKind{"sqlite", &OpenSqlite}, StoreKind{"postgresql", &OpenServer}),
                         [](const ::testing::TestParamInfo<StoreKind>& info) { return std::string(info.param.name); });

TEST(PostgresStore, EightWritersAtOnceKeepEveryDownloadEachRecordOnceAndOneChain) {
    std::string where;
    const std::unique_ptr<ArchiveStore> setup = OpenServer("writers", where);
    if (!setup) ORONT_SKIP_OR_FAIL(Server::Get().Why());
    std::string error;
    setup->SetActor({"ada", "Ada Admin"});
    const std::vector<MemoryImage> images = {MakeDemoImage(), MakeFullDemoImage()};
    ASSERT_TRUE(setup->AddDownload(images[0], 1, nullptr, error, {})) << error;
    std::vector<pid_t> children;
    for (int k = 0; k < 8; ++k) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PgArchive mine;
            std::string why;
            bool ok = mine.Open(where, why);
            mine.SetActor({"ada", "Ada Admin"});
            // Three each, so that appends to the trail meet.
            for (int n = 0; ok && n < 3; ++n) ok = mine.AddDownload(images[(k + n) % 2], 100 + k, nullptr, why, {});
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    PgArchive reader;
    ASSERT_TRUE(reader.Open(where, error)) << error;
    std::vector<Download> downloads;
    ASSERT_TRUE(reader.Downloads(downloads, error)) << error;
    EXPECT_EQ(downloads.size(), 25u) << "no lost download";
    std::size_t newRecords = 0;
    for (const Download& d : downloads) newRecords += static_cast<std::size_t>(d.newRecords);
    EXPECT_EQ(newRecords, DistinctFrames(images)) << "no record twice";
    for (const Download& d : downloads) {
        MemoryImage replayed;
        ASSERT_TRUE(reader.LoadImage(d.id, replayed, error)) << error;
        EXPECT_TRUE(replayed == images[0] || replayed == images[1]) << "download " << d.id;
    }
    std::vector<audit::Entry> trail;
    ASSERT_TRUE(reader.AuditTrail({}, trail, error)) << error;
    EXPECT_EQ(trail.size(), 26u);  // the first user and 25 downloads
    ExpectOneChain(trail);
}

// A register whose limits at 0.5 um some records of the full demo memory
// exceed (every location number a location of one room).
site::Register LimitsSomeRecordsExceed() {
    std::vector<double> perM3;
    for (const Frame& f : site::FramesOf(MakeFullDemoImage()))
        if (const std::optional<double> v = site::PerM3AtSize(f, 5)) perM3.push_back(*v);
    std::sort(perM3.begin(), perM3.end());
    site::Register reg;
    site::Room& room = reg.rooms.emplace_back();
    room.id = "R1";
    room.name = "Filling";
    room.areaM2 = 10;
    room.classTenths = 80;
    room.adverseRun = 2;
    for (int number = 0; number <= 255; ++number) room.locations.push_back({number, "", 0, 0, false, {}, {}});
    room.limits = {{5, perM3[perM3.size() * 95 / 100], perM3[perM3.size() * 99 / 100], {}}};
    return reg;
}

// Monitoring finds the same excursions and adverse trends in both stores:
// when the register is stored over archived records, and for the new
// records of a download archived under it.
TEST(PostgresStore, MonitoringFindsTheSameInBothStores) {
    std::string where;
    const std::unique_ptr<ArchiveStore> server = OpenServer("monitoring", where);
    if (!server) ORONT_SKIP_OR_FAIL(Server::Get().Why());
    std::string path;
    const std::unique_ptr<ArchiveStore> file = OpenSqlite("monitoring", path);
    const site::Register reg = LimitsSomeRecordsExceed();
    std::vector<std::vector<ExcursionRow>> excursions(2);
    std::vector<std::vector<AdverseTrendRow>> trends(2);
    const ArchiveStore* stores[2] = {file.get(), server.get()};
    for (int k = 0; k < 2; ++k) {
        ArchiveStore& store = *const_cast<ArchiveStore*>(stores[k]);
        std::string error;
        store.SetActor({"ada", "Ada Admin"});
        ASSERT_TRUE(store.AddDownload(MakeDemoImage(), 10, nullptr, error, {})) << error;
        ASSERT_TRUE(store.StoreRegister(reg, error, "limits")) << error;
        ASSERT_TRUE(store.AddDownload(MakeFullDemoImage(), 20, nullptr, error, {})) << error;
        ASSERT_TRUE(store.Excursions({}, excursions[k], trends[k], error)) << error;
        site::Register back;
        ASSERT_TRUE(store.LoadRegister(back, error)) << error;
        EXPECT_EQ(site::RegisterJson(back), site::RegisterJson(reg));
    }
    ASSERT_GT(excursions[0].size(), 0u);
    ASSERT_GT(trends[0].size(), 0u);
    ASSERT_EQ(excursions[0].size(), excursions[1].size());
    for (std::size_t i = 0; i < excursions[0].size(); ++i) {
        const ExcursionRow &a = excursions[0][i], &b = excursions[1][i];
        EXPECT_TRUE(a.time == b.time && a.room == b.room && a.location == b.location && a.sizeTenths == b.sizeTenths &&
                    a.perM3 == b.perM3 && a.limitPerM3 == b.limitPerM3 && a.level == b.level)
            << "excursion " << i;
    }
    ASSERT_EQ(trends[0].size(), trends[1].size());
    for (std::size_t i = 0; i < trends[0].size(); ++i) {
        const AdverseTrendRow &a = trends[0][i], &b = trends[1][i];
        EXPECT_TRUE(a.room == b.room && a.location == b.location && a.sizeTenths == b.sizeTenths &&
                    a.firstTime == b.firstTime && a.lastTime == b.lastTime && a.records == b.records)
            << "adverse trend " << i;
    }
}

TEST(PostgresStore, ADownloadCutOffIsSpooledThenSentOnceAndAResendChangesNothing) {
    std::string where;
    if (!OpenServer("spool", where)) ORONT_SKIP_OR_FAIL(Server::Get().Why());
    const std::string location = "postgresql:///spool?host=" + Server::Get().Dir() + "&user=oront";
    const audit::Identity actor{"ada", "Ada Admin"};
    const std::string spool = SpoolPath(location, actor.user);
    std::filesystem::remove(spool);
    const MemoryImage demo = MakeDemoImage();
    const MemoryImage full = MakeFullDemoImage();
    std::string message;
    const auto serverDownloads = [&] {
        PgArchive reader;
        std::vector<Download> downloads;
        std::string error;
        EXPECT_TRUE(reader.Open(location, error) && reader.Downloads(downloads, error)) << error;
        return downloads.size();
    };
    // The link is lost just before the download's commit: nothing of it is
    // on the server, all of it in the spool.
    const auto cutBeforeCommit = [](int which) {
        return [which, count = std::make_shared<int>(0)](PgArchive& server) {
            server.beforeCommit = [which, count] {
                if (++*count == which) Server::Get().CutOthers("spool");
            };
        };
    };
    EXPECT_EQ(KeepDownload(location, actor, demo, 10, {}, message, nullptr, cutBeforeCommit(1)), Kept::Spooled)
        << message;
    EXPECT_NE(message.find("kept in the local spool"), std::string::npos) << message;
    EXPECT_EQ(serverDownloads(), 0u);
    // The server down: the next one waits too, after the first.
    Server::Get().Stop();
    EXPECT_EQ(KeepDownload(location, actor, full, 20, {}, message), Kept::Spooled) << message;
    EXPECT_NE(message.find("with 2 downloads"), std::string::npos) << message;
    std::string error;
    EXPECT_EQ(OpenStore(location, OpenMode::ReadOnly, actor, error), nullptr);
    Server::Get().Start();
    // Sending fails in the middle (the second spooled download is cut off):
    // the spool stays, and the resend keeps the first once.
    EXPECT_EQ(KeepDownload(location, actor, demo, 30, {}, message, nullptr, cutBeforeCommit(2)), Kept::Spooled)
        << message;
    EXPECT_EQ(serverDownloads(), 1u);
    std::string notice;
    ASSERT_NE(OpenStore(location, OpenMode::ReadOnly, actor, error, &notice), nullptr) << error;
    EXPECT_EQ(notice, "Sent 3 spooled downloads to the archive's server (database spool on " + Server::Get().Dir() +
                          ":5432); 1 of the downloads it had already");
    EXPECT_FALSE(std::filesystem::exists(spool)) << "the spool goes once everything is sent";
    ASSERT_NE(OpenStore(location, OpenMode::ReadOnly, actor, error, &notice), nullptr) << error;
    EXPECT_EQ(notice, "") << "sent once";
    PgArchive reader;
    std::vector<Download> downloads;
    ASSERT_TRUE(reader.Open(location, error) && reader.Downloads(downloads, error)) << error;
    ASSERT_EQ(downloads.size(), 3u);
    EXPECT_EQ((std::vector<std::int64_t>{downloads[0].time, downloads[1].time, downloads[2].time}),
              (std::vector<std::int64_t>{10, 20, 30}))
        << "in the order they were read";
    AuditVerification chain;
    ASSERT_TRUE(reader.VerifyAudit(chain, error)) << error;
    EXPECT_TRUE(chain.Sound()) << chain.broken << (chain.findings.empty() ? "" : chain.findings[0]);
}

TEST(PostgresStore, ArchiveCopyRoundTripsEveryTableAndRefusesAFullTarget) {
    std::string where;
    const std::unique_ptr<ArchiveStore> server = OpenServer("copy", where);
    if (!server) ORONT_SKIP_OR_FAIL(Server::Get().Why());
    std::string sourcePath;
    auto source = OpenSqlite("copy-source", sourcePath);
    auto* file = static_cast<Archive*>(source.get());
    std::string error;
    file->SetActor({"ada", "Ada Admin"});
    ASSERT_TRUE(file->AddDownload(MakeFullDemoImage(), 100, nullptr, error, "past calibration")) << error;
    site::Register reg;
    reg.organisation = {"Acme Pharma", "1 Clean Street"};
    site::Room& room = reg.rooms.emplace_back();
    room.id = "FR1";
    room.name = "Filling";
    room.areaM2 = 20.5;
    room.classTenths = 50;
    room.locations.push_back({1, "Door", 1.25, 2.0, true, std::nullopt, std::nullopt});
    room.limits.push_back({3, 100.0, 200.0, std::nullopt});
    ASSERT_TRUE(file->StoreRegister(reg, error, "set up")) << error;
    CertificateRecord certificate;
    ASSERT_TRUE(file->ReserveCertificate({}, 200, certificate, error)) << error;
    ASSERT_TRUE(file->CompleteCertificate(certificate.id, "{\"class\":5}", "pdf bytes", error)) << error;

    CopyReport there;
    ASSERT_TRUE(CopyArchive(*source, *server, there, error)) << error;
    std::string backPath;
    auto back = OpenSqlite("copy-back", backPath);
    CopyReport again;
    ASSERT_TRUE(CopyArchive(*server, *back, again, error)) << error;
    EXPECT_EQ(again.head, there.head);
    for (const TableLayout& table : ArchiveTables()) {
        std::vector<Row> before, after;
        ASSERT_TRUE(source->ReadTable(
            table, [&](const Row& r) { return before.push_back(r), true; }, error));
        ASSERT_TRUE(back->ReadTable(
            table, [&](const Row& r) { return after.push_back(r), true; }, error));
        ASSERT_EQ(before.size(), after.size()) << table.name;
        for (std::size_t r = 0; r < before.size(); ++r)
            for (std::size_t c = 0; c < table.columns.size(); ++c) {
                const TableValue &x = before[r][c], &y = after[r][c];
                EXPECT_TRUE(x.type == y.type && x.i == y.i && x.d == y.d && x.s == y.s)
                    << table.name << " row " << r << " column " << table.columns[c];
            }
    }
    EXPECT_GT(there.rows[1].second, 0) << "records copied";
    // The copy goes on where the source stopped: the next ids follow.
    server->SetActor({"ada", "Ada Admin"});
    Download next;
    ASSERT_TRUE(server->AddDownload(MakeDemoImage(), 300, &next, error, {})) << error;
    EXPECT_EQ(next.id, 2);
    EXPECT_FALSE(CopyArchive(*source, *server, there, error));
    EXPECT_NE(error.find("already holds an archive"), std::string::npos) << error;
}

}  // namespace
