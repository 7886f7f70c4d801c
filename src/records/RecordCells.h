// The cells of the report table's lines, shared by the report and the CSV
// file so that both show the same texts.
#pragma once

#include <string_view>

#include "records/CFormat.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront {

// Hands the 16 cells of the line of a row of the store that is not a
// summary row to sink(ReportColumn, std::string_view), in column order. An
// empty text is an empty cell.
template <typename Sink>
void RecordLineCells(const RecordStore& store, const ResultRow& row, Sink&& sink) {
    using C = ReportColumn;
    const MeasurementRecord& record = store.RecordOf(row);
    const char k = kind::Code(row.m_strKind);
    const bool member = k == *kind::kMember;
    const bool group = k == *kind::kGroupCollapsed || k == *kind::kGroupExpanded;

    NumberText number;
    if (member)
        sink(C::Record, MemberRecordNumberText(row.m_strRecordNo, number));
    else if (group)
        sink(C::Record, GroupRecordNumberText(row.m_strRecordNo));
    else
        sink(C::Record, row.m_strRecordNo);

    if (k == *kind::kAuto)
        sink(C::Mode, "Auto");
    else if (k == *kind::kManual)
        sink(C::Mode, "Manual");
    else if (group || k == *kind::kIsoPlain)
        sink(C::Mode, "ISO");
    else
        sink(C::Mode, "");

    sink(C::Location, member ? std::string_view() : record.m_strLocation.view());
    sink(C::Points, member ? std::string_view() : record.m_strPoint.view());
    sink(C::Cycles, group ? std::string_view("AVG") : record.m_strCycle.view());
    sink(C::DateTime, record.m_strDateTime);
    sink(C::SampleTime, record.m_strSampleTime);
    sink(C::HoldTime, record.m_strHoldTime);

    const int sizeCode = CAtoi(record.m_strSizeCode);
    const std::string_view ch2 = Ch2SizeText(sizeCode);
    const std::string_view sizes[3] = {Ch1SizeText(sizeCode), ch2.empty() ? record.m_strSizeCode.view() : ch2, "5.0um"};
    for (int c = 0; c < 3; ++c) {
        sink(static_cast<C>(static_cast<int>(C::Ch1Size) + 2 * c), sizes[c]);
        // The large-value test of the data cells.
        NumberText buffer;
        const auto ch = static_cast<std::size_t>(c);
        sink(static_cast<C>(static_cast<int>(C::Ch1Data) + 2 * c),
             LargeValueText(group ? store.FiguresOf(row).m_strAvg[ch] : record.m_strCount[ch], buffer));
    }
    sink(C::Unit, record.m_strUnit);
    const bool showsOver = k == *kind::kAuto || k == *kind::kManual || member || k == *kind::kIsoPlain;
    sink(C::Status, showsOver && record.m_strStatus == "1" ? "OVER" : "");
}

// The four lines of a summary row (line 0 AVG, 1 MAX, 2 MIN, 3 95%UCL), as
// sink(ReportColumn, std::string_view) of every column.
// The values of summary line 0..3: averages, maxima, minima, 95 % upper
// confidence limits.
inline const std::array<Text, 3>& SummaryLineValues(const RunFigures& figures, int line) {
    const std::array<Text, 3>* values[4] = {&figures.m_strAvg, &figures.m_strMax, &figures.m_strMin, &figures.m_strUcl};
    return *values[line & 3];
}

template <typename Sink>
void SummaryLineCells(const RecordStore& store, const ResultRow& row, int line, Sink&& sink) {
    using C = ReportColumn;
    static constexpr std::string_view kLabels[4] = {"AVG", "MAX", "MIN", "95%UCL"};
    const std::array<Text, 3>& v = SummaryLineValues(store.FiguresOf(row), line);
    for (C c : {C::Record, C::Mode, C::Location, C::Points}) sink(c, "");
    sink(C::Cycles, kLabels[line]);
    for (C c : {C::DateTime, C::SampleTime, C::HoldTime, C::Ch1Size}) sink(c, "");
    sink(C::Ch1Data, v[0]);
    sink(C::Ch2Size, "");
    sink(C::Ch2Data, v[1]);
    sink(C::Ch3Size, "");
    sink(C::Ch3Data, v[2]);
    sink(C::Unit, store.RecordOf(row).m_strUnit);
    sink(C::Status, "");
}

}  // namespace oront
