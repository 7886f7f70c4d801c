// The certificates the archive issued: their numbers, what each certifies,
// and the SHA-256 of the file written, by which a file is checked again.
#include <sodium.h>

#include <cstdio>

#include "archive/Archive.h"
#include "archive/SqliteStatement.h"

namespace oront::archive {
namespace {

constexpr const char* kAssignedPrefix = "V208-";

void BindText(Statement& st, int i, const std::string& text) {
    sqlite3_bind_text(st.get(), i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sizeof hash);
    for (const unsigned char b : hash) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
    }
    return hex;
}

bool IsAssignedNumber(const std::string& number) {
    return number.rfind(kAssignedPrefix, 0) == 0;
}

bool Archive::ReserveCertificate(const std::string& requested, std::int64_t time, CertificateRecord& reserved,
                                 std::string& error) {
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    if (IsAssignedNumber(requested)) {
        error = "report numbers that begin with " + std::string(kAssignedPrefix) + " are the archive's own";
        return false;
    }
    std::string cause;
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot write to the archive", cause);
        return false;
    }
    const auto fail = [&](const std::string& what, const std::string& why) {
        error = why.empty() ? what : Reason(what, why);
        Exec(m_db, "ROLLBACK");
        return false;
    };
    {
        std::string what;
        if (!CheckStructure(what, cause)) return fail(what, cause);
    }
    if (!requested.empty()) {
        Statement used(m_db, "SELECT issued FROM certificates WHERE number = ?1");
        BindText(used, 1, requested);
        const int rc = used.Step();
        if (rc == SQLITE_ROW) return fail("report number " + requested + " is already used by another certificate", {});
        if (rc != SQLITE_DONE) return fail("cannot read the certificates", used.Cause());
    }
    // The row takes a number of its own first: the assigned one is formed
    // from the id, which AUTOINCREMENT never gives twice.
    Statement insert(m_db, "INSERT INTO certificates(number, issued) VALUES(?1, ?2)");
    BindText(insert, 1, requested.empty() ? "reserving" : requested);
    insert.Bind(2, time);
    if (insert.Step() != SQLITE_DONE) return fail("cannot write the certificate", insert.Cause());
    reserved = CertificateRecord{};
    reserved.id = sqlite3_last_insert_rowid(m_db);
    reserved.issued = time;
    reserved.number = requested;
    if (requested.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%06lld", kAssignedPrefix, static_cast<long long>(reserved.id));
        reserved.number = number;
        Statement name(m_db, "UPDATE certificates SET number = ?1 WHERE id = ?2");
        BindText(name, 1, reserved.number);
        name.Bind(2, reserved.id);
        if (name.Step() != SQLITE_DONE) return fail("cannot write the certificate", name.Cause());
    }
    if (!Exec(m_db, "COMMIT", &cause)) return fail("cannot write to the archive", cause);
    return true;
}

bool Archive::CompleteCertificate(std::int64_t id, const std::string& data, std::string_view file, std::string& error) {
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    Statement update(m_db, "UPDATE certificates SET data = ?1, data_sha256 = ?2, file_sha256 = ?3 WHERE id = ?4");
    BindText(update, 1, data);
    BindText(update, 2, Sha256Hex(data));
    if (!file.empty()) BindText(update, 3, Sha256Hex(file));
    update.Bind(4, id);
    if (update.Step() != SQLITE_DONE || sqlite3_changes(m_db) != 1) {
        error = Reason("cannot keep the certificate", update.Cause().empty() ? "no such certificate" : update.Cause());
        return false;
    }
    return true;
}

bool Archive::FindCertificate(const std::string& fileSha256, std::optional<CertificateRecord>& found,
                              std::string& error) {
    found.reset();
    if (m_db == nullptr || m_version < 4) return true;
    Statement find(m_db,
                   "SELECT id, number, issued, data, data_sha256, file_sha256 FROM certificates"
                   " WHERE file_sha256 = ?1 ORDER BY id LIMIT 1");
    BindText(find, 1, fileSha256);
    const int rc = find.Step();
    if (rc == SQLITE_ROW) {
        CertificateRecord& r = found.emplace();
        r.id = find.Int(0);
        r.number = find.Text(1);
        r.issued = find.Int(2);
        r.data = find.Text(3);
        r.dataSha256 = find.Text(4);
        r.fileSha256 = find.Text(5);
        return true;
    }
    if (rc == SQLITE_DONE) return true;
    error = Reason("cannot read the certificates", find.Cause());
    return false;
}

}  // namespace oront::archive
