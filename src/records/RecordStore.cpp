#include "records/RecordStore.h"

#include "records/TableBuild.h"

namespace oront {
namespace {
const ResultRow kEmptyRow{};
const MeasurementRecord kEmptyRecord{};
const RunFigures kNoFigures{};
}  // namespace

const ResultRow& RecordStore::EmptyRow() {
    return kEmptyRow;
}

const MeasurementRecord& RecordStore::EmptySlot() {
    return kEmptyRecord;
}

const RunFigures& RecordStore::FiguresOf(const ResultRow& row) const {
    const int i = row.m_nFigures;
    return (i >= 0 && static_cast<std::size_t>(i) < m_figures.size()) ? m_figures[static_cast<std::size_t>(i)]
                                                                      : kNoFigures;
}

ReportLine RecordStore::ReportLineAt(int i) const {
    ReportLine line;
    if (i < 0 || i >= m_nReportLineCount || static_cast<std::size_t>(i) >= m_reportLines.size()) return line;
    const std::int32_t entry = m_reportLines[static_cast<std::size_t>(i)];
    const ResultRow& row = Row(entry / 4);
    if (row.m_strKind == kind::kSummary)
        FillSummaryLine(*this, row, entry % 4, line);
    else
        FillRecordLine(*this, row, line);
    return line;
}

}  // namespace oront
