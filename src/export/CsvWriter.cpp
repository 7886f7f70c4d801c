#include "export/CsvWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/LocalTime.h"
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

// The line code is inlined where it is used: it runs for every cell of a
// file, and as calls it took a third of the time of a large one.
#if defined(__GNUC__)
#define ORONT_ALWAYS_INLINE __attribute__((always_inline))
#else
#define ORONT_ALWAYS_INLINE
#endif

// Copies n bytes with at most two fixed-size moves for the short texts of
// the cells (most are under 32 characters), reading and writing only the n
// bytes; a library call for longer ones.
ORONT_ALWAYS_INLINE inline void CopyShort(char* to, const char* from, std::size_t n) {
    if (n >= 16) {
        if (n > 32) {
            std::memcpy(to, from, n);
            return;
        }
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n != 0) {
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    }
}

// The room a line is written into; a longer one (texts of thousands of
// characters, which the instrument never sends) goes out piece by piece.
constexpr std::size_t kLineRoom = 4096;

// Where the lines go: the file, in blocks, so that the memory used does not
// grow with the number of rows, or a text in memory. Lines are put together
// at the end of the block; every whole block is handed on as it fills, so
// that the file is written in whole pages and a page on its way to the disk
// is never written again.
class CsvOutput {
public:
    explicit CsvOutput(std::string& text) : m_text(&text) {}
    explicit CsvOutput(OutputFile& file) : m_file(&file) {}
    CsvOutput(const CsvOutput&) = delete;
    CsvOutput& operator=(const CsvOutput&) = delete;

    // Room for n bytes at the end of the block; nullptr for more than the
    // block holds.
    char* Room(std::size_t n) {
        if (n > kCapacity - m_used) {
            Flush();
            if (n > kCapacity) return nullptr;
        }
        return m_block.get() + m_used;
    }
    // The n bytes after Room() are the output's.
    void Used(std::size_t n) {
        m_used += n;
        if (m_used >= kBlock) {
            Send({m_block.get(), kBlock});
            m_used -= kBlock;
            std::memmove(m_block.get(), m_block.get() + kBlock, m_used);
        }
    }
    void Append(std::string_view bytes) {
        char* to = Room(bytes.size());
        if (to == nullptr) {
            Send(bytes);
            return;
        }
        if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
        Used(bytes.size());
    }
    // Hands on what the block holds; false once a write to the file failed.
    bool Flush() {
        Send({m_block.get(), m_used});
        m_used = 0;
        return m_ok;
    }
    [[nodiscard]] bool ok() const { return m_ok; }

private:
    // A block (as much as the file sends on its way to the disk at a time),
    // and room past it for the line that fills it.
    static constexpr std::size_t kBlock = 256 * 1024;
    static constexpr std::size_t kCapacity = kBlock + kLineRoom;
    void Send(std::string_view bytes) {
        if (m_text != nullptr)
            m_text->append(bytes);
        else if (m_ok && !bytes.empty())
            m_ok = m_file->Write(bytes);
    }
    std::unique_ptr<char[]> m_block = std::make_unique_for_overwrite<char[]>(kCapacity);
    std::size_t m_used = 0;
    std::string* m_text = nullptr;
    OutputFile* m_file = nullptr;
    bool m_ok = true;
};

// One line, written straight into the room at the end of the output's block.
// A line that does not fit is reported by End() and written again as a
// LongLine.
class LineWriter {
public:
    explicit LineWriter(CsvOutput& out)
        : m_out(out), m_start(out.Room(kLineRoom)), m_to(m_start), m_end(m_start + kLineRoom - 2) {}

    // A text followed by a comma.
    ORONT_ALWAYS_INLINE void Cell(std::string_view text) {
        Put(text);
        *m_to = ',';
        m_to += m_to < m_end ? 1 : 0;
    }
    // A text without a comma.
    ORONT_ALWAYS_INLINE void Put(std::string_view text) {
        if (text.size() >= static_cast<std::size_t>(m_end - m_to)) {
            m_end = m_to;  // and every later text does not fit either
            return;
        }
        CopyShort(m_to, text.data(), text.size());
        m_to += text.size();
    }
    // The line's end; false when the line did not fit and nothing of it was
    // put out.
    bool End() {
        if (m_to == m_end) return false;
        m_to[0] = '\r';
        m_to[1] = '\n';
        m_out.Used(static_cast<std::size_t>(m_to + 2 - m_start));
        return true;
    }

private:
    CsvOutput& m_out;
    char* m_start;
    char* m_to;
    char* m_end;
};

// The same, for a line that does not fit: a text of its own.
class LongLine {
public:
    void Cell(std::string_view text) {
        m_text += text;
        m_text += ',';
    }
    void Put(std::string_view text) { m_text += text; }
    void End(CsvOutput& out) {
        m_text += "\r\n";
        out.Append(m_text);
    }

private:
    std::string m_text;
};

// Line 0..3 of a summary row: its cells up to the Unit between commas.
template <typename Line>
ORONT_ALWAYS_INLINE inline void SummaryLine(const RecordStore& store, const ResultRow& row, int index, Line& line) {
    SummaryLineCells(store, row, index, [&line](ReportColumn c, std::string_view text) {
        if (c == ReportColumn::Status) return;
        if (c == ReportColumn::Unit)
            line.Put(text);
        else
            line.Cell(text);
    });
}

// Every cell followed by a comma; a line without a Status cell ends after
// the Unit cell's comma.
template <typename Line>
ORONT_ALWAYS_INLINE inline void RecordLine(const RecordStore& store, const ResultRow& row, Line& line) {
    RecordLineCells(store, row, [&line](ReportColumn c, std::string_view text) ORONT_ALWAYS_INLINE {
        if (c == ReportColumn::Status && text.empty()) return;
        line.Cell(text);
    });
}

// Appends the line (or the four lines of a summary row) of result row i.
void AppendRow(const RecordStore& store, int i, CsvOutput& out) {
    const ResultRow& row = store.Row(i);
    if (row.m_strKind == kind::kSummary) {
        for (int index = 0; index < 4; ++index) {
            LineWriter line(out);
            SummaryLine(store, row, index, line);
            if (!line.End()) {
                LongLine longLine;
                SummaryLine(store, row, index, longLine);
                longLine.End(out);
            }
        }
        return;
    }
    LineWriter line(out);
    RecordLine(store, row, line);
    if (!line.End()) {
        LongLine longLine;
        RecordLine(store, row, longLine);
        longLine.End(out);
    }
}

// Rows that exist in the table; indices outside it are never read.
void ClampRange(const RecordStore& store, int& start, int& end) {
    start = std::max(start, 0);
    end = static_cast<int>(std::min<long long>(end, static_cast<long long>(store.m_rows.size()) - 1));
}

}  // namespace

std::string CsvText(const RecordStore& store, int start, int end) {
    ClampRange(store, start, end);
    std::string text;
    CsvOutput out(text);
    out.Append(kTitleLines);
    for (int i = start; i <= end; ++i) AppendRow(store, i, out);
    out.Flush();
    return text;
}

bool WriteCsvFileWithCause(const RecordStore& store, const std::string& path, int start, int end, std::string& cause) {
    cause.clear();
    OutputFile file;
    if (file.Open(path)) {
        CsvOutput out(file);
        out.Append(kTitleLines);
        ClampRange(store, start, end);
        for (int i = start; i <= end && out.ok(); ++i) AppendRow(store, i, out);
        if (out.Flush()) file.Commit();
    }
    cause = file.Result().Describe();
    return file.Result().ok();
}

bool WriteCsvFile(const RecordStore& store, const std::string& path, int start, int end) {
    std::string cause;
    return WriteCsvFileWithCause(store, path, start, end, cause);
}

std::string DefaultFileName(std::time_t now) {
    const std::tm local = LocalTime(now);
    const long long parts[6] = {local.tm_year + 1900LL, local.tm_mon + 1LL, local.tm_mday,
                                local.tm_hour,          local.tm_min,       local.tm_sec};
    std::string name;
    for (long long part : parts) name += FormatMinDigits(part, 2).view();
    return name;
}

}  // namespace oront
