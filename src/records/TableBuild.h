// The table build after the last packet of a download: rotation after a
// wrap, repair of a run cut by the wrap, run marking, the result table with
// its group and summary rows, and the report table.
#pragma once

#include <array>
#include <string>

#include "records/RecordStore.h"

namespace oront {

// Student t factors by number of points (index = N).
struct TFactorTable {
    std::array<float, 10> m_tFactor{0.0f, 0.0f, 6.3f, 2.9f, 2.4f, 2.1f, 2.0f, 1.9f, 1.9f, 1.9f};
};

// Step 1 of a download: every report line cleared, m_nLastRow = 0.
void ResetForDownload(RecordStore& store);

// Steps 4..7: rotate, repair, mark runs (adding their report lines to
// m_nReportLineCount), build the result table with the statistics, then add
// m_nRecordCount to m_nReportLineCount and keep the last record number given
// in m_nLastRecordNumber. Slots 0..m_nRecordCount-1 must hold the decoded
// records (at most 8000 are used). m_rows ends with exactly m_nLastRow + 1
// rows.
void BuildResultTable(RecordStore& store, const TFactorTable& tFactor);

// Step 9: the report table from the result table: one line per row, four
// per summary row, for rows 0..m_nLastRow; m_nReportLineCount becomes the
// number of lines written.
void BuildReportTable(RecordStore& store);

// The report (and CSV) cells of a row that is not a summary row.
void FillRecordLine(const ResultRow& row, ReportLine& line);
// The four lines (AVG, MAX, MIN, 95%UCL) of a summary row.
void FillSummaryLines(const ResultRow& row, ReportLine* lines);

// The Record text a group row shows: its stored number plus one (the number
// of the point's first cycle), where 8000 is followed by 0001.
std::string GroupRecordNumberText(const Text& stored);

// The channel sizes of a size code (as the report and the CSV file show them).
const char* Ch1SizeText(int sizeCode);  // "0.3um" below 10, else "0.5um"
const char* Ch2SizeText(int sizeCode);  // by the code table; nullptr outside it

}  // namespace oront
