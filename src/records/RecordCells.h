// The cell rules of a record line (every row kind but the summary), shared by
// the report table and the CSV file so that both show the same texts.
#pragma once

#include <charconv>
#include <string_view>

#include "records/CFormat.h"
#include "records/FastFormat.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront {

// Hands the 16 cells of a record line, in column order, to the sink:
//   sink.Copy(column, const Text&)        a stored text, unchanged
//   sink.Put(column, std::string_view)    a fixed or computed text
//   sink.Empty(column)                    an empty cell
template <typename Sink>
void RecordLineCells(const ResultRow& row, Sink& sink) {
    using L = ReportLine;
    using R = MeasurementRecord;
    using Row = ResultRow;
    const Text& k = row[Row::m_strKind];
    const bool member = k == kind::kMember;
    const bool group = k == kind::kGroupCollapsed || k == kind::kGroupExpanded;

    if (member)
        sink.Put(L::Record, FormatZeroPad(CAtoi(row[Row::m_strRecordNo]), 4));
    else if (group)
        sink.Put(L::Record, GroupRecordNumberText(row[Row::m_strRecordNo]));
    else
        sink.Copy(L::Record, row[Row::m_strRecordNo]);

    if (k == kind::kAuto)
        sink.Put(L::Mode, "Auto");
    else if (k == kind::kManual)
        sink.Put(L::Mode, "Manual");
    else if (group || k == kind::kIsoPlain)
        sink.Put(L::Mode, "ISO");
    else
        sink.Empty(L::Mode);

    if (member) {
        sink.Empty(L::Location);
        sink.Empty(L::Points);
    } else {
        sink.Copy(L::Location, row[Row::Copy(R::m_strLocation)]);
        sink.Copy(L::Points, row[Row::Copy(R::m_strPoint)]);
    }
    if (group)
        sink.Put(L::Cycles, "AVG");
    else
        sink.Copy(L::Cycles, row[Row::Copy(R::m_strCycle)]);
    sink.Copy(L::DateTime, row[Row::Copy(R::m_strDateTime)]);
    sink.Copy(L::SampleTime, row[Row::Copy(R::m_strSampleTime)]);
    sink.Copy(L::HoldTime, row[Row::Copy(R::m_strHoldTime)]);

    const Text& sizeText = row[Row::Copy(R::m_strSizeCode)];
    const int sizeCode = CAtoi(sizeText);
    const int dataBase = group ? Row::m_strAvg : Row::Copy(R::m_strCount);
    for (int c = 0; c < 3; ++c) {
        const int sizeColumn = L::Ch1Size + 2 * c;
        if (c == 0) {
            sink.Put(sizeColumn, Ch1SizeText(sizeCode));
        } else if (c == 1) {
            const char* ch2 = Ch2SizeText(sizeCode);
            if (ch2)
                sink.Put(sizeColumn, ch2);
            else
                sink.Copy(sizeColumn, sizeText);  // a code outside the table shows itself
        } else {
            sink.Put(sizeColumn, "5.0um");
        }
        // The large-value test of the data cells.
        const Text& stored = row[dataBase + c];
        const double v = FastAtof(stored.view());
        if (v > kLargeValueLimit)
            sink.Put(sizeColumn + 1, FormatExp3(v));
        else
            sink.Copy(sizeColumn + 1, stored);
    }
    sink.Copy(L::Unit, row[Row::Copy(R::m_strUnit)]);
    const bool showsOver = k == kind::kAuto || k == kind::kManual || member || k == kind::kIsoPlain;
    if (showsOver && row[Row::Copy(R::m_strStatus)] == "1")
        sink.Put(L::Status, "OVER");
    else
        sink.Empty(L::Status);
}

}  // namespace oront
