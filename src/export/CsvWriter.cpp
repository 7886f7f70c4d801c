#include "export/CsvWriter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/OutputFile.h"
#include "records/CFormat.h"
#include "records/RecordCells.h"
#include "records/TableBuild.h"

namespace oront {
namespace {

constexpr std::string_view kTitleLines =
    "[Test data]\r\n"
    "\r\n"
    "Record,Mode,Location,Points,Cycles,Date & Time,Sample Time,Hold Time,"
    "Ch1 Size, Ch1 Data ,Ch2 Size, Ch2 Data,Ch3 Size,Ch3 Data ,Unit,Status,\r\n";

#if defined(__GNUC__)
#define ORONT_CSV_INLINE [[gnu::always_inline]] inline
#else
#define ORONT_CSV_INLINE inline
#endif

// The bytes of the file as they are built: a buffer with room ahead, so that
// appending a cell is a plain copy.
class LineBuffer {
public:
    ORONT_CSV_INLINE void Append(std::string_view text) {
        Reserve(text.size());
        std::memcpy(m_buf.data() + m_len, text.data(), text.size());
        m_len += text.size();
    }
    ORONT_CSV_INLINE void Append(const Text& text) {
        const std::size_t n = text.size();
        if (n > Text::kInlineCapacity) return Append(text.view());
        // An inline text lives in the 24 bytes of the Text itself: copying all
        // of them is one fixed-size move; only its n characters count.
        Reserve(sizeof(Text));
        std::memcpy(m_buf.data() + m_len, text.c_str(), sizeof(Text));
        m_len += n;
    }
    ORONT_CSV_INLINE void Append(char c) {
        Reserve(1);
        m_buf[m_len++] = c;
    }
    [[nodiscard]] std::string_view View() const { return {m_buf.data(), m_len}; }
    [[nodiscard]] std::size_t Size() const { return m_len; }
    void Clear() { m_len = 0; }
    std::string Take() {
        m_buf.resize(m_len);
        m_len = 0;
        return std::move(m_buf);
    }

private:
    ORONT_CSV_INLINE void Reserve(std::size_t n) {
        if (m_len + n > m_buf.size()) [[unlikely]]
            Grow(n);
    }
    void Grow(std::size_t n) { m_buf.resize(std::max(2 * m_buf.size(), m_len + n + 4096)); }
    std::string m_buf;
    std::size_t m_len = 0;
};

// Appends the line (or four lines) of one result row.
void AppendRow(const ResultRow& row, LineBuffer& out) {
    if (row[ResultRow::m_strKind] == kind::kSummary) {
        static constexpr std::string_view kLabels[4] = {",,,,AVG,,,,", ",,,,MAX,,,,", ",,,,MIN,,,,", ",,,,95%UCL,,,,"};
        static constexpr int kFields[4] = {ResultRow::m_strAvg, ResultRow::m_strMax, ResultRow::m_strMin,
                                           ResultRow::m_strUcl};
        const Text& unit = row[ResultRow::Copy(MeasurementRecord::m_strUnit)];
        for (int i = 0; i < 4; ++i) {
            out.Append(kLabels[i]);
            for (int c = 0; c < 3; ++c) {
                out.Append(',');
                out.Append(row[kFields[i] + c]);
                out.Append(',');
            }
            out.Append(unit);
            out.Append(std::string_view("\r\n"));
        }
        return;
    }
    // The same cells as the report table; a line without a Status cell ends
    // after the Unit cell's comma.
    struct CsvSink {
        LineBuffer& out;
        ORONT_CSV_INLINE void Copy(int, const Text& text) {
            out.Append(text);
            out.Append(',');
        }
        ORONT_CSV_INLINE void Put(int, std::string_view text) {
            out.Append(text);
            out.Append(',');
        }
        ORONT_CSV_INLINE void Empty(int column) {
            if (column != ReportLine::Status) out.Append(',');
        }
    } sink{out};
    RecordLineCells(row, sink);
    out.Append(std::string_view("\r\n"));
}

// Asks for a later row's memory while the current one is written: a row
// spans many cache lines and the rows of a full memory do not fit the cache.
void PrefetchRow([[maybe_unused]] const ResultRow& row) {
#if defined(__GNUC__)
    const char* p = reinterpret_cast<const char*>(&row);
    for (std::size_t off = 0; off < sizeof(ResultRow); off += 64) __builtin_prefetch(p + off);
#endif
}

// Appends rows start..end, calling flush whenever the buffer holds a block.
template <typename Flush>
bool AppendRows(const RecordStore& store, int start, int end, LineBuffer& out, Flush&& flush) {
    constexpr int kPrefetchAhead = 2;
    for (int i = start; i <= end; ++i) {
        if (i + kPrefetchAhead <= end) PrefetchRow(store.m_rows[static_cast<std::size_t>(i + kPrefetchAhead)]);
        AppendRow(store.m_rows[static_cast<std::size_t>(i)], out);
        if (!flush(out)) return false;
    }
    return true;
}

// Rows that exist in the table; indices outside it are never read.
void ClampRange(const RecordStore& store, int& start, int& end) {
    start = std::max(start, 0);
    end = static_cast<int>(std::min<long long>(end, static_cast<long long>(store.m_rows.size()) - 1));
}

}  // namespace

std::string CsvText(const RecordStore& store, int start, int end) {
    ClampRange(store, start, end);
    LineBuffer out;
    out.Append(kTitleLines);
    AppendRows(store, start, end, out, [](LineBuffer&) { return true; });
    return out.Take();
}

bool WriteCsvFileWithCause(const RecordStore& store, const std::string& path, int start, int end, std::string& cause) {
    cause.clear();
    OutputFile file;
    if (file.Open(path)) {
        // Lines are collected into a bounded buffer and written in blocks, so
        // the memory used does not grow with the number of rows.
        constexpr std::size_t kBlock = 1 << 16;
        LineBuffer buffer;
        buffer.Append(kTitleLines);
        ClampRange(store, start, end);
        const bool written = AppendRows(store, start, end, buffer, [&](LineBuffer& out) {
            if (out.Size() < kBlock) return true;
            const bool ok = file.Write(out.View());
            out.Clear();
            return ok;
        });
        if (written && file.Write(buffer.View())) file.Commit();
    }
    cause = file.Result().Describe();
    return file.Result().ok();
}

bool WriteCsvFile(const RecordStore& store, const std::string& path, int start, int end) {
    std::string cause;
    return WriteCsvFileWithCause(store, path, start, end, cause);
}

std::string DefaultFileName(std::time_t now) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const long long parts[6] = {local.tm_year + 1900LL, local.tm_mon + 1LL, local.tm_mday,
                                local.tm_hour,          local.tm_min,       local.tm_sec};
    std::string name;
    for (long long part : parts) name += FormatMinDigits(part, 2);
    return name;
}

}  // namespace oront
