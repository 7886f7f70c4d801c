// The table build after the last packet of a download: rotation after a
// wrap, repair of a run cut by the wrap, run marking, the result table with
// its group and summary rows, and the report table.
#pragma once

#include <array>
#include <string_view>

#include "records/CFormat.h"
#include "records/RecordStore.h"

namespace oront {

// Student t factors by number of points (index = N).
struct TFactorTable {
    std::array<float, 10> m_tFactor{0.0f, 0.0f, 6.3f, 2.9f, 2.4f, 2.1f, 2.0f, 1.9f, 1.9f, 1.9f};
};

// Before a download: the report table emptied, m_nLastRow = 0.
void ResetForDownload(RecordStore& store);

// After the last packet: puts the slots into chronological order after a
// wrap, repairs a run whose beginning the wrap overwrote, marks the records of
// complete runs (adding their report lines to m_nReportLineCount), builds the
// result table with the group and summary rows, then adds m_nRecordCount to
// m_nReportLineCount and keeps the last record number given in
// m_nLastRecordNumber. Slots 0..m_nRecordCount-1 must hold the decoded
// records (at most 8000 are used). m_rows ends with exactly m_nLastRow + 1
// rows.
void BuildResultTable(RecordStore& store, const TFactorTable& tFactor);

// The report table from the result table: one line per row, four
// per summary row, for rows 0..m_nLastRow; m_nReportLineCount becomes the
// number of lines. The lines' cells are derived when a line is read.
void BuildReportTable(RecordStore& store);

// The report line of a row of the store that is not a summary row.
void FillRecordLine(const RecordStore& store, const ResultRow& row, ReportLine& line);
// Line 0..3 (AVG, MAX, MIN, 95%UCL) of a summary row.
void FillSummaryLine(const RecordStore& store, const ResultRow& row, int index, ReportLine& line);

// The Record text a group row shows: its stored number plus one (the number
// of the point's first cycle), where 8000 is followed by 0001.
NumberText GroupRecordNumberText(std::string_view stored);
// The Record text a member row shows: its stored number with at least four
// digits ("%04d" of its atoi), written into `buffer` where it differs from
// the stored text.
std::string_view ReadMemberRecordNumber(std::string_view stored, NumberText& buffer);  // any stored text
inline std::string_view MemberRecordNumberText(std::string_view stored, NumberText& buffer) {
    // Stored numbers have four digits already. Inline, as most lines of a
    // file are member lines.
    if (stored.size() == 4 && ShortTextIsDigits(stored)) return stored;
    return ReadMemberRecordNumber(stored, buffer);
}

// The channel sizes of a size code (as the report and the CSV file show
// them): channel 1 "0.3um" below 10, else "0.5um"; channel 2 by the code
// table, empty outside it. Inline, as they are read for every line of a file.
inline std::string_view Ch1SizeText(int sizeCode) {
    return sizeCode < 10 ? "0.3um" : "0.5um";
}
inline std::string_view Ch2SizeText(int sizeCode) {
    switch (sizeCode) {
        case 0:
            return "0.5um";
        case 1:
        case 10:
            return "1.0um";
        case 2:
        case 11:
            return "2.0um";
        case 3:
        case 12:
            return "2.5um";
        default:
            return {};
    }
}

}  // namespace oront
