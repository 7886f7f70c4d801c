// The archive's own wrapping of SQLite's C interface: a prepared statement
// that keeps the text of its failure, and SQL run without results. Used by
// the archive's sources only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <utility>

namespace oront::archive {

// SQLite's own text for a failure, never "not an error" (which a later call
// leaves behind) nor "unknown error".
inline std::string CauseOf(sqlite3* db, int rc) {
    std::string text = db != nullptr ? sqlite3_errmsg(db) : "";
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE &&
        (text.empty() || text == "not an error" || text == "unknown error"))
        text = sqlite3_errstr(rc);
    return text;
}

// One prepared statement, finalized with its scope. It keeps the text of its
// own failure, taken when it happened.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
        if (m_rc != SQLITE_OK) m_cause = CauseOf(db, m_rc);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    [[nodiscard]] bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3_stmt* get() const { return m_stmt; }
    // SQLITE_ROW, SQLITE_DONE or an error (whose text Cause() then gives).
    int Step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            m_rc = rc;
            m_cause = CauseOf(m_db, rc);
        }
        return rc;
    }
    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    void Bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void Bind(int i, const void* data, std::size_t size) {
        sqlite3_bind_blob(m_stmt, i, size > 0 ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
    }
    std::int64_t Int(int i) const { return sqlite3_column_int64(m_stmt, i); }
    bool IsNull(int i) const { return sqlite3_column_type(m_stmt, i) == SQLITE_NULL; }
    std::pair<const std::uint8_t*, std::size_t> Blob(int i) const {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, i));
        return {data, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i))};
    }
    std::string Text(int i) const {
        const unsigned char* text = sqlite3_column_text(m_stmt, i);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    [[nodiscard]] const std::string& Cause() const { return m_cause; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
    std::string m_cause;
};

// Runs SQL without results; false with SQLite's text in `cause`.
inline bool Exec(sqlite3* db, const char* sql, std::string* cause = nullptr) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK && cause != nullptr) *cause = message != nullptr ? message : CauseOf(db, rc);
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

}  // namespace oront::archive
