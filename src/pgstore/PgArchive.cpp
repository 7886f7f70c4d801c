#include "pgstore/PgArchive.h"

#include <libpq-fe.h>
#include <sodium.h>

#include <array>
#include <cstring>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "archive/PostgresSchema.h"
#include "base/Messages.h"

namespace oront::archive {
namespace {

constexpr std::size_t kPacket = 64;
// The lock every append to the trail takes in turn (pg_advisory_xact_lock).
constexpr const char* kTrailLock = "SELECT pg_advisory_xact_lock(72080001)";
// A download that meets another's locks in another order is tried again.
constexpr int kAttempts = 5;

constexpr unsigned kInt8 = 20;
constexpr unsigned kBytea = 17;
constexpr unsigned kText = 25;
constexpr unsigned kInt8Array = 1016;

using audit::Hex;

std::string Sha256(const void* bytes, std::size_t size) {
    return audit::Sha256Hex(std::string_view(static_cast<const char*>(bytes), size));
}

}  // namespace

// One statement with its parameters (binary, or text where marked) and its
// binary result.
class PgArchive::Query {
public:
    explicit Query(pg_conn* conn) : m_conn(conn) {}
    ~Query() { PQclear(m_result); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Int(std::int64_t value) {
        std::string bytes(8, '\0');
        for (int i = 0; i < 8; ++i) bytes[static_cast<std::size_t>(7 - i)] = static_cast<char>(value >> (8 * i));
        return Add(std::move(bytes), kInt8, 1);
    }
    Query& Bytes(const void* data, std::size_t size) {
        return Add(std::string(static_cast<const char*>(data), size), kBytea, 1);
    }
    Query& Text(const std::string& text) { return Add(text, kText, 1); }
    Query& Ids(const std::vector<std::int64_t>& ids) {
        std::string text = "{";
        for (std::size_t i = 0; i < ids.size(); ++i) text += (i > 0 ? "," : "") + std::to_string(ids[i]);
        return Add(text + "}", kInt8Array, 0);
    }

    bool Run(const char* sql, std::string& error) {
        std::vector<const char*> values;
        std::vector<int> lengths;
        for (const std::string& v : m_values) {
            values.push_back(v.data());
            lengths.push_back(static_cast<int>(v.size()));
        }
        PQclear(m_result);
        m_result = PQexecParams(m_conn, sql, static_cast<int>(m_values.size()), m_types.data(), values.data(),
                                lengths.data(), m_formats.data(), 1);
        const ExecStatusType status = PQresultStatus(m_result);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return true;
        error = PQresultErrorMessage(m_result);
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        const char* state = PQresultErrorField(m_result, PG_DIAG_SQLSTATE);
        m_state = state != nullptr ? state : "";
        return false;
    }
    [[nodiscard]] int Rows() const { return PQntuples(m_result); }
    [[nodiscard]] bool Null(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }
    [[nodiscard]] std::int64_t Int(int row, int column) const {
        const auto* b = reinterpret_cast<const std::uint8_t*>(PQgetvalue(m_result, row, column));
        const int size = PQgetlength(m_result, row, column);
        std::uint64_t value = size > 0 && (b[0] & 0x80) != 0 ? ~std::uint64_t{0} : 0;
        for (int i = 0; i < size; ++i) value = (value << 8) | b[i];
        return static_cast<std::int64_t>(value);
    }
    [[nodiscard]] std::string Text(int row, int column) const {
        return {PQgetvalue(m_result, row, column), static_cast<std::size_t>(PQgetlength(m_result, row, column))};
    }
    [[nodiscard]] std::pair<const std::uint8_t*, std::size_t> Blob(int row, int column) const {
        return {reinterpret_cast<const std::uint8_t*>(PQgetvalue(m_result, row, column)),
                static_cast<std::size_t>(PQgetlength(m_result, row, column))};
    }
    // Whether the failure was a deadlock or a serialisation failure, which
    // a retry of the whole transaction mends.
    [[nodiscard]] bool Retryable() const { return m_state == "40P01" || m_state == "40001"; }

private:
    Query& Add(std::string value, unsigned type, int format) {
        m_values.push_back(std::move(value));
        m_types.push_back(type);
        m_formats.push_back(format);
        return *this;
    }

    pg_conn* m_conn;
    PGresult* m_result = nullptr;
    std::vector<std::string> m_values;
    std::vector<unsigned> m_types;
    std::vector<int> m_formats;
    std::string m_state;
};

PgArchive::~PgArchive() {
    if (m_conn != nullptr) PQfinish(m_conn);
}

bool PgArchive::Exec(const char* sql, std::string& error) {
    Query q(m_conn);
    return q.Run(sql, error);
}

bool PgArchive::Open(const std::string& connection, std::string& error) {
    if (m_conn != nullptr) PQfinish(m_conn);
    m_conn = PQconnectdb(connection.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        error = std::string("cannot reach the archive's server: ") + PQerrorMessage(m_conn);
        while (!error.empty() && error.back() == '\n') error.pop_back();
        return false;
    }
    Query layout(m_conn);
    if (!layout.Run("SELECT coalesce(max(version), 0)::bigint FROM oront.schema_migrations", error)) {
        error = "the server holds no archive yet (oront-v208-cli archive-setup --print-sql sets it up): " + error;
        return false;
    }
    const std::int64_t version = layout.Int(0, 0);
    if (version != kPostgresSchemaVersion) {
        error = "the server's archive has layout " + std::to_string(version) + ", this program works with " +
                std::to_string(kPostgresSchemaVersion);
        return false;
    }
    return Exec("SET search_path TO oront", error);
}

bool PgArchive::Append(const std::string& event, const std::string& data, std::int64_t& seq, std::string& error) {
    if (!Exec(kTrailLock, error)) return false;
    Query last(m_conn);
    if (!last.Run("SELECT seq, hash FROM audit ORDER BY seq DESC LIMIT 1", error)) return false;
    const audit::Entry e =
        audit::NextEntry(last.Rows() > 0 ? last.Int(0, 0) : 0, last.Rows() > 0 ? last.Text(0, 1) : std::string(),
                         m_actor.user, kProgramVersion, event, data, {});
    Query insert(m_conn);
    insert.Int(e.seq).Int(e.time).Int(e.utcOffsetMinutes).Text(e.user).Text(e.version).Text(e.event).Text(e.data);
    insert.Text(e.reason).Text(e.previous).Text(e.hash);
    if (!insert.Run("INSERT INTO audit VALUES ($1, $2, $3::integer, $4, $5, $6, $7, $8, $9, $10)", error)) return false;
    seq = e.seq;
    return true;
}

bool PgArchive::Admit(audit::Action action, std::string& error) {
    Query role(m_conn);
    role.Text(m_actor.user);
    if (!role.Run("SELECT role, (SELECT count(*) FROM users) FROM users WHERE name = $1 UNION ALL"
                  " SELECT NULL, count(*) FROM users LIMIT 1",
                  error))
        return false;
    if (role.Rows() > 0 && role.Null(0, 0) && role.Int(0, 1) == 0) {
        // The first user of the archive is its administrator.
        Query add(m_conn);
        add.Text(m_actor.user).Text(m_actor.fullName);
        if (!add.Run("INSERT INTO users(name, full_name, role) VALUES ($1, $2, 'administrator')", error)) return false;
        std::int64_t seq = 0;
        return Append(
            "user added",
            nlohmann::json{{"user", m_actor.user}, {"full_name", m_actor.fullName}, {"role", "administrator"}}.dump(),
            seq, error);
    }
    if (role.Rows() == 0 || role.Null(0, 0)) {
        error = "refused: " + m_actor.user + " is not a user of this archive; an administrator adds users";
        return false;
    }
    const audit::Role has = audit::ParseRole(role.Text(0, 0)).value_or(audit::Role::Operator);
    if (audit::Allows(has, action)) return true;
    error = audit::RefusalText(m_actor.user, has, action);
    return false;
}

bool PgArchive::AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added,
                            std::string& error, const std::string& warnings) {
    if (m_conn == nullptr) {
        error = "the archive is not open";
        return false;
    }
    Download d;
    if (!DownloadOf(image, time, d, error)) return false;
    // The key this download keeps however often it is sent.
    if (sodium_init() < 0) {
        error = "no random numbers for the download's key";
        return false;
    }
    std::uint8_t random[16];
    randombytes_buf(random, sizeof random);
    const std::string clientKey = Hex(random, sizeof random);
    const std::string imageSha = Sha256(image.data(), image.size());
    std::uint8_t imageHash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(imageHash, image.data(), image.size());

    for (int attempt = 1;; ++attempt) {
        bool retry = false;
        const auto fail = [&](Query* q) {
            retry = q != nullptr && q->Retryable();
            std::string ignored;
            Exec("ROLLBACK", ignored);
            return false;
        };
        const auto once = [&]() -> bool {
            d.newRecords = 0;
            if (!Exec("BEGIN", error)) return fail(nullptr);
            if (!Admit(audit::Action::Download, error)) return fail(nullptr);
            Query insert(m_conn);
            insert.Int(time).Int(d.recordCount).Int(d.wrapPosition).Bytes(image.data(), kPacket);
            insert.Bytes(imageHash, sizeof imageHash).Text(warnings).Text(clientKey);
            if (!insert.Run("INSERT INTO downloads(time, serial, record_count, wrap_position, new_records,"
                            " count_packet, slots, image_sha256, warnings, client_key)"
                            " VALUES ($1, 0, $2::integer, $3::integer, 0, $4, '', $5, $6, $7) RETURNING id",
                            error))
                return fail(&insert);
            d.id = insert.Int(0, 0);
            std::vector<std::uint8_t> slots;
            // The new records' frame hashes, bound to the entry below.
            std::vector<std::pair<std::int64_t, std::array<std::uint8_t, crypto_hash_sha256_BYTES>>> bound;
            audit::RecordsDigest digest;
            Frame frame;
            for (int k = 0; k < d.recordCount; ++k) {
                std::memcpy(frame.data(), image.data() + kPacket * (1 + 2 * static_cast<std::size_t>(k)), frame.size());
                d.serial = FrameSerial(frame);
                const std::size_t size = TrimmedSize(frame);
                Query record(m_conn);
                record.Int(d.serial).Int(FrameTimeKey(frame)).Int(frame[1]).Int(FrameKey(frame)).Int(d.id);
                record.Bytes(frame.data(), size);
                if (!record.Run("INSERT INTO records(serial, time, location, key, first_download, frame)"
                                " VALUES ($1, $2, $3::integer, $4, $5, $6)"
                                " ON CONFLICT (serial, time, key, frame) DO NOTHING RETURNING id",
                                error))
                    return fail(&record);
                std::int64_t id = 0;
                if (record.Rows() == 1) {
                    id = record.Int(0, 0);
                    ++d.newRecords;
                } else {
                    Query find(m_conn);
                    find.Int(d.serial).Int(FrameTimeKey(frame)).Int(FrameKey(frame)).Bytes(frame.data(), size);
                    if (!find.Run("SELECT id FROM records WHERE serial = $1 AND time = $2 AND key = $3 AND frame = $4",
                                  error))
                        return fail(&find);
                    if (find.Rows() != 1) {
                        error = "a record the server holds could not be found again";
                        return fail(nullptr);
                    }
                    id = find.Int(0, 0);
                }
                for (int shift = 0; shift < 32; shift += 8) slots.push_back(static_cast<std::uint8_t>(id >> shift));
                if (record.Rows() == 1) {
                    auto& [boundId, hash] = bound.emplace_back();
                    boundId = id;
                    crypto_hash_sha256(hash.data(), frame.data(), frame.size());
                    digest.Add(id, hash.data());
                }
            }
            Query finish(m_conn);
            finish.Int(d.serial).Int(d.newRecords).Bytes(slots.data(), slots.size()).Int(d.id);
            if (!finish.Run("UPDATE downloads SET serial = $1, new_records = $2::integer, slots = $3 WHERE id = $4",
                            error))
                return fail(&finish);
            std::int64_t seq = 0;
            const std::string data =
                nlohmann::json{
                    {"download", d.id},         {"image_sha256", imageSha},       {"new_records", d.newRecords},
                    {"records", d.recordCount}, {"records_sha256", digest.Hex()}, {"serial", d.serial}}
                    .dump();
            if (!Append("download archived", data, seq, error)) return fail(nullptr);
            for (const auto& [recordId, hash] : bound) {
                Query bind(m_conn);
                bind.Int(recordId).Int(seq).Bytes(hash.data(), hash.size());
                if (!bind.Run("INSERT INTO audit_records(record, entry, sha256) VALUES ($1, $2, $3)", error))
                    return fail(&bind);
            }
            Query commit(m_conn);
            if (!commit.Run("COMMIT", error)) return fail(&commit);
            return true;
        };
        if (once()) break;
        if (!retry || attempt >= kAttempts) return false;
    }
    d.warnings = warnings;
    if (added != nullptr) *added = d;
    return true;
}

bool PgArchive::Downloads(std::vector<Download>& downloads, std::string& error) {
    downloads.clear();
    Query list(m_conn);
    if (!list.Run("SELECT id, time, serial, record_count, wrap_position, new_records, warnings FROM downloads"
                  " ORDER BY id",
                  error))
        return false;
    for (int r = 0; r < list.Rows(); ++r) {
        Download d;
        d.id = list.Int(r, 0);
        d.time = list.Int(r, 1);
        d.serial = static_cast<std::uint32_t>(list.Int(r, 2));
        d.recordCount = static_cast<int>(list.Int(r, 3));
        d.wrapPosition = static_cast<int>(list.Int(r, 4));
        d.newRecords = static_cast<int>(list.Int(r, 5));
        d.warnings = list.Text(r, 6);
        downloads.push_back(std::move(d));
    }
    return true;
}

bool PgArchive::LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) {
    image.clear();
    Query download(m_conn);
    download.Int(id);
    if (!download.Run("SELECT count_packet, slots, record_count, image_sha256 FROM downloads WHERE id = $1", error))
        return false;
    if (download.Rows() != 1) {
        error = "no archived download " + std::to_string(id);
        return false;
    }
    const auto [count, countSize] = download.Blob(0, 0);
    const auto [slots, slotsSize] = download.Blob(0, 1);
    const auto records = static_cast<std::size_t>(download.Int(0, 2));
    const std::string stored = Hex(download.Blob(0, 3).first, download.Blob(0, 3).second);
    const std::string damaged = "archived download " + std::to_string(id) + " is damaged";
    if (countSize != kPacket || slotsSize != 4 * records) {
        error = damaged + " (its record list does not match its count)";
        return false;
    }
    std::vector<std::int64_t> ids;
    for (std::size_t k = 0; k < records; ++k)
        ids.push_back(std::int64_t{slots[4 * k]} | std::int64_t{slots[4 * k + 1]} << 8 |
                      std::int64_t{slots[4 * k + 2]} << 16 | std::int64_t{slots[4 * k + 3]} << 24);
    Query frames(m_conn);
    frames.Ids(ids);
    if (!frames.Run("SELECT id, frame FROM records WHERE id = ANY($1)", error)) return false;
    std::map<std::int64_t, Frame> byId;
    for (int r = 0; r < frames.Rows(); ++r) {
        Frame f{};
        const auto [data, size] = frames.Blob(r, 1);
        if (size > f.size()) {
            error = damaged + " (a record is longer than a frame)";
            return false;
        }
        if (size > 0) std::memcpy(f.data(), data, size);
        byId[frames.Int(r, 0)] = f;
    }
    image.assign(count, count + kPacket);
    for (const std::int64_t record : ids) {
        const auto it = byId.find(record);
        if (it == byId.end()) {
            image.clear();
            error = damaged + " (record " + std::to_string(record) + " is missing)";
            return false;
        }
        image.insert(image.end(), it->second.begin(), it->second.end());
    }
    if (Sha256(image.data(), image.size()) != stored) {
        image.clear();
        error = damaged + " (its memory image no longer has its SHA-256)";
        return false;
    }
    return true;
}

bool PgArchive::AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) {
    entries.clear();
    Query list(m_conn);
    list.Int(filter.from.value_or(INT64_MIN)).Int(filter.to.value_or(INT64_MAX));
    list.Text(filter.user.value_or("")).Text(filter.event.value_or(""));
    if (!list.Run("SELECT seq, time, utc_offset, \"user\", version, event, data, reason, previous, hash FROM audit"
                  " WHERE time BETWEEN $1 AND $2 AND ($3 = '' OR \"user\" = $3) AND ($4 = '' OR event = $4)"
                  " ORDER BY seq",
                  error))
        return false;
    for (int r = 0; r < list.Rows(); ++r) {
        audit::Entry e;
        e.seq = list.Int(r, 0);
        e.time = list.Int(r, 1);
        e.utcOffsetMinutes = static_cast<int>(list.Int(r, 2));
        e.user = list.Text(r, 3);
        e.version = list.Text(r, 4);
        e.event = list.Text(r, 5);
        e.data = list.Text(r, 6);
        e.reason = list.Text(r, 7);
        e.previous = list.Text(r, 8);
        e.hash = list.Text(r, 9);
        entries.push_back(std::move(e));
    }
    return true;
}

}  // namespace oront::archive
