#include "records/TableBuild.h"

#include <algorithm>

#include "records/CFormat.h"
#include "records/RecordCells.h"
#include "records/RunStatistics.h"

namespace oront {
namespace {

bool IsRunMember(const MeasurementRecord& slot) {
    return slot.m_strRunFlag == "1";
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
    if (first.m_strModeCode != "2") return;
    int point = CAtoi(first.m_strPoint);
    const int cycles = CAtoi(first.m_strCyclesPerPoint);
    const int cycle0 = CAtoi(first.m_strCycle);
    if (point == 1 && cycle0 == 1) return;  // the run is whole

    long long j = cycles == cycle0 ? 0 : static_cast<long long>(cycles) - cycle0;
    if (j < 0 || j >= slotCount) return;  // slot 0 claims more cycles than its point has
    if (IsRunMember(slots[static_cast<std::size_t>(j)])) {
        slots[static_cast<std::size_t>(j)].m_strRunFlag = "0";
        return;
    }
    for (int step = 0; step < kMaxRecords && j + 1 < slotCount; ++step) {
        const MeasurementRecord& next = slots[static_cast<std::size_t>(j + 1)];
        if (next.m_strModeCode != "2" || CAtoi(next.m_strPoint) != point + 1 ||
            CAtoi(next.m_strCyclesPerPoint) != cycles || CAtoi(next.m_strCycle) != 1)
            return;
        j += cycles;
        point += 1;
        if (j < 0 || j >= slotCount) return;
        MeasurementRecord& last = slots[static_cast<std::size_t>(j)];
        if (IsRunMember(last) && CAtoi(last.m_strCycle) == cycles && last.m_strModeCode == "2" &&
            CAtoi(last.m_strPoint) == point) {
            last.m_strRunFlag = "0";
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
        const long long point = CAtoi(end.m_strPoint);
        const long long n = point * CAtoi(end.m_strCycle);
        if (n > kMaxRecords) {
            end.m_strRunFlag = "0";
            continue;
        }
        // A run claiming more predecessors than exist is cut at slot 0.
        for (long long i = std::max<long long>(0, k - n + 1); i < k; ++i)
            slots[static_cast<std::size_t>(i)].m_strRunFlag = "1";
        store.m_nReportLineCount += static_cast<int>(point) + 4;
    }
}

}  // namespace

NumberText GroupRecordNumberText(std::string_view stored) {
    // The stored number is the one before the point's first cycle; after
    // 8000 the instrument's numbering starts again at 1.
    long long number = static_cast<long long>(CAtoi(stored)) + 1;
    if (number > kMaxRecords) number = 1;
    return FormatZeroPad(number, 4);
}

std::string_view ReadMemberRecordNumber(std::string_view stored, NumberText& buffer) {
    buffer = FormatZeroPad(CAtoi(stored), 4);
    return buffer;
}

void ResetForDownload(RecordStore& store) {
    store.m_reportLines.clear();
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
        if (slots[static_cast<std::size_t>(k)].m_strCycle == "1") ++rows;
        const SlotNumbers* next = k + 1 < slotCount ? &state.numbers[static_cast<std::size_t>(k) + 1] : nullptr;
        if (!next || !next->member || (next->point == 1 && next->cycle == 1)) ++rows;
    }
    store.m_rows.reserve(rows);
    store.m_figures.reserve(rows - static_cast<std::size_t>(slotCount));  // one per group and summary row
    const int last = slotCount - 1;
    for (int k = 0; k < slotCount; ++k) {
        const MeasurementRecord& slot = slots[static_cast<std::size_t>(k)];
        if (!IsRunMember(slot)) {
            ++state.seqCounter;
            state.AdvanceRecordCounter();
            ResultRow& row = state.NewRow(k);
            row.m_strSeqNo = FormatZeroPad(state.seqCounter + 1, 4);
            row.m_strKind = slot.m_strModeCode == "2" ? std::string_view(kind::kIsoPlain) : slot.m_strModeCode.view();
            row.m_strMemberCount = "1";
            row.m_strRecordNo = FormatZeroPad(state.recordCounter, 4);
            continue;
        }
        GroupStep(state, k, last);
        state.AdvanceRecordCounter();
        ResultRow& row = state.NewRow(k);
        row.m_strKind = kind::kMember;
        row.m_strMemberCount = "1";
        row.m_strRecordNo = FormatZeroPad(state.recordCounter, 4);
        SummaryStep(state, k, last);
    }
    // Rows past the last one written belong to an earlier download.
    store.m_rows.resize(static_cast<std::size_t>(store.m_nLastRow + 1));
    TrimCapacity(store.m_rows);
    store.m_figures.resize(static_cast<std::size_t>(state.figureCount));
    TrimCapacity(store.m_figures);
    store.m_nReportLineCount += store.m_nRecordCount;
    store.m_nLastRecordNumber = state.recordCounter;
}

void FillRecordLine(const RecordStore& store, const ResultRow& row, ReportLine& line) {
    RecordLineCells(store, row, [&line](ReportColumn c, std::string_view text) { line[c] = text; });
}

void FillSummaryLine(const RecordStore& store, const ResultRow& row, int index, ReportLine& line) {
    SummaryLineCells(store, row, index, [&line](ReportColumn c, std::string_view text) { line[c] = text; });
}

void BuildReportTable(RecordStore& store) {
    // One line per row and four per summary row, for exactly the rows the
    // build wrote: a malformed run can make the per-run line count disagree
    // with the rows, and then the rows decide.
    const int lastRow = std::min(store.m_nLastRow, static_cast<int>(store.m_rows.size()) - 1);
    auto& lines = store.m_reportLines;
    lines.clear();
    for (int i = 0; i <= lastRow; ++i) {
        const int count = store.m_rows[static_cast<std::size_t>(i)].m_strKind == kind::kSummary ? 4 : 1;
        for (int k = 0; k < count; ++k) lines.push_back(4 * i + k);
    }
    TrimCapacity(lines);
    store.m_nReportLineCount = static_cast<int>(lines.size());
}

}  // namespace oront
