#include "pgstore/PgArchive.h"

#include <libpq-fe.h>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "archive/PostgresSchema.h"
#include "archive/TrailCheck.h"
#include "base/Messages.h"
#include "pgstore/PgQuery.h"

namespace oront::archive {
namespace {

constexpr std::size_t kPacket = 64;
// The lock every append to the trail takes in turn (pg_advisory_xact_lock).
constexpr const char* kTrailLock = "SELECT pg_advisory_xact_lock(72080001)";
// A download that meets another's locks in another order is tried again.
constexpr int kAttempts = 5;

using audit::Hex;

std::string Sha256(const void* bytes, std::size_t size) {
    return audit::Sha256Hex(std::string_view(static_cast<const char*>(bytes), size));
}

constexpr std::size_t kMostFindings = 100;
constexpr int kRecordsPerRead = 4096;

}  // namespace

PgArchive::~PgArchive() {
    if (m_conn != nullptr) PQfinish(m_conn);
}

bool PgArchive::Exec(const char* sql, std::string& error) {
    PgQuery q(m_conn);
    return q.Run(sql, error);
}

bool PgArchive::Open(const std::string& connection, std::string& error) {
    if (m_conn != nullptr) PQfinish(m_conn);
    m_conn = PQconnectdb(connection.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        error = std::string("cannot reach the archive's server: ") + PQerrorMessage(m_conn);
        // libpq's message runs over lines; one line here.
        for (std::size_t at; (at = error.find("\n\t")) != std::string::npos;) error.replace(at, 2, " ");
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        return false;
    }
    PgQuery layout(m_conn);
    if (!layout.Run("SELECT coalesce(max(version), 0)::bigint FROM oront.schema_migrations", error)) {
        error = "the server holds no archive yet (oront-v208-cli archive-setup --print-sql sets it up): " + error;
        return false;
    }
    const std::int64_t version = layout.Int(0, 0);
    if (version != kPostgresSchemaVersion) {
        error = "the server's archive has layout " + std::to_string(version) + ", this program works with " +
                std::to_string(kPostgresSchemaVersion) +
                (version < kPostgresSchemaVersion
                     ? " (the site's administrator brings it up to date with oront-v208-cli archive-setup --print-sql)"
                     : "");
        return false;
    }
    // On the server the actor is the login the server authenticated.
    m_actor.user = PQuser(m_conn);
    return Exec("SET search_path TO oront", error);
}

bool PgArchive::HasPassword(const std::string& connection) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &message);
    PQfreemem(message);
    bool has = false;
    for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o)
        if (std::strcmp(o->keyword, "password") == 0 && o->val != nullptr && *o->val != '\0') has = true;
    PQconninfoFree(options);
    return has;
}

bool PgArchive::Lost() const {
    return m_conn == nullptr || PQstatus(m_conn) != CONNECTION_OK;
}

std::string PgArchive::Where() const {
    if (m_conn == nullptr) return "the archive's server";
    const std::string host = PQhost(m_conn) != nullptr ? PQhost(m_conn) : "";
    return std::string("database ") + PQdb(m_conn) + " on " + (host.empty() ? "localhost" : host) + ":" +
           PQport(m_conn);
}

bool PgArchive::Append(const std::string& event, const std::string& data, const std::string& reason, std::int64_t& seq,
                       std::string& error) {
    if (!Exec(kTrailLock, error)) return false;
    PgQuery last(m_conn);
    if (!last.Run("SELECT seq, hash FROM audit ORDER BY seq DESC LIMIT 1", error)) return false;
    const audit::Entry e =
        audit::NextEntry(last.Rows() > 0 ? last.Int(0, 0) : 0, last.Rows() > 0 ? last.Text(0, 1) : std::string(),
                         m_actor.user, kProgramVersion, event, data, reason);
    PgQuery insert(m_conn);
    insert.Int(e.seq).Int(e.time).Int(e.utcOffsetMinutes).Text(e.user).Text(e.version).Text(e.event).Text(e.data);
    insert.Text(e.reason).Text(e.previous).Text(e.hash);
    if (!insert.Run("INSERT INTO audit VALUES ($1, $2, $3::integer, $4, $5, $6, $7, $8, $9, $10)", error)) return false;
    seq = e.seq;
    return true;
}

bool PgArchive::Admit(audit::Action action, std::string& error) {
    PgQuery role(m_conn);
    role.Text(m_actor.user);
    if (!role.Run("SELECT role, (SELECT count(*) FROM users) FROM users WHERE name = $1 UNION ALL"
                  " SELECT NULL, count(*) FROM users LIMIT 1",
                  error))
        return false;
    if (role.Rows() > 0 && role.Null(0, 0) && role.Int(0, 1) == 0) {
        // The first user of the archive is its administrator.
        PgQuery add(m_conn);
        add.Text(m_actor.user).Text(m_actor.fullName);
        if (!add.Run("INSERT INTO users(name, full_name, role) VALUES ($1, $2, 'administrator')", error)) return false;
        std::int64_t seq = 0;
        return Append(
            "user added",
            nlohmann::json{{"user", m_actor.user}, {"full_name", m_actor.fullName}, {"role", "administrator"}}.dump(),
            {}, seq, error);
    }
    m_refused = true;
    if (role.Rows() == 0 || role.Null(0, 0)) {
        error = "refused: " + m_actor.user + " is not a user of this archive; an administrator adds users";
        return false;
    }
    const audit::Role has = audit::ParseRole(role.Text(0, 0)).value_or(audit::Role::Operator);
    if (audit::Allows(has, action)) return !(m_refused = false);
    error = audit::RefusalText(m_actor.user, has, action);
    return false;
}

bool PgArchive::Check(audit::Action action, std::string& error) {
    m_refused = false;
    if (m_conn == nullptr) return true;
    PgQuery role(m_conn);
    role.Text(m_actor.user);
    if (!role.Run("SELECT (SELECT role FROM users WHERE name = $1), (SELECT count(*) FROM users)", error)) return false;
    if (role.Int(0, 1) == 0) return true;
    m_refused = true;
    if (role.Null(0, 0)) {
        error = "refused: " + m_actor.user + " is not a user of this archive; an administrator adds users";
        return false;
    }
    const audit::Role has = audit::ParseRole(role.Text(0, 0)).value_or(audit::Role::Operator);
    if (audit::Allows(has, action)) return !(m_refused = false);
    error = audit::RefusalText(m_actor.user, has, action);
    return false;
}

bool PgArchive::RecordEvent(audit::Action action, const std::string& event, const std::string& data, std::string& error,
                            const std::string& reason) {
    m_refused = false;
    std::string ignored;
    std::int64_t seq = 0;
    if (Exec("BEGIN", error) && Admit(action, error) && Append(event, data, reason, seq, error) &&
        Exec("COMMIT", error))
        return true;
    Exec("ROLLBACK", ignored);
    return false;
}

bool PgArchive::RecordSpooledEvent(audit::Action action, const std::string& event, const std::string& data,
                                   const std::string& reason, const std::string& key, bool& existed,
                                   std::string& error) {
    m_refused = false;
    existed = false;
    std::string ignored;
    std::int64_t seq = 0;
    if (!Exec("BEGIN", error) || !Admit(action, error) || !Append(event, data, reason, seq, error))
        return Exec("ROLLBACK", ignored), false;
    PgQuery receipt(m_conn);
    receipt.Text(key).Int(seq);
    if (!receipt.Run("INSERT INTO spool_receipts VALUES ($1, $2) ON CONFLICT (key) DO NOTHING", error))
        return Exec("ROLLBACK", ignored), false;
    existed = receipt.Affected() == 0;
    if (existed) return Exec("ROLLBACK", ignored), true;
    return Exec("COMMIT", error) || (Exec("ROLLBACK", ignored), false);
}

bool PgArchive::AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added,
                            std::string& error, const std::string& warnings) {
    // The key this download keeps however often it is sent.
    if (sodium_init() < 0) {
        error = "no random numbers for the download's key";
        return false;
    }
    std::uint8_t random[16];
    randombytes_buf(random, sizeof random);
    return AddKeyedDownload(image, time, warnings, Hex(random, sizeof random), added, nullptr, error);
}

bool PgArchive::AddKeyedDownload(const std::vector<std::uint8_t>& image, std::int64_t time, const std::string& warnings,
                                 const std::string& clientKey, Download* added, bool* existed, std::string& error) {
    m_refused = false;
    if (existed != nullptr) *existed = false;
    if (m_conn == nullptr) {
        error = "the archive is not open";
        return false;
    }
    Download d;
    if (!DownloadOf(image, time, d, error)) return false;
    const std::string imageSha = Sha256(image.data(), image.size());
    std::uint8_t imageHash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(imageHash, image.data(), image.size());

    // The records as arrays, slot by slot: one statement keeps the new ones,
    // one finds the id of each.
    std::vector<std::int64_t> serials, times, locations, keys;
    std::vector<std::string> frames;
    Frame frame;
    for (int k = 0; k < d.recordCount; ++k) {
        std::memcpy(frame.data(), image.data() + kPacket * (1 + 2 * static_cast<std::size_t>(k)), frame.size());
        d.serial = FrameSerial(frame);
        serials.push_back(d.serial);
        times.push_back(FrameTimeKey(frame));
        locations.push_back(frame[1]);
        keys.push_back(FrameKey(frame));
        frames.emplace_back(reinterpret_cast<const char*>(frame.data()), TrimmedSize(frame));
    }

    for (int attempt = 1;; ++attempt) {
        bool retry = false;
        const auto fail = [&](PgQuery* q) {
            retry = q != nullptr && q->Retryable();
            std::string ignored;
            Exec("ROLLBACK", ignored);
            return false;
        };
        const auto once = [&]() -> bool {
            d.newRecords = 0;
            if (!Exec("BEGIN", error)) return fail(nullptr);
            if (!Admit(audit::Action::Download, error)) return fail(nullptr);
            // The register judges the new records; the latest record before
            // the download tells where they arrive among older ones.
            site::Register reg;
            if (!LoadRegister(reg, error)) return fail(nullptr);
            std::int64_t latestBefore = -1;
            if (!reg.Empty()) {
                PgQuery latest(m_conn);
                if (!latest.Run("SELECT max(time) FROM records", error)) return fail(&latest);
                if (!latest.Null(0, 0)) latestBefore = latest.Int(0, 0);
            }
            PgQuery insert(m_conn);
            insert.Int(time).Int(d.recordCount).Int(d.wrapPosition).Bytes(image.data(), kPacket);
            insert.Bytes(imageHash, sizeof imageHash).Text(warnings).Text(clientKey);
            if (!insert.Run("INSERT INTO downloads(time, serial, record_count, wrap_position, new_records,"
                            " count_packet, slots, image_sha256, warnings, client_key)"
                            " VALUES ($1, 0, $2::integer, $3::integer, 0, $4, '', $5, $6, $7)"
                            " ON CONFLICT (client_key) DO NOTHING RETURNING id",
                            error))
                return fail(&insert);
            if (insert.Rows() == 0) {
                // Sent before: the server keeps the download it has.
                fail(nullptr);
                PgQuery known(m_conn);
                known.Text(clientKey);
                if (!known.Run("SELECT id, serial, new_records FROM downloads WHERE client_key = $1", error) ||
                    known.Rows() != 1)
                    return false;
                d.id = known.Int(0, 0);
                d.serial = static_cast<std::uint32_t>(known.Int(0, 1));
                d.newRecords = static_cast<int>(known.Int(0, 2));
                if (existed != nullptr) *existed = true;
                return true;
            }
            d.id = insert.Int(0, 0);
            PgQuery records(m_conn);
            records.Int8s(serials).Int8s(times).Int8s(locations).Int8s(keys).Byteas(frames).Int(d.id);
            if (!records.Run("INSERT INTO records(serial, time, location, key, first_download, frame)"
                             " SELECT s, t, l, k, $6, f FROM unnest($1::bigint[], $2::bigint[], $3::integer[],"
                             " $4::bigint[], $5::bytea[]) AS r(s, t, l, k, f)"
                             " ON CONFLICT (serial, time, key, frame) DO NOTHING",
                             error))
                return fail(&records);
            PgQuery ids(m_conn);
            ids.Int8s(serials).Int8s(times).Int8s(keys).Byteas(frames);
            if (!ids.Run("SELECT r.id, r.first_download FROM unnest($1::bigint[], $2::bigint[], $3::bigint[],"
                         " $4::bytea[]) WITH ORDINALITY AS i(s, t, k, f, slot)"
                         " JOIN records r ON r.serial = i.s AND r.time = i.t AND r.key = i.k AND r.frame = i.f"
                         " ORDER BY i.slot",
                         error))
                return fail(&ids);
            if (ids.Rows() != d.recordCount) {
                error = "the server did not find every record of the download again";
                return fail(nullptr);
            }
            std::vector<std::uint8_t> slots;
            // The new records with their frames' hashes, bound to the entry
            // below in the order of their ids.
            std::map<std::int64_t, std::array<std::uint8_t, crypto_hash_sha256_BYTES>> bound;
            std::vector<NewRecord> fresh;
            for (int k = 0; k < d.recordCount; ++k) {
                const std::int64_t id = ids.Int(k, 0);
                for (int shift = 0; shift < 32; shift += 8) slots.push_back(static_cast<std::uint8_t>(id >> shift));
                if (ids.Int(k, 1) != d.id || bound.count(id) != 0) continue;
                std::memcpy(frame.data(), image.data() + kPacket * (1 + 2 * static_cast<std::size_t>(k)), frame.size());
                crypto_hash_sha256(bound[id].data(), frame.data(), frame.size());
                if (!reg.Empty()) fresh.push_back({id, FrameTimeKey(frame), frame});
            }
            if (!reg.Empty() && !MonitorNewRecords(reg, fresh, latestBefore, d.id, error)) return fail(nullptr);
            d.newRecords = static_cast<int>(bound.size());
            audit::RecordsDigest digest;
            std::vector<std::int64_t> boundIds;
            std::vector<std::string> boundHashes;
            for (const auto& [id, hash] : bound) {
                digest.Add(id, hash.data());
                boundIds.push_back(id);
                boundHashes.emplace_back(reinterpret_cast<const char*>(hash.data()), hash.size());
            }
            PgQuery finish(m_conn);
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
            if (!Append("download archived", data, {}, seq, error)) return fail(nullptr);
            PgQuery bind(m_conn);
            bind.Int8s(boundIds).Int(seq).Byteas(boundHashes);
            if (!bind.Run("INSERT INTO audit_records(record, entry, sha256)"
                          " SELECT r, $2, h FROM unnest($1::bigint[], $3::bytea[]) AS b(r, h)",
                          error))
                return fail(&bind);
            if (beforeCommit) beforeCommit();
            PgQuery commit(m_conn);
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
    PgQuery list(m_conn);
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

bool PgArchive::Assemble(std::int64_t id, std::vector<std::uint8_t>& image, std::string& damage, std::string& cause) {
    image.clear();
    damage.clear();
    PgQuery download(m_conn);
    download.Int(id);
    if (!download.Run("SELECT count_packet, slots, record_count, image_sha256 FROM downloads WHERE id = $1", cause))
        return false;
    if (download.Rows() != 1) {
        cause = "no archived download " + std::to_string(id);
        return false;
    }
    const auto [count, countSize] = download.Blob(0, 0);
    const auto [slots, slotsSize] = download.Blob(0, 1);
    const auto records = static_cast<std::size_t>(download.Int(0, 2));
    const std::string stored = Hex(download.Blob(0, 3).first, download.Blob(0, 3).second);
    if (countSize != kPacket || slotsSize != 4 * records || CountOf(count).first != static_cast<int>(records)) {
        damage = "its record list does not match its count";
        return true;
    }
    std::vector<std::int64_t> ids;
    for (std::size_t k = 0; k < records; ++k)
        ids.push_back(std::int64_t{slots[4 * k]} | std::int64_t{slots[4 * k + 1]} << 8 |
                      std::int64_t{slots[4 * k + 2]} << 16 | std::int64_t{slots[4 * k + 3]} << 24);
    PgQuery frames(m_conn);
    frames.Int8s(ids);
    if (!frames.Run("SELECT id, frame, key FROM records WHERE id = ANY($1)", cause)) return false;
    std::map<std::int64_t, Frame> byId;
    for (int r = 0; r < frames.Rows(); ++r) {
        Frame f{};
        const auto [data, size] = frames.Blob(r, 1);
        if (size > f.size()) {
            damage = "record " + std::to_string(frames.Int(r, 0)) + " is longer than a frame";
            return true;
        }
        if (size > 0) std::memcpy(f.data(), data, size);
        if (FrameKey(f) != frames.Int(r, 2)) {
            damage = "record " + std::to_string(frames.Int(r, 0)) + " does not match its key";
            return true;
        }
        byId[frames.Int(r, 0)] = f;
    }
    image.assign(count, count + kPacket);
    for (const std::int64_t record : ids) {
        const auto it = byId.find(record);
        if (it == byId.end()) {
            image.clear();
            damage = "record " + std::to_string(record) + " is missing";
            return true;
        }
        image.insert(image.end(), it->second.begin(), it->second.end());
    }
    if (Sha256(image.data(), image.size()) != stored) {
        image.clear();
        damage = "its memory image no longer has its SHA-256";
    }
    return true;
}

bool PgArchive::LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) {
    std::string damage;
    if (!Assemble(id, image, damage, error)) return false;
    if (damage.empty()) return true;
    image.clear();
    error = "archived download " + std::to_string(id) + " is damaged (" + damage + ")";
    return false;
}

bool PgArchive::ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                              std::string& error) {
    // A page of records at a time, after the last record of the one before
    // (by time, then id).
    std::string sql = "SELECT id, serial, first_download, frame, time FROM records WHERE (time, id) > ($1, $2)";
    if (filter.serial) sql += " AND serial = $3";
    if (filter.location) sql += " AND location = $4";
    if (filter.from) sql += " AND time >= $5";
    if (filter.to) sql += " AND time <= $6";
    sql += " ORDER BY time, id LIMIT " + std::to_string(kRecordsPerRead);
    std::int64_t lastTime = -1;
    std::int64_t lastId = 0;
    while (true) {
        PgQuery page(m_conn);
        page.Int(lastTime).Int(lastId).Int(filter.serial.value_or(0)).Int(filter.location.value_or(0));
        page.Int(filter.from.value_or(0)).Int(filter.to.value_or(0));
        if (!page.Run(sql.c_str(), error)) return false;
        Record r;
        for (int row = 0; row < page.Rows(); ++row) {
            r.id = page.Int(row, 0);
            r.serial = static_cast<std::uint32_t>(page.Int(row, 1));
            r.firstDownload = page.Int(row, 2);
            r.frame.fill(0);
            const auto [data, size] = page.Blob(row, 3);
            if (size > 0) std::memcpy(r.frame.data(), data, std::min(size, r.frame.size()));
            lastTime = page.Int(row, 4);
            lastId = r.id;
            if (!handle(r)) return true;
        }
        if (page.Rows() < kRecordsPerRead) return true;
    }
}

bool PgArchive::Locations(std::vector<int>& locations, std::string& error) {
    locations.clear();
    // One seek in the location index per location, not a scan of every record.
    PgQuery list(m_conn);
    if (!list.Run("WITH RECURSIVE l(n) AS (SELECT min(location) FROM records UNION ALL"
                  " SELECT (SELECT min(location) FROM records WHERE location > l.n) FROM l WHERE l.n IS NOT NULL)"
                  " SELECT n::bigint FROM l WHERE n IS NOT NULL",
                  error))
        return false;
    for (int r = 0; r < list.Rows(); ++r) locations.push_back(static_cast<int>(list.Int(r, 0)));
    return true;
}

bool PgArchive::TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error) {
    span.reset();
    PgQuery st(m_conn);
    if (!st.Run("SELECT min(time), max(time) FROM records", error)) return false;
    if (!st.Null(0, 0)) span.emplace(st.Int(0, 0), st.Int(0, 1));
    return true;
}

bool PgArchive::LoadRegister(site::Register& reg, std::string& error) {
    reg = site::Register{};
    const auto real = [](const PgQuery& q, int row, int column) {
        const std::int64_t bits = q.Int(row, column);
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    };
    const auto optional = [](const PgQuery& q, int row, int column) {
        return q.Null(row, column) ? std::nullopt : std::optional<int>(static_cast<int>(q.Int(row, column)));
    };
    PgQuery organisation(m_conn);
    if (!organisation.Run("SELECT name, address FROM organisation", error)) return false;
    if (organisation.Rows() > 0) reg.organisation = {organisation.Text(0, 0), organisation.Text(0, 1)};
    PgQuery rooms(m_conn);
    if (!rooms.Run("SELECT position::bigint, id, name, area_m2, standard::bigint, class_tenths::bigint, grade,"
                   " state::bigint, notes, adverse_run::bigint FROM rooms ORDER BY position",
                   error))
        return false;
    PgQuery locations(m_conn);
    if (!locations.Run("SELECT room::bigint, number::bigint, name, x_m, y_m, critical::integer::bigint, valid_from,"
                       " valid_to FROM locations ORDER BY room, position",
                       error))
        return false;
    PgQuery limits(m_conn);
    if (!limits.Run("SELECT room::bigint, size_tenths::bigint, alert, action, location::bigint FROM limits"
                    " ORDER BY room, position",
                    error))
        return false;
    std::map<std::int64_t, std::size_t> byPosition;
    for (int r = 0; r < rooms.Rows(); ++r) {
        byPosition[rooms.Int(r, 0)] = reg.rooms.size();
        site::Room& room = reg.rooms.emplace_back();
        room.id = rooms.Text(r, 1);
        room.name = rooms.Text(r, 2);
        room.areaM2 = real(rooms, r, 3);
        room.standard = static_cast<classify::Standard>(std::clamp<std::int64_t>(rooms.Int(r, 4), 0, 2));
        room.classTenths = static_cast<int>(rooms.Int(r, 5));
        const std::string grade = rooms.Text(r, 6);
        room.grade = grade.empty() ? 0 : grade[0];
        room.state = static_cast<classify::Occupancy>(std::clamp<std::int64_t>(rooms.Int(r, 7), 0, 2));
        room.notes = rooms.Text(r, 8);
        room.adverseRun = static_cast<int>(rooms.Int(r, 9));
    }
    for (int r = 0; r < locations.Rows(); ++r) {
        const auto it = byPosition.find(locations.Int(r, 0));
        if (it == byPosition.end()) continue;
        site::Location& loc = reg.rooms[it->second].locations.emplace_back();
        loc.number = static_cast<int>(locations.Int(r, 1));
        loc.name = locations.Text(r, 2);
        loc.xM = real(locations, r, 3);
        loc.yM = real(locations, r, 4);
        loc.critical = locations.Int(r, 5) != 0;
        loc.from = optional(locations, r, 6);
        loc.to = optional(locations, r, 7);
    }
    for (int r = 0; r < limits.Rows(); ++r) {
        const auto it = byPosition.find(limits.Int(r, 0));
        if (it == byPosition.end()) continue;
        site::Limit& limit = reg.rooms[it->second].limits.emplace_back();
        limit.sizeTenths = static_cast<int>(limits.Int(r, 1));
        limit.alertPerM3 = real(limits, r, 2);
        limit.actionPerM3 = real(limits, r, 3);
        limit.location = optional(limits, r, 4);
    }
    PgQuery instruments(m_conn);
    if (!instruments.Run("SELECT serial, model, calibrated_on, calibration_due, certificate, flow FROM instruments"
                         " ORDER BY position",
                         error))
        return false;
    for (int r = 0; r < instruments.Rows(); ++r) {
        site::Instrument& ins = reg.instruments.emplace_back();
        ins.serial = static_cast<std::uint32_t>(instruments.Int(r, 0));
        ins.model = instruments.Text(r, 1);
        ins.calibratedOn = static_cast<site::Day>(instruments.Int(r, 2));
        ins.calibrationDue = static_cast<site::Day>(instruments.Int(r, 3));
        ins.certificate = instruments.Text(r, 4);
        ins.flowLPerMin = real(instruments, r, 5);
    }
    PgQuery downloads(m_conn);
    if (!downloads.Run("SELECT download, state::bigint FROM download_states ORDER BY position", error)) return false;
    for (int r = 0; r < downloads.Rows(); ++r)
        reg.downloads.push_back({downloads.Int(r, 0), static_cast<classify::Occupancy>(downloads.Int(r, 1))});
    return true;
}

bool PgArchive::Users(std::vector<User>& users, std::string& error) {
    users.clear();
    PgQuery list(m_conn);
    if (!list.Run("SELECT name, full_name, role, (password <> '')::integer::bigint, failures::bigint FROM users"
                  " ORDER BY name",
                  error))
        return false;
    for (int r = 0; r < list.Rows(); ++r) {
        User u;
        u.name = list.Text(r, 0);
        u.fullName = list.Text(r, 1);
        u.role = audit::ParseRole(list.Text(r, 2)).value_or(audit::Role::Operator);
        u.hasPassword = list.Int(r, 3) != 0;
        u.failures = static_cast<int>(list.Int(r, 4));
        users.push_back(std::move(u));
    }
    return true;
}

bool PgArchive::Verify(Verification& result, std::string& error) {
    result = Verification{};
    const auto found = [&result](std::string finding) {
        if (result.damage.size() < kMostFindings)
            result.damage.push_back(std::move(finding));
        else
            ++result.moreDamage;
    };
    std::vector<Download> downloads;
    if (!Downloads(downloads, error)) return false;
    result.downloads = static_cast<std::int64_t>(downloads.size());
    std::string cause;
    for (const Download& d : downloads) {
        std::vector<std::uint8_t> image;
        std::string damage;
        if (!Assemble(d.id, image, damage, cause))
            found("download " + std::to_string(d.id) + " cannot be read (" + cause + ")");
        else if (!damage.empty())
            found("download " + std::to_string(d.id) + " is damaged (" + damage + ")");
    }
    // Every record against what it is kept by, a page at a time.
    std::int64_t after = 0;
    while (true) {
        PgQuery page(m_conn);
        page.Int(after);
        if (!page.Run("SELECT id, serial, time, location::bigint, key, frame FROM records WHERE id > $1 ORDER BY id"
                      " LIMIT 4096",
                      error))
            return false;
        Frame frame;
        for (int r = 0; r < page.Rows(); ++r) {
            ++result.records;
            after = page.Int(r, 0);
            const auto [data, size] = page.Blob(r, 5);
            const std::string which = "record " + std::to_string(after);
            if (size > frame.size()) {
                found(which + " is longer than a record frame");
                continue;
            }
            frame.fill(0);
            if (size > 0) std::memcpy(frame.data(), data, size);
            const char* what = FrameKey(frame) != page.Int(r, 4)                                  ? "key"
                               : FrameTimeKey(frame) != page.Int(r, 2)                            ? "date and time"
                               : frame[1] != page.Int(r, 3)                                       ? "location"
                               : FrameSerial(frame) != static_cast<std::uint32_t>(page.Int(r, 1)) ? "serial number"
                                                                                                  : nullptr;
            if (what != nullptr) found(which + " does not match its " + std::string(what));
        }
        if (page.Rows() < 4096) return true;
    }
}

bool PgArchive::AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) {
    entries.clear();
    PgQuery list(m_conn);
    list.Int(filter.from.value_or(INT64_MIN)).Int(filter.to.value_or(INT64_MAX));
    list.Text(filter.user.value_or("")).Text(filter.event.value_or(""));
    if (!list.Run("SELECT seq, time, utc_offset::bigint, \"user\", version, event, data, reason, previous, hash"
                  " FROM audit WHERE time BETWEEN $1 AND $2 AND ($3 = '' OR \"user\" = $3) AND ($4 = '' OR event = $4)"
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

bool PgArchive::VerifyAudit(AuditVerification& result, std::string& error) {
    // One snapshot: the trail and what it binds as of one moment.
    if (!Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", error)) return false;
    const auto done = [this](bool ok) {
        std::string ignored;
        Exec("COMMIT", ignored);
        return ok;
    };
    TrailCheck check(result);
    std::vector<audit::Entry> entries;
    if (!AuditTrail({}, entries, error)) return done(false);
    for (const audit::Entry& e : entries) check.Entry(e);
    PgQuery bound(m_conn);
    if (!bound.Run("SELECT a.entry, a.record, a.sha256, r.frame, (r.id IS NULL)::integer::bigint FROM audit_records a"
                   " LEFT JOIN records r ON r.id = a.record ORDER BY a.entry, a.record",
                   error))
        return done(false);
    static const std::uint8_t kNone = 0;
    for (int r = 0; r < bound.Rows(); ++r) {
        const auto [hash, hashSize] = bound.Blob(r, 2);
        const auto [frame, frameSize] = bound.Blob(r, 3);
        check.BoundRecord(bound.Int(r, 0), bound.Int(r, 1), hash, hashSize,
                          bound.Int(r, 4) != 0 ? nullptr : (frameSize > 0 ? frame : &kNone), frameSize);
    }
    PgQuery unbound(m_conn);
    if (!unbound.Run("SELECT r.id FROM records r LEFT JOIN audit_records a ON a.record = r.id"
                     " WHERE a.record IS NULL ORDER BY r.id",
                     error))
        return done(false);
    for (int r = 0; r < unbound.Rows(); ++r) check.UnboundRecord(unbound.Int(r, 0));
    PgQuery downloads(m_conn);
    if (!downloads.Run("SELECT id FROM downloads ORDER BY id", error)) return done(false);
    for (int r = 0; r < downloads.Rows(); ++r) {
        std::vector<std::uint8_t> image;
        std::string damage;
        std::string cause;
        const std::int64_t id = downloads.Int(r, 0);
        check.Download(id, Assemble(id, image, damage, cause) && damage.empty() ? Sha256(image.data(), image.size())
                                                                                : std::string());
    }
    PgQuery certificates(m_conn);
    if (!certificates.Run("SELECT id, number, data, coalesce(file_sha256, '') FROM certificates"
                          " WHERE data IS NOT NULL ORDER BY id",
                          error))
        return done(false);
    for (int r = 0; r < certificates.Rows(); ++r)
        check.Certificate(certificates.Int(r, 0), certificates.Text(r, 1), certificates.Text(r, 2),
                          certificates.Text(r, 3));
    PgQuery signatures(m_conn);
    if (!signatures.Run("SELECT id, kind, subject, meaning, \"user\", subject_sha256, void::integer::bigint"
                        " FROM signatures ORDER BY id",
                        error))
        return done(false);
    for (int r = 0; r < signatures.Rows(); ++r)
        check.Signature(signatures.Int(r, 0), signatures.Text(r, 1), signatures.Int(r, 2), signatures.Text(r, 3),
                        signatures.Text(r, 4), signatures.Text(r, 5), signatures.Int(r, 6) != 0);
    check.Finish();
    return done(true);
}

namespace {

// The server's columns that hold booleans, which the other stores keep as
// integers.
bool IsBoolean(const TableLayout& table, const char* column) {
    return (std::strcmp(table.name, "locations") == 0 && std::strcmp(column, "critical") == 0) ||
           (std::strcmp(table.name, "signatures") == 0 && std::strcmp(column, "void") == 0);
}

std::string PgColumns(const TableLayout& table, std::size_t count, bool forReading) {
    std::string list;
    for (std::size_t c = 0; c < table.columns.size() && c < count; ++c) {
        const char* column = table.columns[c];
        list += c > 0 ? ", " : "";
        list += forReading && IsBoolean(table, column) ? std::string(column) + "::integer" : std::string(column);
    }
    return list;
}

constexpr unsigned kInt2 = 21;
constexpr unsigned kInt4 = 23;

}  // namespace

bool PgArchive::ReadTable(const TableLayout& table, const std::function<bool(const Row&)>& handle, std::string& error) {
    const std::string sql = "SELECT " + PgColumns(table, SIZE_MAX, true) + " FROM " + table.name + " ORDER BY " +
                            PgColumns(table, table.keyColumns, false);
    // Row by row, so that the largest table is never held whole.
    if (PQsendQueryParams(m_conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1) != 1 ||
        PQsetSingleRowMode(m_conn) != 1) {
        error = PQerrorMessage(m_conn);
        return false;
    }
    bool wanted = true;
    error.clear();
    Row row(table.columns.size());
    while (PGresult* result = PQgetResult(m_conn)) {
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_SINGLE_TUPLE && wanted) {
            for (int c = 0; c < PQnfields(result) && c < static_cast<int>(row.size()); ++c) {
                TableValue& cell = row[static_cast<std::size_t>(c)];
                const char* value = PQgetvalue(result, 0, c);
                const int size = PQgetlength(result, 0, c);
                const unsigned type = PQftype(result, c);
                if (PQgetisnull(result, 0, c) != 0) {
                    cell = TableValue{};
                } else if (type == kInt8 || type == kInt4 || type == kInt2) {
                    cell = {TableValue::Type::Int, BigEndian(value, size), 0.0, {}};
                } else if (type == kFloat8) {
                    const std::int64_t bits = BigEndian(value, size);
                    cell = {TableValue::Type::Real, 0, 0.0, {}};
                    std::memcpy(&cell.d, &bits, sizeof cell.d);
                } else {
                    cell = {type == kBytea ? TableValue::Type::Blob : TableValue::Type::Text, 0, 0.0,
                            std::string(value, static_cast<std::size_t>(size))};
                }
            }
            wanted = handle(row);
        } else if (status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE && error.empty()) {
            error = PQresultErrorMessage(result);
            while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        }
        PQclear(result);
    }
    return error.empty();
}

bool PgArchive::BeginImport(std::string& error) {
    m_prepared.clear();
    if (!Exec("BEGIN", error)) return false;
    std::string ignored;
    if (Exec(kTrailLock, error)) return true;
    Exec("ROLLBACK", ignored);
    return false;
}

bool PgArchive::ImportRow(const TableLayout& table, const Row& row, std::string& error) {
    const std::string name = std::string("import_") + table.name;
    const bool downloads = std::strcmp(table.name, "downloads") == 0;
    if (std::find(m_prepared.begin(), m_prepared.end(), &table) == m_prepared.end()) {
        std::string sql = std::string("INSERT INTO ") + table.name + "(" + PgColumns(table, SIZE_MAX, false) +
                          (downloads ? ", client_key" : "") + ") VALUES (";
        for (std::size_t c = 0; c < table.columns.size() + (downloads ? 1 : 0); ++c)
            sql += (c > 0 ? ", $" : "$") + std::to_string(c + 1);
        sql += ")";
        PGresult* prepared = PQprepare(m_conn, name.c_str(), sql.c_str(), 0, nullptr);
        const bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
        if (!ok) error = PQresultErrorMessage(prepared);
        PQclear(prepared);
        if (!ok) return false;
        m_prepared.push_back(&table);
    }
    PgQuery insert(m_conn);
    for (const TableValue& cell : row) {
        char number[32];
        switch (cell.type) {
            case TableValue::Type::Int:
                insert.Literal(std::to_string(cell.i));
                break;
            case TableValue::Type::Real: {
                const auto end = std::to_chars(number, number + sizeof number, cell.d).ptr;
                insert.Literal(std::string(number, end));
                break;
            }
            case TableValue::Type::Text:
                insert.Literal(cell.s);
                break;
            case TableValue::Type::Blob:
                insert.Bytes(cell.s.data(), cell.s.size());
                break;
            case TableValue::Type::Null:
                insert.Null();
                break;
        }
    }
    // A copied download's key: its archive's id and image, unique in the copy.
    if (downloads)
        insert.Literal("copied-" + std::to_string(row.at(0).i) + "-" +
                       Hex(reinterpret_cast<const std::uint8_t*>(row.at(8).s.data()), row.at(8).s.size()));
    return insert.RunPrepared(name.c_str(), error);
}

bool PgArchive::EndImport(bool commit, std::string& error) {
    std::string ignored;
    for (const TableLayout* table : m_prepared)
        Exec(("DEALLOCATE import_" + std::string(table->name)).c_str(), ignored);
    m_prepared.clear();
    if (!commit) return Exec("ROLLBACK", ignored), true;
    // The ids given next follow the copied ones.
    for (const char* table : {"downloads", "records", "certificates", "signatures"}) {
        const std::string sql = std::string("SELECT setval(pg_get_serial_sequence('oront.") + table +
                                "', 'id'), coalesce(max(id), 0) + 1, false) FROM " + table;
        if (!Exec(sql.c_str(), error)) return Exec("ROLLBACK", ignored), false;
    }
    return Exec("COMMIT", error) || (Exec("ROLLBACK", ignored), false);
}

}  // namespace oront::archive
