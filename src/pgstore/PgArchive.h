// The archive on a site's PostgreSQL server (libpq): the same operations as
// the SQLite file, for many counters, PCs and a QA team at once. The server
// is set up with the SQL of PostgresSetupSql; the connection is a libpq URI
// or key-value string, and libpq's own environment and files (PGHOST,
// PGSERVICE, ~/.pg_service.conf, ~/.pgpass, PGSSLMODE) apply as usual.
//
// Many writers: each download is one transaction; a record the server holds
// already (the same frame from the same instrument) is kept once, by the
// records' unique key; the audit trail stays one chain, its appends taking
// one lock in turn.
#pragma once

#include <memory>
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
    // archive is not set up (or of a newer layout).
    bool Open(const std::string& connection, std::string& error);

    void SetActor(audit::Identity actor) override { m_actor = std::move(actor); }
    bool AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added, std::string& error,
                     const std::string& warnings = {}) override;
    bool Downloads(std::vector<Download>& downloads, std::string& error) override;
    bool LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) override;
    bool AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) override;

private:
    class Query;
    bool Exec(const char* sql, std::string& error);
    // Within a transaction: whether the actor may `action` (the first user
    // becomes the administrator), and one entry appended to the trail.
    bool Admit(audit::Action action, std::string& error);
    bool Append(const std::string& event, const std::string& data, std::int64_t& seq, std::string& error);

    pg_conn* m_conn = nullptr;
    audit::Identity m_actor = audit::CurrentIdentity();
};

}  // namespace oront::archive
