// The certificates the archive issued: their numbers, what each certifies,
// and the SHA-256 of the file written, by which a file is checked again.
#include <cstdio>
#include <nlohmann/json.hpp>

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
    return audit::Sha256Hex(bytes);
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
        m_refused = false;
        if (!Admit(audit::Action::DraftCertificate, what, cause)) return fail(what, cause);
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

bool Archive::CompleteCertificate(std::int64_t id, const std::string& data, std::string_view file, std::string& error,
                                  const std::string& reason) {
    const std::string dataSha = Sha256Hex(data);
    const std::string fileSha = file.empty() ? std::string() : Sha256Hex(file);
    return Write(
        [&](std::string& what, std::string& cause) {
            if (!Admit(audit::Action::DraftCertificate, what, cause)) return false;
            Statement old(m_db, "SELECT number, data_sha256 FROM certificates WHERE id = ?1");
            old.Bind(1, id);
            if (old.Step() != SQLITE_ROW)
                return what = "cannot keep the certificate",
                       cause = old.Cause().empty() ? "no such certificate" : old.Cause(), false;
            const std::string number = old.Text(0);
            const bool reissued = !old.IsNull(1);
            const bool changed = reissued && old.Text(1) != dataSha;
            Statement update(m_db,
                             "UPDATE certificates SET data = ?1, data_sha256 = ?2, file_sha256 = ?3 WHERE id = ?4");
            BindText(update, 1, data);
            BindText(update, 2, dataSha);
            if (!fileSha.empty()) BindText(update, 3, fileSha);
            update.Bind(4, id);
            if (update.Step() != SQLITE_DONE)
                return what = "cannot keep the certificate", cause = update.Cause(), false;
            std::int64_t seq = 0;
            if (changed) {
                // What was signed is no longer what the certificate says.
                std::vector<std::int64_t> voided;
                Statement list(m_db,
                               "SELECT id FROM signatures WHERE kind = 'certificate' AND subject = ?1 AND void = 0"
                               " ORDER BY id");
                list.Bind(1, id);
                int rc;
                while ((rc = list.Step()) == SQLITE_ROW) voided.push_back(list.Int(0));
                if (rc != SQLITE_DONE) return what = "cannot read the signatures", cause = list.Cause(), false;
                if (!voided.empty()) {
                    Statement mark(m_db, "UPDATE signatures SET void = 1 WHERE kind = 'certificate' AND subject = ?1");
                    mark.Bind(1, id);
                    if (mark.Step() != SQLITE_DONE)
                        return what = "cannot write the signatures", cause = mark.Cause(), false;
                    const std::string voidData =
                        nlohmann::json{{"certificate", id}, {"number", number}, {"signatures", voided}}.dump();
                    if (!Append("signatures voided", voidData, "the certificate was issued again with other data", seq,
                                cause))
                        return what = "cannot write the audit trail", false;
                }
            }
            const std::string entry = nlohmann::json{
                {"certificate", id},
                {"data_sha256", dataSha},
                {"file_sha256", fileSha},
                {"number", number},
                {"reissued", reissued}}.dump();
            if (!Append("certificate issued", entry, reason, seq, cause))
                return what = "cannot write the audit trail", false;
            return true;
        },
        error);
}

// The certificate of the one row `sql` selects by `key`.
bool Archive::ReadCertificate(const char* sql, const std::string& key, std::optional<CertificateRecord>& found,
                              std::string& error) {
    found.reset();
    if (m_db == nullptr || m_version < 4) return true;
    Statement find(m_db, sql);
    BindText(find, 1, key);
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

bool Archive::FindCertificate(const std::string& fileSha256, std::optional<CertificateRecord>& found,
                              std::string& error) {
    return ReadCertificate(
        "SELECT id, number, issued, data, data_sha256, file_sha256 FROM certificates"
        " WHERE file_sha256 = ?1 ORDER BY id LIMIT 1",
        fileSha256, found, error);
}

bool Archive::CertificateByNumber(const std::string& number, std::optional<CertificateRecord>& found,
                                  std::string& error) {
    return ReadCertificate(
        "SELECT id, number, issued, data, data_sha256, file_sha256 FROM certificates"
        " WHERE number = ?1",
        number, found, error);
}

}  // namespace oront::archive
