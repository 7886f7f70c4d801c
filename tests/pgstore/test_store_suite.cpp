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

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

#include "archive/PostgresSchema.h"
#include "pgstore/PgArchive.h"
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
        if (m_up) std::system((m_script + " stop " + m_dir + " > /dev/null").c_str());
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
        EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << PQerrorMessage(conn);
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
    std::vector<std::string> events;
    for (const audit::Entry& e : trail) events.push_back(e.user + " " + e.event);
    EXPECT_EQ(events, (std::vector<std::string>{"ada user added", "ada download archived", "ada download archived",
                                                "ada download archived"}));
    ExpectOneChain(trail);
    AuditFilter filter;
    filter.event = "user added";
    ASSERT_TRUE(store->AuditTrail(filter, trail, error)) << error;
    EXPECT_EQ(trail.size(), 1u);

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
            mine.SetActor({"ada", "Ada Admin"});
            bool ok = mine.Open(where, why);
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

}  // namespace
