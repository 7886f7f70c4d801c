#include "archive/PostgresSchema.h"

#include <iterator>

namespace oront::archive {
namespace {

// Migration 1: the layout of the SQLite archive's layout 5. Records are
// unique by instrument, time and frame, so that the same records archived
// from several PCs at once are kept once (INSERT ... ON CONFLICT); a
// download is unique by the key its PC gave it.
constexpr const char* kMigration1 = R"SQL(
CREATE TABLE oront.downloads (
    id BIGSERIAL PRIMARY KEY,
    time BIGINT NOT NULL,
    serial BIGINT NOT NULL,
    record_count INTEGER NOT NULL,
    wrap_position INTEGER NOT NULL,
    new_records INTEGER NOT NULL,
    count_packet BYTEA NOT NULL,
    slots BYTEA NOT NULL,
    image_sha256 BYTEA NOT NULL,
    warnings TEXT NOT NULL DEFAULT '',
    -- Made by the PC that read the download: sent twice (a resend after a
    -- network failure), it is one download.
    client_key TEXT NOT NULL UNIQUE
);
CREATE TABLE oront.records (
    id BIGSERIAL PRIMARY KEY,
    serial BIGINT NOT NULL,
    time BIGINT NOT NULL,
    location INTEGER NOT NULL,
    key BIGINT NOT NULL,
    first_download BIGINT NOT NULL REFERENCES oront.downloads(id),
    frame BYTEA NOT NULL,
    UNIQUE (serial, time, key, frame)
);
CREATE INDEX records_location ON oront.records(location, time);
CREATE TABLE oront.organisation (name TEXT NOT NULL, address TEXT NOT NULL);
CREATE TABLE oront.rooms (
    position INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, name TEXT NOT NULL, area_m2 DOUBLE PRECISION NOT NULL,
    standard INTEGER NOT NULL, class_tenths INTEGER NOT NULL, grade TEXT NOT NULL, state INTEGER NOT NULL,
    notes TEXT NOT NULL, adverse_run INTEGER NOT NULL
);
CREATE TABLE oront.locations (
    room INTEGER NOT NULL, position INTEGER NOT NULL, number INTEGER NOT NULL, name TEXT NOT NULL,
    x_m DOUBLE PRECISION NOT NULL, y_m DOUBLE PRECISION NOT NULL, critical BOOLEAN NOT NULL,
    valid_from BIGINT, valid_to BIGINT, PRIMARY KEY (room, position)
);
CREATE TABLE oront.limits (
    room INTEGER NOT NULL, position INTEGER NOT NULL, size_tenths INTEGER NOT NULL,
    alert DOUBLE PRECISION NOT NULL, action DOUBLE PRECISION NOT NULL, location INTEGER,
    PRIMARY KEY (room, position)
);
CREATE TABLE oront.instruments (
    position INTEGER PRIMARY KEY, serial BIGINT NOT NULL UNIQUE, model TEXT NOT NULL,
    calibrated_on BIGINT NOT NULL, calibration_due BIGINT NOT NULL, certificate TEXT NOT NULL,
    flow DOUBLE PRECISION NOT NULL
);
CREATE TABLE oront.download_states (
    position INTEGER PRIMARY KEY, download BIGINT NOT NULL UNIQUE, state INTEGER NOT NULL
);
CREATE TABLE oront.excursions (
    record BIGINT NOT NULL, size_tenths INTEGER NOT NULL, time BIGINT NOT NULL, room TEXT NOT NULL,
    location INTEGER NOT NULL, per_m3 DOUBLE PRECISION NOT NULL, limit_per_m3 DOUBLE PRECISION NOT NULL,
    level INTEGER NOT NULL, PRIMARY KEY (record, size_tenths)
);
CREATE INDEX excursions_time ON oront.excursions(time);
CREATE TABLE oront.adverse_trends (
    room TEXT NOT NULL, location INTEGER NOT NULL, size_tenths INTEGER NOT NULL,
    first_time BIGINT NOT NULL, last_time BIGINT NOT NULL, records INTEGER NOT NULL
);
CREATE TABLE oront.certificates (
    id BIGSERIAL PRIMARY KEY, number TEXT NOT NULL UNIQUE, issued BIGINT NOT NULL,
    data TEXT, data_sha256 TEXT, file_sha256 TEXT
);
CREATE INDEX certificates_file ON oront.certificates(file_sha256);
CREATE TABLE oront.users (
    name TEXT PRIMARY KEY, full_name TEXT NOT NULL, role TEXT NOT NULL,
    password TEXT NOT NULL DEFAULT '', failures INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE oront.audit (
    seq BIGINT PRIMARY KEY, time BIGINT NOT NULL, utc_offset INTEGER NOT NULL, "user" TEXT NOT NULL,
    version TEXT NOT NULL, event TEXT NOT NULL, data TEXT NOT NULL, reason TEXT NOT NULL,
    previous TEXT NOT NULL, hash TEXT NOT NULL
);
CREATE INDEX audit_time ON oront.audit(time);
CREATE TABLE oront.audit_records (record BIGINT PRIMARY KEY, entry BIGINT NOT NULL, sha256 BYTEA NOT NULL);
CREATE INDEX audit_records_entry ON oront.audit_records(entry, record);
CREATE TABLE oront.signatures (
    id BIGSERIAL PRIMARY KEY, kind TEXT NOT NULL, subject BIGINT NOT NULL, meaning TEXT NOT NULL,
    "user" TEXT NOT NULL, full_name TEXT NOT NULL, time BIGINT NOT NULL, utc_offset INTEGER NOT NULL,
    subject_sha256 TEXT NOT NULL, entry BIGINT NOT NULL, void BOOLEAN NOT NULL DEFAULT false
);
CREATE INDEX signatures_subject ON oront.signatures(kind, subject);
-- The trail is appended to, never changed: not even by the owner.
CREATE FUNCTION oront.audit_append_only() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    RAISE EXCEPTION 'the audit trail takes no changes and no deletions';
END $$;
CREATE TRIGGER audit_append_only BEFORE UPDATE OR DELETE OR TRUNCATE ON oront.audit
    FOR EACH STATEMENT EXECUTE FUNCTION oront.audit_append_only();
)SQL";

// Migration 2: records listed in the order of their date and time (the
// records command, the history's replay and the trends) page through an
// index instead of sorting the whole table; and the receipts of what PCs
// sent from their offline spools, so that an event sent twice (after a
// failure in the middle of sending) is recorded once.
constexpr const char* kMigration2 = R"SQL(
CREATE INDEX records_time ON oront.records(time, id);
CREATE TABLE oront.spool_receipts (key TEXT PRIMARY KEY, entry BIGINT NOT NULL);
)SQL";

constexpr const char* kMigrations[] = {kMigration1, kMigration2};
static_assert(std::size(kMigrations) == kPostgresSchemaVersion);

// The roles, made once; their grants, given again whenever the script runs.
constexpr const char* kRoles = R"SQL(
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'oront_operator') THEN
        CREATE ROLE oront_operator NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'oront_reviewer') THEN
        CREATE ROLE oront_reviewer NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'oront_administrator') THEN
        CREATE ROLE oront_administrator NOLOGIN;
    END IF;
END $$;
GRANT oront_operator TO oront_reviewer;
GRANT oront_reviewer TO oront_administrator;

GRANT USAGE ON SCHEMA oront TO oront_operator;
-- Everyone reads everything.
GRANT SELECT ON ALL TABLES IN SCHEMA oront TO oront_operator;
GRANT USAGE ON ALL SEQUENCES IN SCHEMA oront TO oront_operator;
-- An operator archives downloads (and what monitoring finds in them),
-- issues certificates, signs as performed by, keeps the own signing
-- password and the failed attempts, and appends to the trail.
GRANT INSERT ON oront.downloads, oront.records, oront.audit, oront.audit_records, oront.signatures,
    oront.certificates, oront.spool_receipts TO oront_operator;
GRANT UPDATE (serial, new_records, slots) ON oront.downloads TO oront_operator;
GRANT UPDATE (data, data_sha256, file_sha256) ON oront.certificates TO oront_operator;
GRANT INSERT, DELETE ON oront.excursions, oront.adverse_trends TO oront_operator;
-- Only the own row of the users: the login is the user.
GRANT UPDATE (password, failures) ON oront.users TO oront_operator;
ALTER TABLE oront.users ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS users_read ON oront.users;
CREATE POLICY users_read ON oront.users FOR SELECT USING (true);
DROP POLICY IF EXISTS users_own ON oront.users;
CREATE POLICY users_own ON oront.users FOR UPDATE TO oront_operator
    USING (name = session_user) WITH CHECK (name = session_user);
DROP POLICY IF EXISTS users_admin ON oront.users;
CREATE POLICY users_admin ON oront.users FOR ALL TO oront_administrator USING (true) WITH CHECK (true);
-- A reviewer also voids signatures when a certificate is issued again.
GRANT UPDATE (void) ON oront.signatures TO oront_reviewer;
-- An administrator also changes the site register and the users.
GRANT INSERT, UPDATE, DELETE ON oront.organisation, oront.rooms, oront.locations, oront.limits,
    oront.instruments, oront.download_states TO oront_administrator;
GRANT INSERT, UPDATE (role, full_name) ON oront.users TO oront_administrator;
-- The trail: appended to, never changed or deleted, by anyone.
REVOKE UPDATE, DELETE, TRUNCATE ON oront.audit FROM PUBLIC, oront_operator, oront_reviewer, oront_administrator;
)SQL";

}  // namespace

std::string PostgresSetupSql() {
    std::string sql =
        "-- The Oront V208 archive on PostgreSQL: run once as the database's owner\n"
        "-- (psql -v ON_ERROR_STOP=1 -f setup.sql), then grant the roles to the\n"
        "-- site's logins: GRANT oront_operator TO alice;\n"
        "BEGIN;\n"
        "CREATE SCHEMA IF NOT EXISTS oront;\n"
        "CREATE TABLE IF NOT EXISTS oront.schema_migrations (version INTEGER PRIMARY KEY,"
        " applied TIMESTAMPTZ NOT NULL DEFAULT now());\n";
    // Each migration once, in order: a server set up by an older program is
    // brought up to date by running the script of the newer one.
    for (std::size_t i = 0; i < std::size(kMigrations); ++i) {
        const std::string version = std::to_string(i + 1);
        sql += "-- Migration " + version +
               ".\nDO $migration$\nBEGIN\nIF NOT EXISTS (SELECT FROM oront.schema_migrations"
               " WHERE version = " +
               version + ") THEN\nEXECUTE $sql$";
        sql += kMigrations[i];
        sql += "$sql$;\nINSERT INTO oront.schema_migrations(version) VALUES (" + version +
               ");\nEND IF;\nEND $migration$;\n";
    }
    sql += kRoles;
    sql += "COMMIT;\n";
    return sql;
}

}  // namespace oront::archive
