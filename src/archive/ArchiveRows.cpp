// The SQLite file's side of copying an archive: its tables row by row.
#include <cstdint>

#include "archive/Archive.h"
#include "archive/SqliteStatement.h"

namespace oront::archive {
namespace {

std::string ColumnList(const TableLayout& table, std::size_t count = SIZE_MAX) {
    std::string list;
    for (std::size_t c = 0; c < table.columns.size() && c < count; ++c)
        list += (c > 0 ? ", " : "") + std::string(table.columns[c]);
    return list;
}

}  // namespace

bool Archive::ReadTable(const TableLayout& table, const std::function<bool(const Row&)>& handle, std::string& error) {
    if (m_db == nullptr) return true;
    const std::string sql =
        "SELECT " + ColumnList(table) + " FROM " + table.name + " ORDER BY " + ColumnList(table, table.keyColumns);
    Statement st(m_db, sql.c_str());
    if (!st.ok()) {
        error = Reason(std::string("cannot read the ") + table.name, st.Cause());
        return false;
    }
    Row row(table.columns.size());
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            TableValue& cell = row[c];
            const int i = static_cast<int>(c);
            switch (sqlite3_column_type(st.get(), i)) {
                case SQLITE_INTEGER:
                    cell = {TableValue::Type::Int, st.Int(i), 0.0, {}};
                    break;
                case SQLITE_FLOAT:
                    cell = {TableValue::Type::Real, 0, sqlite3_column_double(st.get(), i), {}};
                    break;
                case SQLITE_TEXT:
                    cell = {TableValue::Type::Text, 0, 0.0, st.Text(i)};
                    break;
                case SQLITE_BLOB: {
                    const auto [data, size] = st.Blob(i);
                    cell = {TableValue::Type::Blob, 0, 0.0, std::string(reinterpret_cast<const char*>(data), size)};
                    break;
                }
                default:
                    cell = TableValue{};
            }
        }
        if (!handle(row)) return true;
    }
    if (rc != SQLITE_DONE) {
        error = Reason(std::string("cannot read the ") + table.name, st.Cause());
        return false;
    }
    return true;
}

bool Archive::BeginImport(std::string& error) {
    std::string cause;
    if (m_db == nullptr || m_version != kSchemaVersion) {
        error = Reason("cannot copy into the archive", "it is not open for writing in this program's layout");
        return false;
    }
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot copy into the archive", cause);
        return false;
    }
    return true;
}

bool Archive::ImportRow(const TableLayout& table, const Row& row, std::string& error) {
    sqlite3_stmt* st = nullptr;
    for (const auto& [layout, prepared] : m_imports)
        if (layout == &table) st = prepared;
    if (st == nullptr) {
        std::string sql = std::string("INSERT INTO ") + table.name + "(" + ColumnList(table) + ") VALUES (";
        for (std::size_t c = 0; c < table.columns.size(); ++c) sql += (c > 0 ? ", ?" : "?");
        sql += ")";
        if (const int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr); rc != SQLITE_OK) {
            error = CauseOf(m_db, rc);
            return false;
        }
        m_imports.emplace_back(&table, st);
    }
    sqlite3_reset(st);
    for (std::size_t c = 0; c < row.size() && c < table.columns.size(); ++c) {
        const TableValue& cell = row[c];
        const int i = static_cast<int>(c) + 1;
        switch (cell.type) {
            case TableValue::Type::Int:
                sqlite3_bind_int64(st, i, cell.i);
                break;
            case TableValue::Type::Real:
                sqlite3_bind_double(st, i, cell.d);
                break;
            case TableValue::Type::Text:
                sqlite3_bind_text(st, i, cell.s.data(), static_cast<int>(cell.s.size()), SQLITE_TRANSIENT);
                break;
            case TableValue::Type::Blob:
                sqlite3_bind_blob(st, i, cell.s.empty() ? "" : cell.s.data(), static_cast<int>(cell.s.size()),
                                  SQLITE_TRANSIENT);
                break;
            case TableValue::Type::Null:
                sqlite3_bind_null(st, i);
                break;
        }
    }
    if (const int rc = sqlite3_step(st); rc != SQLITE_DONE) {
        error = CauseOf(m_db, rc);
        return false;
    }
    return true;
}

bool Archive::EndImport(bool commit, std::string& error) {
    for (const auto& [layout, st] : m_imports) sqlite3_finalize(st);
    m_imports.clear();
    std::string cause;
    if (commit && Exec(m_db, "COMMIT", &cause)) return true;
    Exec(m_db, "ROLLBACK");
    if (commit) error = Reason("cannot copy into the archive", cause);
    return !commit;
}

}  // namespace oront::archive
