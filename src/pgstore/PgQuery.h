// The server store's own wrapping of libpq: one statement with its
// parameters (binary, or PostgreSQL's text form where marked) and its binary
// result; array literals of PostgreSQL's text form. Used by the store's
// sources only.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace oront::archive {

constexpr unsigned kInt8 = 20;
constexpr unsigned kBytea = 17;
constexpr unsigned kText = 25;
constexpr unsigned kInt8Array = 1016;
constexpr unsigned kByteaArray = 1001;
constexpr unsigned kFloat8 = 701;
constexpr unsigned kFloat8Array = 1022;
constexpr unsigned kTextArray = 1009;

inline std::int64_t BigEndian(const char* bytes, int size) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes);
    std::uint64_t value = size > 0 && (b[0] & 0x80) != 0 ? ~std::uint64_t{0} : 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | b[i];
    return static_cast<std::int64_t>(value);
}

// One statement with its parameters (binary, or text where marked) and its
// binary result.
class PgQuery {
public:
    explicit PgQuery(pg_conn* conn) : m_conn(conn) {}
    ~PgQuery() { PQclear(m_result); }
    PgQuery(const PgQuery&) = delete;
    PgQuery& operator=(const PgQuery&) = delete;

    PgQuery& Int(std::int64_t value) {
        std::string bytes(8, '\0');
        for (int i = 0; i < 8; ++i) bytes[static_cast<std::size_t>(7 - i)] = static_cast<char>(value >> (8 * i));
        return Add(std::move(bytes), kInt8, 1);
    }
    PgQuery& Bytes(const void* data, std::size_t size) {
        return Add(std::string(static_cast<const char*>(data), size), kBytea, 1);
    }
    PgQuery& Text(const std::string& text) { return Add(text, kText, 1); }
    // A value in PostgreSQL's text form, its type taken from the statement.
    PgQuery& Literal(std::string text) { return Add(std::move(text), 0, 0); }
    PgQuery& Null() {
        m_nulls.push_back(m_values.size());
        return Add({}, 0, 0);
    }
    // Arrays in PostgreSQL's binary form: no text to make or for the server
    // to parse.
    PgQuery& Int8s(const std::vector<std::int64_t>& values) {
        std::string bytes = ArrayHeader(kInt8, values.size());
        for (const std::int64_t v : values) {
            Put32(bytes, 8);
            for (int i = 7; i >= 0; --i) bytes += static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
        }
        return Add(std::move(bytes), kInt8Array, 1);
    }
    PgQuery& Float8s(const std::vector<double>& values) {
        std::string bytes = ArrayHeader(kFloat8, values.size());
        for (const double v : values) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            Put32(bytes, 8);
            for (int i = 7; i >= 0; --i) bytes += static_cast<char>(bits >> (8 * i));
        }
        return Add(std::move(bytes), kFloat8Array, 1);
    }
    PgQuery& Texts(const std::vector<std::string>& values) { return Elements(values, kText, kTextArray); }
    PgQuery& Byteas(const std::vector<std::string>& values) { return Elements(values, kBytea, kByteaArray); }

    bool Run(const char* sql, std::string& error) {
        std::vector<const char*> values;
        std::vector<int> lengths;
        for (const std::string& v : m_values) {
            values.push_back(v.data());
            lengths.push_back(static_cast<int>(v.size()));
        }
        for (const std::size_t n : m_nulls) values[n] = nullptr;
        PQclear(m_result);
        m_result = m_prepared ? PQexecPrepared(m_conn, sql, static_cast<int>(m_values.size()), values.data(),
                                               lengths.data(), m_formats.data(), 1)
                              : PQexecParams(m_conn, sql, static_cast<int>(m_values.size()), m_types.data(),
                                             values.data(), lengths.data(), m_formats.data(), 1);
        const ExecStatusType status = PQresultStatus(m_result);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return true;
        error = PQresultErrorMessage(m_result);
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
        const char* state = PQresultErrorField(m_result, PG_DIAG_SQLSTATE);
        m_state = state != nullptr ? state : "";
        return false;
    }
    // Runs the statement prepared under the name `name`.
    bool RunPrepared(const char* name, std::string& error) {
        m_prepared = true;
        return Run(name, error);
    }
    [[nodiscard]] int Rows() const { return PQntuples(m_result); }
    // The rows an INSERT, UPDATE or DELETE changed.
    [[nodiscard]] int Affected() const { return std::atoi(PQcmdTuples(m_result)); }
    [[nodiscard]] bool Null(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }
    [[nodiscard]] std::int64_t Int(int row, int column) const {
        return BigEndian(PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
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
    static void Put32(std::string& bytes, std::uint32_t v) {
        for (int i = 3; i >= 0; --i) bytes += static_cast<char>(v >> (8 * i));
    }
    // One dimension of `count` elements of type `element`, from index 1.
    static std::string ArrayHeader(unsigned element, std::size_t count) {
        std::string bytes;
        for (const std::uint32_t v : {1u, 0u, element, static_cast<std::uint32_t>(count), 1u}) Put32(bytes, v);
        return bytes;
    }
    PgQuery& Elements(const std::vector<std::string>& values, unsigned element, unsigned array) {
        std::string bytes = ArrayHeader(element, values.size());
        for (const std::string& v : values) {
            Put32(bytes, static_cast<std::uint32_t>(v.size()));
            bytes += v;
        }
        return Add(std::move(bytes), array, 1);
    }
    PgQuery& Add(std::string value, unsigned type, int format) {
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
    std::vector<std::size_t> m_nulls;
    bool m_prepared = false;
    std::string m_state;
};

}  // namespace oront::archive
