#include "records/RecordStore.h"

namespace oront {
namespace {
const ResultRow kEmptyRow{};
const ReportLine kEmptyLine{};
const MeasurementRecord kEmptyRecord{};
}  // namespace

const ResultRow& RecordStore::Row(int i) const {
    return (i >= 0 && static_cast<std::size_t>(i) < m_rows.size()) ? m_rows[static_cast<std::size_t>(i)] : kEmptyRow;
}
const ReportLine& RecordStore::Line(int i) const {
    return (i >= 0 && static_cast<std::size_t>(i) < m_reportLines.size()) ? m_reportLines[static_cast<std::size_t>(i)]
                                                                           : kEmptyLine;
}
const MeasurementRecord& RecordStore::Slot(int i) const {
    return (i >= 0 && static_cast<std::size_t>(i) < m_records.size()) ? m_records[static_cast<std::size_t>(i)]
                                                                      : kEmptyRecord;
}

}  // namespace oront
