// The archive's users, its audit trail and the electronic signatures: the
// trail is one chain of entries, each holding the hash of the one before;
// the records, downloads, certificates and signatures are bound into it by
// the SHA-256 of their contents, so that VerifyAudit finds any change made
// behind the program's back.
#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "archive/Archive.h"
#include "archive/SqliteStatement.h"
#include "archive/TrailCheck.h"
#include "base/Messages.h"

namespace oront::archive {
namespace {

using audit::Hex;
using audit::RecordsDigest;
using nlohmann::json;

void BindText(Statement& st, int i, const std::string& text) {
    sqlite3_bind_text(st.get(), i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A record's hash: the SHA-256 of its whole 128-byte frame.
std::array<std::uint8_t, crypto_hash_sha256_BYTES> FrameHash(const std::uint8_t* stored, std::size_t size) {
    Frame frame{};
    // An empty frame (all zero bytes, kept trimmed to nothing) has no bytes to copy.
    if (size > 0) std::memcpy(frame.data(), stored, std::min(size, frame.size()));
    std::array<std::uint8_t, crypto_hash_sha256_BYTES> hash{};
    crypto_hash_sha256(hash.data(), frame.data(), frame.size());
    return hash;
}

audit::Entry EntryOf(const Statement& st) {
    audit::Entry e;
    e.seq = st.Int(0);
    e.time = st.Int(1);
    e.utcOffsetMinutes = static_cast<int>(st.Int(2));
    e.user = st.Text(3);
    e.version = st.Text(4);
    e.event = st.Text(5);
    e.data = st.Text(6);
    e.reason = st.Text(7);
    e.previous = st.Text(8);
    e.hash = st.Text(9);
    return e;
}

constexpr const char* kEntryColumns = "seq, time, utc_offset, user, version, event, data, reason, previous, hash";

}  // namespace

const char* SignedKindName(SignedKind kind) {
    return kind == SignedKind::Certificate ? "certificate" : "download";
}

bool Archive::Write(const std::function<bool(std::string& what, std::string& cause)>& body, std::string& error) {
    m_refused = false;
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    std::string cause;
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot write to the archive", cause);
        return false;
    }
    std::string what;
    bool ok = CheckStructure(what, cause) && body(what, cause);
    if (ok && !Exec(m_db, "COMMIT", &cause)) {
        what = "cannot write to the archive";
        ok = false;
    }
    if (!ok) {
        error = cause.empty() ? what : Reason(what, cause);
        Exec(m_db, "ROLLBACK");
    }
    return ok;
}

bool Archive::Admit(audit::Action action, std::string& what, std::string& cause) {
    Statement count(m_db, "SELECT count(*) FROM users");
    if (!count.ok() || count.Step() != SQLITE_ROW) return what = "cannot read the users", cause = count.Cause(), false;
    if (count.Int(0) == 0) {
        // The first user of an archive is its administrator.
        Statement add(m_db, "INSERT INTO users(name, full_name, role) VALUES(?1, ?2, 'administrator')");
        BindText(add, 1, m_actor.user);
        BindText(add, 2, m_actor.fullName);
        if (add.Step() != SQLITE_DONE) return what = "cannot write the users", cause = add.Cause(), false;
        const json data = {{"user", m_actor.user}, {"full_name", m_actor.fullName}, {"role", "administrator"}};
        std::int64_t seq = 0;
        if (!Append("user added", data.dump(), "the first user of the archive is its administrator", seq, cause))
            return what = "cannot write the audit trail", false;
        return true;
    }
    Statement role(m_db, "SELECT role FROM users WHERE name = ?1");
    BindText(role, 1, m_actor.user);
    const int rc = role.Step();
    if (rc == SQLITE_DONE) {
        m_refused = true;
        what = "refused: " + m_actor.user + " is not a user of this archive; an administrator adds users (" +
               "oront-v208-cli users add " + m_actor.user + " --role operator)";
        cause.clear();
        return false;
    }
    if (rc != SQLITE_ROW) return what = "cannot read the users", cause = role.Cause(), false;
    const audit::Role has = audit::ParseRole(role.Text(0)).value_or(audit::Role::Operator);
    if (!audit::Allows(has, action)) {
        m_refused = true;
        what = audit::RefusalText(m_actor.user, has, action);
        cause.clear();
        return false;
    }
    return true;
}

bool Archive::Append(const std::string& event, const std::string& data, const std::string& reason, std::int64_t& seq,
                     std::string& cause) {
    audit::Entry e;
    {
        Statement last(m_db, "SELECT seq, hash FROM audit ORDER BY seq DESC LIMIT 1");
        const int rc = last.Step();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return cause = last.Cause(), false;
        e = audit::NextEntry(rc == SQLITE_ROW ? last.Int(0) : 0, rc == SQLITE_ROW ? last.Text(1) : std::string(),
                             m_actor.user, kProgramVersion, event, data, reason);
    }
    Statement insert(m_db,
                     "INSERT INTO audit(seq, time, utc_offset, user, version, event, data, reason, previous, hash)"
                     " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    insert.Bind(1, e.seq);
    insert.Bind(2, e.time);
    insert.Bind(3, e.utcOffsetMinutes);
    BindText(insert, 4, e.user);
    BindText(insert, 5, e.version);
    BindText(insert, 6, e.event);
    BindText(insert, 7, e.data);
    BindText(insert, 8, e.reason);
    BindText(insert, 9, e.previous);
    BindText(insert, 10, e.hash);
    if (insert.Step() != SQLITE_DONE) return cause = insert.Cause(), false;
    seq = e.seq;
    return true;
}

bool Archive::BindRecords(std::int64_t seq, const std::vector<std::int64_t>& records, std::string& digest,
                          std::string& cause) {
    Statement read(m_db, "SELECT frame FROM records WHERE id = ?1");
    Statement bind(m_db, "INSERT INTO audit_records(record, entry, sha256) VALUES(?1, ?2, ?3)");
    if (!read.ok() || !bind.ok()) return cause = read.ok() ? bind.Cause() : read.Cause(), false;
    RecordsDigest all;
    for (const std::int64_t id : records) {
        read.Bind(1, id);
        if (read.Step() != SQLITE_ROW)
            return cause = read.Cause().empty() ? "a record is missing" : read.Cause(), false;
        const auto [data, size] = read.Blob(0);
        const auto hash = FrameHash(data, size);
        read.Reset();
        bind.Bind(1, id);
        bind.Bind(2, seq);
        bind.Bind(3, hash.data(), hash.size());
        if (bind.Step() != SQLITE_DONE) return cause = bind.Cause(), false;
        bind.Reset();
        all.Add(id, hash.data());
    }
    digest = all.Hex();
    return true;
}

bool Archive::StartTrail(int fromVersion, std::string& cause) {
    std::vector<std::int64_t> records;
    {
        Statement list(m_db, "SELECT id FROM records ORDER BY id");
        int rc;
        while ((rc = list.Step()) == SQLITE_ROW) records.push_back(list.Int(0));
        if (rc != SQLITE_DONE) return cause = list.Cause(), false;
    }
    json downloads = json::array();
    {
        Statement list(m_db, "SELECT id, image_sha256 FROM downloads ORDER BY id");
        int rc;
        while ((rc = list.Step()) == SQLITE_ROW) {
            const auto [hash, size] = list.Blob(1);
            downloads.push_back({list.Int(0), Hex(hash, size)});
        }
        if (rc != SQLITE_DONE) return cause = list.Cause(), false;
    }
    json certificates = json::array();
    {
        Statement list(m_db, "SELECT id, number, data_sha256, file_sha256 FROM certificates ORDER BY id");
        int rc;
        while ((rc = list.Step()) == SQLITE_ROW)
            certificates.push_back({list.Int(0), list.Text(1), list.Text(2), list.Text(3)});
        if (rc != SQLITE_DONE) return cause = list.Cause(), false;
    }
    Statement next(m_db, "SELECT coalesce(max(seq), 0) + 1 FROM audit");
    if (next.Step() != SQLITE_ROW) return cause = next.Cause(), false;
    const std::int64_t seq = next.Int(0);
    std::string digest;
    if (!BindRecords(seq, records, digest, cause)) return false;
    const json data = {{"from_layout", fromVersion},
                       {"to_layout", kSchemaVersion},
                       {"note", "the archive had no audit trail; the trail starts here and binds what it held"},
                       {"downloads", downloads},
                       {"certificates", certificates},
                       {"records", records.size()},
                       {"records_sha256", digest}};
    std::int64_t appended = 0;
    if (!Append("archive migrated", data.dump(), {}, appended, cause)) return false;
    return appended == seq || (cause = "the audit trail changed meanwhile", false);
}

bool Archive::Check(audit::Action action, std::string& error) {
    m_refused = false;
    if (m_db == nullptr || m_version < 5) return true;
    Statement count(m_db, "SELECT count(*) FROM users");
    if (!count.ok() || count.Step() != SQLITE_ROW) {
        error = Reason("cannot read the users", count.Cause());
        return false;
    }
    if (count.Int(0) == 0) return true;
    Statement role(m_db, "SELECT role FROM users WHERE name = ?1");
    BindText(role, 1, m_actor.user);
    const int rc = role.Step();
    if (rc == SQLITE_ROW) {
        const audit::Role has = audit::ParseRole(role.Text(0)).value_or(audit::Role::Operator);
        if (audit::Allows(has, action)) return true;
        error = audit::RefusalText(m_actor.user, has, action);
    } else if (rc == SQLITE_DONE) {
        error = "refused: " + m_actor.user + " is not a user of this archive; an administrator adds users";
    } else {
        error = Reason("cannot read the users", role.Cause());
        return false;
    }
    m_refused = true;
    return false;
}

bool Archive::RecordEvent(audit::Action action, const std::string& event, const std::string& data, std::string& error,
                          const std::string& reason) {
    return Write(
        [&](std::string& what, std::string& cause) {
            std::int64_t seq = 0;
            if (!Admit(action, what, cause)) return false;
            if (!Append(event, data, reason, seq, cause)) return what = "cannot write the audit trail", false;
            return true;
        },
        error);
}

bool Archive::Users(std::vector<User>& users, std::string& error) {
    users.clear();
    if (m_db == nullptr || m_version < 5) return true;
    Statement list(m_db, "SELECT name, full_name, role, password <> '', failures FROM users ORDER BY name");
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) {
        User u;
        u.name = list.Text(0);
        u.fullName = list.Text(1);
        u.role = audit::ParseRole(list.Text(2)).value_or(audit::Role::Operator);
        u.hasPassword = list.Int(3) != 0;
        u.failures = static_cast<int>(list.Int(4));
        users.push_back(std::move(u));
    }
    if (rc == SQLITE_DONE) return true;
    error = Reason("cannot read the users", list.Cause());
    return false;
}

bool Archive::AddUser(const std::string& name, const std::string& fullName, audit::Role role, const std::string& reason,
                      std::string& error) {
    if (name.empty()) {
        error = "a user needs the name of a system account";
        return false;
    }
    return Write(
        [&](std::string& what, std::string& cause) {
            if (!Admit(audit::Action::EditUsers, what, cause)) return false;
            Statement add(m_db, "INSERT INTO users(name, full_name, role) VALUES(?1, ?2, ?3)");
            BindText(add, 1, name);
            BindText(add, 2, fullName.empty() ? name : fullName);
            BindText(add, 3, audit::RoleName(role));
            if (add.Step() != SQLITE_DONE) {
                if (sqlite3_extended_errcode(m_db) == SQLITE_CONSTRAINT_PRIMARYKEY)
                    return what = name + " is a user already", cause.clear(), false;
                return what = "cannot write the users", cause = add.Cause(), false;
            }
            const json data = {
                {"user", name}, {"full_name", fullName.empty() ? name : fullName}, {"role", audit::RoleName(role)}};
            std::int64_t seq = 0;
            return Append("user added", data.dump(), reason, seq, cause) ||
                   (what = "cannot write the audit trail", false);
        },
        error);
}

bool Archive::SetRole(const std::string& name, audit::Role role, const std::string& reason, std::string& error) {
    return Write(
        [&](std::string& what, std::string& cause) {
            if (!Admit(audit::Action::EditUsers, what, cause)) return false;
            Statement old(m_db, "SELECT role FROM users WHERE name = ?1");
            BindText(old, 1, name);
            if (old.Step() != SQLITE_ROW) return what = name + " is not a user of this archive", cause.clear(), false;
            const std::string before = old.Text(0);
            if (before == "administrator" && role != audit::Role::Administrator) {
                Statement admins(m_db, "SELECT count(*) FROM users WHERE role = 'administrator'");
                if (admins.Step() != SQLITE_ROW) return what = "cannot read the users", cause = admins.Cause(), false;
                if (admins.Int(0) <= 1)
                    return what = name + " is the archive's last administrator and keeps the role", cause.clear(),
                           false;
            }
            Statement update(m_db, "UPDATE users SET role = ?1 WHERE name = ?2");
            BindText(update, 1, audit::RoleName(role));
            BindText(update, 2, name);
            if (update.Step() != SQLITE_DONE) return what = "cannot write the users", cause = update.Cause(), false;
            const json data = {{"user", name}, {"old", before}, {"new", audit::RoleName(role)}};
            std::int64_t seq = 0;
            return Append("role changed", data.dump(), reason, seq, cause) ||
                   (what = "cannot write the audit trail", false);
        },
        error);
}

bool Archive::UnlockSigning(const std::string& name, const std::string& reason, std::string& error) {
    return Write(
        [&](std::string& what, std::string& cause) {
            if (!Admit(audit::Action::EditUsers, what, cause)) return false;
            Statement update(m_db, "UPDATE users SET failures = 0 WHERE name = ?1");
            BindText(update, 1, name);
            if (update.Step() != SQLITE_DONE) return what = "cannot write the users", cause = update.Cause(), false;
            if (sqlite3_changes(m_db) != 1) return what = name + " is not a user of this archive", cause.clear(), false;
            std::int64_t seq = 0;
            return Append("signing unlocked", json{{"user", name}}.dump(), reason, seq, cause) ||
                   (what = "cannot write the audit trail", false);
        },
        error);
}

bool Archive::SetSigningPassword(const std::string& current, const std::string& password, std::string& error) {
    if (const auto problem = audit::PasswordProblem(password)) {
        error = *problem;
        return false;
    }
    const std::string stored = audit::HashPassword(password);
    if (stored.empty()) {
        error = "the password cannot be hashed (out of memory)";
        return false;
    }
    return Write(
        [&](std::string& what, std::string& cause) {
            // Any role may sign as the one who performed the work.
            if (!Admit(audit::Action::SignPerformed, what, cause)) return false;
            Statement old(m_db, "SELECT password FROM users WHERE name = ?1");
            BindText(old, 1, m_actor.user);
            if (old.Step() != SQLITE_ROW) return what = "cannot read the users", cause = old.Cause(), false;
            if (!old.Text(0).empty() && !audit::PasswordMatches(old.Text(0), current)) {
                m_refused = true;
                return what = "refused: the current signing password is not right", cause.clear(), false;
            }
            Statement update(m_db, "UPDATE users SET password = ?1, failures = 0 WHERE name = ?2");
            BindText(update, 1, stored);
            BindText(update, 2, m_actor.user);
            if (update.Step() != SQLITE_DONE) return what = "cannot write the users", cause = update.Cause(), false;
            std::int64_t seq = 0;
            return Append("signing password set", json{{"user", m_actor.user}}.dump(), {}, seq, cause) ||
                   (what = "cannot write the audit trail", false);
        },
        error);
}

bool Archive::Sign(SignedKind kind, std::int64_t subject, audit::Meaning meaning, const std::string& password,
                   Signature& signature, std::string& error) {
    bool wrongPassword = false;
    std::string refusal;
    const bool written = Write(
        [&](std::string& what, std::string& cause) {
            if (!Admit(audit::SigningAction(meaning), what, cause)) return false;
            Statement user(m_db, "SELECT full_name, password, failures FROM users WHERE name = ?1");
            BindText(user, 1, m_actor.user);
            if (user.Step() != SQLITE_ROW) return what = "cannot read the users", cause = user.Cause(), false;
            const std::string fullName = user.Text(0);
            const std::string stored = user.Text(1);
            const std::int64_t failures = user.Int(2);
            m_refused = true;
            if (stored.empty())
                return what = "refused: " + m_actor.user +
                              " has no signing password yet (oront-v208-cli password sets it)",
                       cause.clear(), false;
            if (failures >= audit::kAttemptsBeforeLock)
                return what = "refused: signing is locked for " + m_actor.user +
                              " after three wrong passwords; an administrator unlocks it",
                       cause.clear(), false;
            if (!audit::PasswordMatches(stored, password)) {
                // Counted and audited: the write is kept, the signature refused.
                Statement count(m_db, "UPDATE users SET failures = failures + 1 WHERE name = ?1");
                BindText(count, 1, m_actor.user);
                if (count.Step() != SQLITE_DONE) return what = "cannot write the users", cause = count.Cause(), false;
                const json data = {{"user", m_actor.user}, {"attempt", failures + 1}};
                std::int64_t seq = 0;
                if (!Append("signing refused", data.dump(), "wrong signing password", seq, cause))
                    return what = "cannot write the audit trail", false;
                if (failures + 1 >= audit::kAttemptsBeforeLock &&
                    !Append("signing locked", json{{"user", m_actor.user}}.dump(), "three wrong signing passwords", seq,
                            cause))
                    return what = "cannot write the audit trail", false;
                wrongPassword = true;
                refusal = failures + 1 >= audit::kAttemptsBeforeLock
                              ? "refused: wrong signing password; signing is now locked for " + m_actor.user +
                                    " until an administrator unlocks it"
                              : "refused: wrong signing password";
                return true;
            }
            m_refused = false;
            // What is signed, as it is now.
            std::string sha;
            std::string missing;
            if (!SignedContent(kind, subject, sha, missing, cause)) return what = "cannot read what is signed", false;
            if (!missing.empty()) return what = missing, cause.clear(), false;
            // The one who performed the work does not review it, nor the
            // reviewer claim to have performed it.
            if (meaning != audit::Meaning::Approved) {
                const char* other = meaning == audit::Meaning::Performed ? "reviewed" : "performed";
                Statement same(m_db,
                               "SELECT count(*) FROM signatures WHERE kind = ?1 AND subject = ?2 AND meaning = ?3"
                               " AND user = ?4 AND void = 0");
                BindText(same, 1, SignedKindName(kind));
                same.Bind(2, subject);
                BindText(same, 3, other);
                BindText(same, 4, m_actor.user);
                if (same.Step() != SQLITE_ROW) return what = "cannot read the signatures", cause = same.Cause(), false;
                if (same.Int(0) > 0) {
                    m_refused = true;
                    return what = std::string("refused: ") + m_actor.user + " signed this " + SignedKindName(kind) +
                                  " as " + other + " by and cannot also sign it as " + audit::MeaningCaption(meaning),
                           cause.clear(), false;
                }
            }
            Statement reset(m_db, "UPDATE users SET failures = 0 WHERE name = ?1");
            BindText(reset, 1, m_actor.user);
            if (reset.Step() != SQLITE_DONE) return what = "cannot write the users", cause = reset.Cause(), false;
            Statement next(m_db, "SELECT coalesce(max(seq), 0) + 1 FROM audit");
            if (next.Step() != SQLITE_ROW) return what = "cannot read the audit trail", cause = next.Cause(), false;
            signature = Signature{};
            signature.kind = kind;
            signature.subject = subject;
            signature.meaning = meaning;
            signature.user = m_actor.user;
            signature.fullName = fullName;
            signature.time = static_cast<std::int64_t>(std::time(nullptr));
            signature.utcOffsetMinutes = audit::LocalOffsetMinutes(signature.time);
            signature.signedSha256 = sha;
            signature.entry = next.Int(0);
            signature.matches = true;
            Statement insert(m_db,
                             "INSERT INTO signatures(kind, subject, meaning, user, full_name, time, utc_offset,"
                             " subject_sha256, entry) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
            BindText(insert, 1, SignedKindName(kind));
            insert.Bind(2, subject);
            BindText(insert, 3, audit::MeaningName(meaning));
            BindText(insert, 4, m_actor.user);
            BindText(insert, 5, fullName);
            insert.Bind(6, signature.time);
            insert.Bind(7, signature.utcOffsetMinutes);
            BindText(insert, 8, sha);
            insert.Bind(9, signature.entry);
            if (insert.Step() != SQLITE_DONE) return what = "cannot write the signature", cause = insert.Cause(), false;
            signature.id = sqlite3_last_insert_rowid(m_db);
            const json data = {{"signature", signature.id}, {"kind", SignedKindName(kind)},
                               {"subject", subject},        {"meaning", audit::MeaningName(meaning)},
                               {"full_name", fullName},     {"time", signature.time},
                               {"signed_sha256", sha}};
            std::int64_t seq = 0;
            if (!Append("signature", data.dump(), {}, seq, cause)) return what = "cannot write the audit trail", false;
            return true;
        },
        error);
    if (written && wrongPassword) {
        m_refused = true;
        error = refusal;
        return false;
    }
    return written;
}

bool Archive::Signatures(SignedKind kind, std::int64_t subject, std::vector<Signature>& signatures,
                         std::string& error) {
    signatures.clear();
    if (m_db == nullptr || m_version < 5) return true;
    std::string now;
    std::string missing;
    std::string cause;
    if (!SignedContent(kind, subject, now, missing, cause)) {
        error = Reason("cannot read what is signed", cause);
        return false;
    }
    Statement list(m_db,
                   "SELECT id, meaning, user, full_name, time, utc_offset, subject_sha256, entry, void FROM signatures"
                   " WHERE kind = ?1 AND subject = ?2 ORDER BY id");
    BindText(list, 1, SignedKindName(kind));
    list.Bind(2, subject);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) {
        Signature s;
        s.id = list.Int(0);
        s.kind = kind;
        s.subject = subject;
        s.meaning = audit::ParseMeaning(list.Text(1)).value_or(audit::Meaning::Performed);
        s.user = list.Text(2);
        s.fullName = list.Text(3);
        s.time = list.Int(4);
        s.utcOffsetMinutes = static_cast<int>(list.Int(5));
        s.signedSha256 = list.Text(6);
        s.entry = list.Int(7);
        s.voided = list.Int(8) != 0;
        s.matches = !now.empty() && now == s.signedSha256;
        signatures.push_back(std::move(s));
    }
    if (rc == SQLITE_DONE) return true;
    error = Reason("cannot read the signatures", list.Cause());
    return false;
}

bool Archive::SignedContent(SignedKind kind, std::int64_t subject, std::string& sha, std::string& missing,
                            std::string& cause) {
    sha.clear();
    missing.clear();
    if (kind == SignedKind::Certificate) {
        Statement cert(m_db, "SELECT data FROM certificates WHERE id = ?1 AND data IS NOT NULL");
        cert.Bind(1, subject);
        const int rc = cert.Step();
        if (rc == SQLITE_ROW) sha = audit::Sha256Hex(cert.Text(0));
        if (rc == SQLITE_DONE) missing = "no issued certificate " + std::to_string(subject);
        return rc == SQLITE_ROW || rc == SQLITE_DONE || (cause = cert.Cause(), false);
    }
    std::vector<std::uint8_t> image;
    std::string damage;
    if (!Assemble(subject, image, damage, cause)) return false;
    if (!damage.empty())
        missing = "download " + std::to_string(subject) + " is damaged (" + damage + ")";
    else if (image.empty())
        missing = "no download " + std::to_string(subject);
    else
        sha = audit::Sha256Hex(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    return true;
}

bool Archive::ReissueCertificate(const std::string& number, std::int64_t time, CertificateRecord& reserved,
                                 std::string& error) {
    std::optional<CertificateRecord> found;
    if (!CertificateByNumber(number, found, error)) return false;
    if (!found) {
        error = "no certificate has the report number " + number;
        return false;
    }
    if (!Check(audit::Action::DraftCertificate, error)) return false;
    reserved = *found;
    reserved.issued = time;
    return true;
}

bool Archive::AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) {
    entries.clear();
    if (m_db == nullptr || m_version < 5) return true;
    const std::string sql = std::string("SELECT ") + kEntryColumns +
                            " FROM audit WHERE (?1 IS NULL OR time >= ?1) AND (?2 IS NULL OR time <= ?2)"
                            " AND (?3 IS NULL OR user = ?3) AND (?4 IS NULL OR event = ?4) ORDER BY seq";
    Statement list(m_db, sql.c_str());
    if (filter.from) list.Bind(1, *filter.from);
    if (filter.to) list.Bind(2, *filter.to);
    if (filter.user) BindText(list, 3, *filter.user);
    if (filter.event) BindText(list, 4, *filter.event);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) entries.push_back(EntryOf(list));
    if (rc == SQLITE_DONE) return true;
    error = Reason("cannot read the audit trail", list.Cause());
    return false;
}

bool Archive::VerifyAudit(AuditVerification& result, std::string& error) {
    result = AuditVerification{};
    if (m_db == nullptr) return true;
    if (m_version < 5) {
        result.firstBroken = 0;
        result.findings.push_back("the archive has no audit trail yet (layout " + std::to_string(m_version) +
                                  "; it starts when the archive is next written)");
        return true;
    }
    // One read transaction: the trail and what it binds as of one moment.
    std::string cause;
    if (!Exec(m_db, "BEGIN", &cause)) {
        error = Reason("cannot verify the audit trail", cause);
        return false;
    }
    TrailCheck check(result);
    int rc;
    {
        Statement list(m_db, (std::string("SELECT ") + kEntryColumns + " FROM audit ORDER BY seq").c_str());
        while ((rc = list.Step()) == SQLITE_ROW) check.Entry(EntryOf(list));
        if (rc != SQLITE_DONE) check.Unreadable("the audit trail", list.Cause());
    }
    {
        Statement list(m_db,
                       "SELECT a.entry, a.record, a.sha256, r.frame, r.id IS NULL FROM audit_records a"
                       " LEFT JOIN records r ON r.id = a.record ORDER BY a.entry, a.record");
        while ((rc = list.Step()) == SQLITE_ROW) {
            const auto [hash, hashSize] = list.Blob(2);
            const auto [frame, frameSize] = list.Blob(3);
            static const std::uint8_t kNone = 0;
            check.BoundRecord(list.Int(0), list.Int(1), hash, hashSize,
                              list.Int(4) != 0 ? nullptr : (frame != nullptr ? frame : &kNone), frameSize);
        }
        if (rc != SQLITE_DONE) check.Unreadable("the records' hashes", list.Cause());
        Statement unbound(m_db,
                          "SELECT r.id FROM records r LEFT JOIN audit_records a ON a.record = r.id"
                          " WHERE a.record IS NULL ORDER BY r.id");
        while ((rc = unbound.Step()) == SQLITE_ROW) check.UnboundRecord(unbound.Int(0));
        if (rc != SQLITE_DONE) check.Unreadable("the records", unbound.Cause());
    }
    {
        std::vector<std::int64_t> ids;
        Statement list(m_db, "SELECT id FROM downloads ORDER BY id");
        while ((rc = list.Step()) == SQLITE_ROW) ids.push_back(list.Int(0));
        if (rc != SQLITE_DONE) check.Unreadable("the downloads", list.Cause());
        for (const std::int64_t id : ids) {
            std::vector<std::uint8_t> image;
            std::string damage;
            check.Download(
                id, Assemble(id, image, damage, cause)
                        ? audit::Sha256Hex(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()))
                        : std::string());
        }
    }
    {
        Statement list(m_db,
                       "SELECT id, number, data, file_sha256 FROM certificates WHERE data IS NOT NULL ORDER BY id");
        while ((rc = list.Step()) == SQLITE_ROW)
            check.Certificate(list.Int(0), list.Text(1), list.Text(2), list.Text(3));
        if (rc != SQLITE_DONE) check.Unreadable("the certificates", list.Cause());
        Statement sigs(m_db,
                       "SELECT id, kind, subject, meaning, user, subject_sha256, void FROM signatures ORDER BY id");
        while ((rc = sigs.Step()) == SQLITE_ROW)
            check.Signature(sigs.Int(0), sigs.Text(1), sigs.Int(2), sigs.Text(3), sigs.Text(4), sigs.Text(5),
                            sigs.Int(6) != 0);
        if (rc != SQLITE_DONE) check.Unreadable("the signatures", sigs.Cause());
    }
    check.Finish();
    Exec(m_db, "COMMIT");
    return true;
}

}  // namespace oront::archive
