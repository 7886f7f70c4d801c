#include "export/CsvWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// The cells are copied into the line where they are made (inlined): called
// once per cell, the copy took a third of the time of a large file.
#if defined(__GNUC__)
#define ORONT_ALWAYS_INLINE __attribute__((always_inline))
#else
#define ORONT_ALWAYS_INLINE
#endif

// A line put together on the stack and appended to the output in one piece.
class LineBuffer {
public:
    explicit LineBuffer(std::string& out) : m_out(out) {}
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;

    // A cell and its comma.
    ORONT_ALWAYS_INLINE void Cell(std::string_view text) {
        // Room for the cell, its comma and the line's end.
        if (text.size() + 3 > sizeof m_line - m_used) {
            Flush();
            if (text.size() + 3 > sizeof m_line) {
                m_out += text;
                m_out += ',';
                return;
            }
        }
        // An empty cell may have no characters at all (a null pointer).
        if (!text.empty()) std::memcpy(m_line + m_used, text.data(), text.size());
        m_used += text.size();
        m_line[m_used++] = ',';
    }
    void End() {
        m_line[m_used++] = '\r';
        m_line[m_used++] = '\n';
        Flush();
    }

private:
    void Flush() {
        m_out.append(m_line, m_used);
        m_used = 0;
    }
    std::string& m_out;
    char m_line[256];
    std::size_t m_used = 0;
};

// Appends the line (or the four lines of a summary row) of result row i.
void AppendRow(const RecordStore& store, int i, std::string& out) {
    const ResultRow& row = store.Row(i);
    const MeasurementRecord& record = store.RecordOf(row);
    if (row.m_strKind == kind::kSummary) {
        // The label under Cycles, the three values under the Data columns,
        // then the unit, without a trailing comma.
        static constexpr std::string_view kLabels[4] = {",,,,AVG,,,,", ",,,,MAX,,,,", ",,,,MIN,,,,", ",,,,95%UCL,,,,"};
        const RunFigures& figures = store.FiguresOf(row);
        for (int line = 0; line < 4; ++line) {
            out += kLabels[line];
            for (const Text& value : SummaryLineValues(figures, line)) {
                out += ',';
                out += value.view();
                out += ',';
            }
            out += record.m_strUnit.view();
            out += "\r\n";
        }
        return;
    }
    // Every cell followed by a comma; a line without a Status cell ends after
    // the Unit cell's comma.
    LineBuffer line(out);
    RecordLineCells(store, row, [&line](ReportColumn c, std::string_view text) ORONT_ALWAYS_INLINE {
        if (c == ReportColumn::Status && text.empty()) return;
        line.Cell(text);
    });
    line.End();
}

// Rows that exist in the table; indices outside it are never read.
void ClampRange(const RecordStore& store, int& start, int& end) {
    start = std::max(start, 0);
    end = static_cast<int>(std::min<long long>(end, static_cast<long long>(store.m_rows.size()) - 1));
}

}  // namespace

std::string CsvText(const RecordStore& store, int start, int end) {
    ClampRange(store, start, end);
    std::string out(kTitleLines);
    for (int i = start; i <= end; ++i) AppendRow(store, i, out);
    return out;
}

bool WriteCsvFileWithCause(const RecordStore& store, const std::string& path, int start, int end, std::string& cause) {
    cause.clear();
    OutputFile file;
    if (file.Open(path)) {
        // Lines are collected into a bounded buffer and written in blocks, so
        // the memory used does not grow with the number of rows.
        constexpr std::size_t kBlock = 1 << 16;
        std::string buffer(kTitleLines);
        ClampRange(store, start, end);
        bool written = true;
        for (int i = start; i <= end && written; ++i) {
            AppendRow(store, i, buffer);
            if (buffer.size() >= kBlock) {
                written = file.Write(buffer);
                buffer.clear();
            }
        }
        if (written && file.Write(buffer)) file.Commit();
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
