#include "records/TableBuild.h"

#include <algorithm>

#include "records/CFormat.h"
#include "records/FastFormat.h"
#include "records/RecordCells.h"
#include "records/RunStatistics.h"

namespace oront {
namespace {

using R = MeasurementRecord;
using Row = ResultRow;

bool IsRunMember(const MeasurementRecord& slot) {
    return slot[R::m_strRunFlag] == "1";
}

// Gives memory back when a smaller download follows a large one.
template <typename V>
void TrimCapacity(V& v) {
    if (v.capacity() > 2 * v.size() + 1024) v.shrink_to_fit();
}

// Clears the run-end flag of a run whose beginning the wrap overwrote, so that
// its records count as plain records.
void RepairCutRun(std::vector<MeasurementRecord>& slots, int slotCount) {
    const MeasurementRecord& first = slots[0];
    if (first[R::m_strModeCode] != "2") return;
    int point = CAtoi(first[R::m_strPoint]);
    const int cycles = CAtoi(first[R::m_strCyclesPerPoint]);
    const int cycle0 = CAtoi(first[R::m_strCycle]);
    if (point == 1 && cycle0 == 1) return;  // the run is whole

    long long j = cycles == cycle0 ? 0 : static_cast<long long>(cycles) - cycle0;
    if (j < 0 || j >= slotCount) return;  // slot 0 claims more cycles than its point has
    if (IsRunMember(slots[static_cast<std::size_t>(j)])) {
        slots[static_cast<std::size_t>(j)][R::m_strRunFlag] = "0";
        return;
    }
    for (int step = 0; step < kMaxRecords && j + 1 < slotCount; ++step) {
        const MeasurementRecord& next = slots[static_cast<std::size_t>(j + 1)];
        if (next[R::m_strModeCode] != "2" || CAtoi(next[R::m_strPoint]) != point + 1 ||
            CAtoi(next[R::m_strCyclesPerPoint]) != cycles || CAtoi(next[R::m_strCycle]) != 1)
            return;
        j += cycles;
        point += 1;
        if (j < 0 || j >= slotCount) return;
        MeasurementRecord& last = slots[static_cast<std::size_t>(j)];
        if (IsRunMember(last) && CAtoi(last[R::m_strCycle]) == cycles && last[R::m_strModeCode] == "2" &&
            CAtoi(last[R::m_strPoint]) == point) {
            last[R::m_strRunFlag] = "0";
            return;
        }
    }
}

// Marks every record of each complete run and counts the run's report lines
// (one per point and four summary lines).
void MarkRuns(RecordStore& store, int slotCount) {
    auto& slots = store.m_records;
    for (int k = 0; k < slotCount; ++k) {
        MeasurementRecord& end = slots[static_cast<std::size_t>(k)];
        if (!IsRunMember(end)) continue;
        const long long point = CAtoi(end[R::m_strPoint]);
        const long long n = point * CAtoi(end[R::m_strCycle]);
        if (n > kMaxRecords) {
            end[R::m_strRunFlag] = "0";
            continue;
        }
        // A run claiming more predecessors than exist is cut at slot 0.
        for (long long i = std::max<long long>(0, k - n + 1); i < k; ++i)
            slots[static_cast<std::size_t>(i)][R::m_strRunFlag] = "1";
        store.m_nReportLineCount += static_cast<int>(point) + 4;
    }
}

// Fields 3..26 of a plain or member row: the slot's fields 0..23; the fields
// after them up to the record number are not used by these rows.
void CopyRecord(ResultRow& row, const MeasurementRecord& slot) {
    for (int k = 0; k <= R::m_strValue + 5; ++k) row[Row::Copy(k)] = slot[k];
    ClearFields(row, Row::Copy(R::m_strValue + 5) + 1, Row::m_strRecordNo - 1);
    ClearFields(row, Row::kFieldCount - 1, Row::kFieldCount - 1);
}

}  // namespace

const char* Ch1SizeText(int sizeCode) {
    return sizeCode < 10 ? "0.3um" : "0.5um";
}

const char* Ch2SizeText(int sizeCode) {
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
            return nullptr;
    }
}

std::string GroupRecordNumberText(const Text& stored) {
    // The stored number is the one before the point's first cycle; after
    // 8000 the instrument's numbering starts again at 1.
    long long number = static_cast<long long>(CAtoi(stored)) + 1;
    if (number > kMaxRecords) number = 1;
    return FormatZeroPad(number, 4);
}

void ResetForDownload(RecordStore& store) {
    // The lines stay allocated for the next build; only their texts go.
    for (ReportLine& line : store.m_reportLines)
        for (Text& cell : line.cell) cell.clear();
    store.m_nLastRow = 0;
}

void BuildResultTable(RecordStore& store, const TFactorTable& tFactor) {
    const int slotCount = std::clamp(store.m_nRecordCount, 0, kMaxRecords);
    if (store.m_records.size() < static_cast<std::size_t>(slotCount))
        store.m_records.resize(static_cast<std::size_t>(slotCount));
    auto& slots = store.m_records;

    // Oldest record first.
    const int wrap = store.m_nWrapPosition;
    if (wrap > 0 && wrap < kMaxRecords && slotCount == kMaxRecords) {
        std::rotate(slots.begin(), slots.begin() + wrap, slots.begin() + kMaxRecords);
        RepairCutRun(slots, slotCount);
    }

    MarkRuns(store, slotCount);

    TableBuildState state(store, tFactor);
    state.slotCount = slotCount;
    state.recordCounter = wrap;
    state.ParseSlots();
    store.m_nLastRow = -1;
    // Exactly the rows this build writes: one per slot, plus a group row for
    // each member that is a first cycle and a summary row for each member
    // that ends its run (the conditions of the two steps).
    std::size_t rows = static_cast<std::size_t>(slotCount);
    for (int k = 0; k < slotCount; ++k) {
        const SlotNumbers& n = state.numbers[static_cast<std::size_t>(k)];
        if (!n.member) continue;
        if (slots[static_cast<std::size_t>(k)][R::m_strCycle] == "1") ++rows;
        const SlotNumbers* next = k + 1 < slotCount ? &state.numbers[static_cast<std::size_t>(k) + 1] : nullptr;
        if (!next || !next->member || (next->point == 1 && next->cycle == 1)) ++rows;
    }
    store.m_rows.reserve(rows);
    const int last = slotCount - 1;
    for (int k = 0; k < slotCount; ++k) {
        const MeasurementRecord& slot = slots[static_cast<std::size_t>(k)];
        if (k + 2 < slotCount) PrefetchBlock(&slots[static_cast<std::size_t>(k) + 2], sizeof(MeasurementRecord));
        if (!IsRunMember(slot)) {
            ++state.seqCounter;
            state.AdvanceRecordCounter();
            ResultRow& row = state.NewRow();
            SetZeroPad(row[Row::m_strSeqNo], state.seqCounter + 1, 4);
            if (slot[R::m_strModeCode] == "2")
                row[Row::m_strKind] = kind::kIsoPlain;
            else
                row[Row::m_strKind] = slot[R::m_strModeCode];
            row[Row::m_strMemberCount] = "1";
            SetZeroPad(row[Row::m_strRecordNo], state.recordCounter, 4);
            CopyRecord(row, slot);
            continue;
        }
        GroupStep(state, k, last);
        state.AdvanceRecordCounter();
        ResultRow& row = state.NewRow();
        row[Row::m_strSeqNo].clear();
        row[Row::m_strKind] = kind::kMember;
        row[Row::m_strMemberCount] = "1";
        SetZeroPad(row[Row::m_strRecordNo], state.recordCounter, 4);
        CopyRecord(row, slot);
        SummaryStep(state, k, last);
    }
    // Rows past the last one written belong to an earlier download.
    store.m_rows.resize(static_cast<std::size_t>(store.m_nLastRow + 1));
    TrimCapacity(store.m_rows);
    store.m_nReportLineCount += store.m_nRecordCount;
    store.m_nLastRecordNumber = state.recordCounter;
}

void FillRecordLine(const ResultRow& row, ReportLine& line) {
    struct LineSink {
        ReportLine& line;
        void Copy(int column, const Text& text) { line[column] = text; }
        void Put(int column, std::string_view text) { line[column].assign(text); }
        void Empty(int column) { line[column].clear(); }
    } sink{line};
    RecordLineCells(row, sink);
}

void FillSummaryLines(const ResultRow& row, ReportLine* lines) {
    using L = ReportLine;
    static constexpr const char* kLabels[4] = {"AVG", "MAX", "MIN", "95%UCL"};
    static constexpr int kFields[4] = {Row::m_strAvg, Row::m_strMax, Row::m_strMin, Row::m_strUcl};
    for (int i = 0; i < 4; ++i) {
        ReportLine& line = lines[i];
        for (int c : {L::Record, L::Mode, L::Location, L::Points, L::DateTime, L::SampleTime, L::HoldTime, L::Ch1Size,
                      L::Ch2Size, L::Ch3Size, L::Status})
            line[c].clear();
        line[L::Cycles] = kLabels[i];
        line[L::Ch1Data] = row[kFields[i]];
        line[L::Ch2Data] = row[kFields[i] + 1];
        line[L::Ch3Data] = row[kFields[i] + 2];
        line[L::Unit] = row[Row::Copy(R::m_strUnit)];
    }
}

void BuildReportTable(RecordStore& store) {
    // One line per row and four per summary row, for exactly the rows the
    // build wrote: a malformed run can make the per-run line count disagree
    // with the rows, and then the rows decide.
    const int lastRow = std::min(store.m_nLastRow, static_cast<int>(store.m_rows.size()) - 1);
    auto& lines = store.m_reportLines;
    // Exactly the lines needed, allocated once: growing by doubling would
    // hold two copies of a full memory's lines at its peak. Lines kept from an
    // earlier download are overwritten cell by cell.
    std::size_t needed = 0;
    for (int i = 0; i <= lastRow; ++i)
        needed += store.m_rows[static_cast<std::size_t>(i)][Row::m_strKind] == kind::kSummary ? 4 : 1;
    if (lines.size() < needed) {
        if (lines.capacity() < needed) {
            std::vector<ReportLine> fresh;
            fresh.reserve(needed);
            lines.swap(fresh);  // the old lines are all overwritten anyway
        }
        lines.resize(needed);
    }
    std::size_t out = 0;
    for (int i = 0; i <= lastRow; ++i) {
        const ResultRow& row = store.m_rows[static_cast<std::size_t>(i)];
        if (i + 2 <= lastRow) PrefetchBlock(&store.m_rows[static_cast<std::size_t>(i) + 2], sizeof(ResultRow));
        if (out + 8 < lines.size()) PrefetchBlock(&lines[out + 8], sizeof(ReportLine));
        const bool summary = row[Row::m_strKind] == kind::kSummary;
        const std::size_t count = summary ? 4 : 1;
        if (summary)
            FillSummaryLines(row, &lines[out]);
        else
            FillRecordLine(row, lines[out]);
        out += count;
    }
    lines.resize(out);
    TrimCapacity(lines);
    store.m_nReportLineCount = static_cast<int>(out);
}

}  // namespace oront
