// The archive on a site's PostgreSQL server (libpq): the same operations as
// the SQLite file, for many counters, PCs and a QA team at once. The server
// is set up with the SQL of PostgresSetupSql; the connection is a libpq URI
// or key-value string, and libpq's own environment and files (PGHOST,
// PGSERVICE, ~/.pg_service.conf, ~/.pgpass, PGSSLMODE) apply as usual.
//
// Many writers: each download is one transaction; a record the server holds
// already (the same frame from the same instrument) is kept once, by the
// records' unique key; a download is kept once by the key its PC gave it,
// so that sending it again after a network failure changes nothing; the
// audit trail stays one chain, its appends taking one lock in turn.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"

struct pg_conn;

namespace oront::archive {

class PgArchive : public ArchiveStore {
public:
    PgArchive() = default;
    ~PgArchive() override;
    PgArchive(const PgArchive&) = delete;
    PgArchive& operator=(const PgArchive&) = delete;

    // Connects; false with the server's reason, or when the server's
    // archive is not set up (or of a newer layout). Lost() tells a server
    // that cannot be reached from one that refuses.
    bool Open(const std::string& connection, std::string& error);
    // Whether a connection string or URI gives a password.
    static bool HasPassword(const std::string& connection);
    // Whether the connection is gone (never made, or broken since).
    [[nodiscard]] bool Lost() const;

    // The actor is the server's login from Open on (with the full name set
    // before); set after Open, another (tests act as several users).
    void SetActor(audit::Identity actor) override { m_actor = std::move(actor); }
    [[nodiscard]] bool Refused() const override { return m_refused; }
    bool Check(audit::Action action, std::string& error) override;
    bool RecordEvent(audit::Action action, const std::string& event, const std::string& data, std::string& error,
                     const std::string& reason = {}) override;
    bool AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added, std::string& error,
                     const std::string& warnings = {}) override;
    // The same with the download's key given (a download sent from a spool
    // keeps the key it was spooled with); `existed` says that the server had
    // it already, in `added`.
    bool AddKeyedDownload(const std::vector<std::uint8_t>& image, std::int64_t time, const std::string& warnings,
                          const std::string& key, Download* added, bool* existed, std::string& error);
    // An event of a PC's offline spool, recorded once under `key`
    // (`existed`: recorded before).
    bool RecordSpooledEvent(audit::Action action, const std::string& event, const std::string& data,
                            const std::string& reason, const std::string& key, bool& existed, std::string& error);
    bool Downloads(std::vector<Download>& downloads, std::string& error) override;
    bool LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) override;
    bool ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                       std::string& error) override;
    bool Locations(std::vector<int>& locations, std::string& error) override;
    bool TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error) override;
    bool LoadRegister(site::Register& reg, std::string& error) override;
    bool StoreRegister(const site::Register& reg, std::string& error, const std::string& reason = {}) override;
    bool Excursions(const ExcursionFilter& filter, std::vector<ExcursionRow>& excursions,
                    std::vector<AdverseTrendRow>& trends, std::string& error) override;
    bool Users(std::vector<User>& users, std::string& error) override;
    bool Verify(Verification& result, std::string& error) override;
    bool AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) override;
    bool VerifyAudit(AuditVerification& result, std::string& error) override;
    [[nodiscard]] std::string Where() const override;

    bool ReadTable(const TableLayout& table, const std::function<bool(const Row&)>& handle,
                   std::string& error) override;
    bool BeginImport(std::string& error) override;
    bool ImportRow(const TableLayout& table, const Row& row, std::string& error) override;
    bool EndImport(bool commit, std::string& error) override;

    // For tests: called inside a download's transaction, before the commit.
    std::function<void()> beforeCommit;

private:
    bool Exec(const char* sql, std::string& error);
    // Within a transaction: whether the actor may `action` (the first user
    // becomes the administrator), and one entry appended to the trail.
    bool Admit(audit::Action action, std::string& error);
    bool Append(const std::string& event, const std::string& data, const std::string& reason, std::int64_t& seq,
                std::string& error);
    // Monitoring within a write's transaction: the excursions and adverse
    // trends of each location number from its time on (-1: all; every
    // location when `numbers` is empty), and of a download's new records.
    struct NewRecord {
        std::int64_t id;
        std::int64_t time;
        Frame frame;
    };
    bool JudgeLocations(const site::Register& reg, const std::vector<std::pair<int, std::int64_t>>& numbers,
                        std::string& error);
    bool MonitorNewRecords(const site::Register& reg, const std::vector<NewRecord>& fresh, std::int64_t latestBefore,
                           std::int64_t download, std::string& error);
    // Download `id` reassembled: false with `cause` when the server fails,
    // true with `damage` (empty when sound) otherwise.
    bool Assemble(std::int64_t id, std::vector<std::uint8_t>& image, std::string& damage, std::string& cause);

    pg_conn* m_conn = nullptr;
    audit::Identity m_actor = audit::CurrentIdentity();
    bool m_refused = false;
    std::vector<const TableLayout*> m_prepared;  // the import statements made so far
};

}  // namespace oront::archive
