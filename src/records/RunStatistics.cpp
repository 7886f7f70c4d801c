#include "records/RunStatistics.h"

#include <cmath>

#include "records/CFormat.h"
#include "records/FastFormat.h"

namespace oront {
namespace {

using R = MeasurementRecord;
using Row = ResultRow;

std::array<double, 3> ChannelValues(const MeasurementRecord& slot) {
    return {FastAtof(slot[R::m_strCount]), FastAtof(slot[R::m_strCount + 1]), FastAtof(slot[R::m_strCount + 2])};
}

void UpdateExtremes(RunStatistics& s, const std::array<double, 3>& v) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (v[c] >= s.max[c]) s.max[c] = v[c];
        if (v[c] <= s.min[c]) s.min[c] = v[c];
    }
}

bool IsRunMember(const MeasurementRecord& slot) {
    return slot[R::m_strRunFlag] == "1";
}

// Fields 3..20 of a group or summary row: the slot's fields 0..17.
void CopyHead(ResultRow& row, const MeasurementRecord& slot) {
    for (int k = 0; k <= R::m_strCount + 5; ++k) row[Row::Copy(k)] = slot[k];
}

}  // namespace

void TableBuildState::ParseSlots() {
    numbers.resize(static_cast<std::size_t>(slotCount));
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const MeasurementRecord& slot = store.m_records[k];
        SlotNumbers& n = numbers[k];
        n.point = CAtoi(slot[R::m_strPoint]);
        n.cycle = CAtoi(slot[R::m_strCycle]);
        n.member = IsRunMember(slot);
        n.value = ChannelValues(slot);
    }
}

ResultRow& TableBuildState::NewRow() {
    // Rows of an earlier download are reused in place, which keeps a repeated
    // download free of row allocations; the caller writes or clears every
    // field.
    const auto index = static_cast<std::size_t>(++store.m_nLastRow);
    if (index + 3 < store.m_rows.size()) PrefetchBlock(&store.m_rows[index + 3], sizeof(ResultRow));
    if (index >= store.m_rows.size()) return store.m_rows.emplace_back();
    return store.m_rows[index];
}

void GroupStep(TableBuildState& state, int a, int b) {
    const auto& slots = state.store.m_records;
    const MeasurementRecord& first = slots[static_cast<std::size_t>(a)];
    if (first[R::m_strCycle] != "1") return;

    RunStatistics& s = state.stats;
    const SlotNumbers* numbers = state.numbers.data();
    const std::array<double, 3>& v = numbers[a].value;
    const int pa = numbers[a].point;
    if (!s.active) {
        s.max = s.min = v;
        s.sumOfPointAverages = {};
        s.points = 0;
        s.active = true;
    }
    s.points += 1;
    s.cyclesInPoint = 1;
    s.pointSum = v;
    UpdateExtremes(s, v);

    for (int j = a + 1; j <= b; ++j) {
        const SlotNumbers& n = numbers[j];
        // Records after the run never belong to its last point.
        if (!n.member) break;
        if ((n.cycle <= 1 && n.point <= 1) || n.point > pa) break;  // a new run or the next point
        s.cyclesInPoint += 1;
        UpdateExtremes(s, n.value);
        for (std::size_t c = 0; c < 3; ++c) s.pointSum[c] += n.value[c];
    }

    std::array<double, 3> average{};
    for (std::size_t c = 0; c < 3; ++c) {
        average[c] = s.pointSum[c] / s.cyclesInPoint;
        s.sumOfPointAverages[c] += average[c];
    }

    ++state.seqCounter;
    ResultRow& row = state.NewRow();
    ClearFields(row, Row::m_strStdErr, Row::m_strUcl + 2);
    ClearFields(row, Row::kFieldCount - 1, Row::kFieldCount - 1);
    SetZeroPad(row[Row::m_strSeqNo], state.seqCounter + 1, 4);
    row[Row::m_strKind] = kind::kGroupCollapsed;
    SetInt(row[Row::m_strMemberCount], s.cyclesInPoint);
    SetZeroPad(row[Row::m_strRecordNo], state.recordCounter, 4);
    CopyHead(row, first);
    for (int c = 0; c < 3; ++c) SetFixed0(row[Row::m_strAvg + c], average[static_cast<std::size_t>(c)]);
}

void SummaryStep(TableBuildState& state, int a, int b) {
    const auto& slots = state.store.m_records;
    if (a < b) {
        const SlotNumbers& next = state.numbers[static_cast<std::size_t>(a) + 1];
        // The run ends where the next record starts a new run (point 1,
        // cycle 1) or is no run member at all.
        const bool nextStartsRun = next.point == 1 && next.cycle == 1;
        if (next.member && !nextStartsRun) return;
    }

    RunStatistics& s = state.stats;
    ResultRow& row = state.NewRow();
    row[Row::m_strSeqNo].clear();
    ClearFields(row, Row::m_strRecordNo, Row::kFieldCount - 1);
    row[Row::m_strKind] = kind::kSummary;
    row[Row::m_strMemberCount] = "1";
    CopyHead(row, slots[static_cast<std::size_t>(a)]);

    const int n = s.points;
    if (!s.active || n <= 0) {
        // A run whose first cycle is missing met no group step of its own:
        // there is nothing to summarise.
        for (int c = 0; c < 3; ++c)
            for (int field : {Row::m_strAvg, Row::m_strStdErr, Row::m_strMax, Row::m_strMin, Row::m_strUcl})
                row[field + c] = "----";
        s = RunStatistics{};
        return;
    }

    std::array<double, 3> mean{};
    for (std::size_t c = 0; c < 3; ++c) mean[c] = s.sumOfPointAverages[c] / n;

    // Deviations of the point averages as their group rows show them.
    std::array<double, 3> squares{};
    const auto& rows = state.store.m_rows;
    int met = 0;
    for (int i = state.store.m_nLastRow; i >= 0 && met < n; --i) {
        const ResultRow& r = rows[static_cast<std::size_t>(i)];
        if (r[Row::m_strKind] != kind::kGroupCollapsed) continue;
        ++met;
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = FastAtof(r[Row::m_strAvg + static_cast<int>(c)]) - mean[c];
            squares[c] += d * d;
        }
    }

    const bool withLimit = n >= 2 && n <= 9;
    for (std::size_t c = 0; c < 3; ++c) {
        const int ci = static_cast<int>(c);
        const double se = n > 1 ? std::sqrt(squares[c] / (n * (n - 1))) : 0.0;
        if (withLimit) {
            const double factor = static_cast<double>(state.tFactor.m_tFactor[static_cast<std::size_t>(n)]);
            SetLargeValue(row[Row::m_strStdErr + ci], se);
            SetLargeValue(row[Row::m_strUcl + ci], factor * se + mean[c]);
        } else {
            row[Row::m_strStdErr + ci] = "----";
            row[Row::m_strUcl + ci] = "----";
        }
        SetLargeValue(row[Row::m_strAvg + ci], mean[c]);
        SetLargeValue(row[Row::m_strMax + ci], s.max[c]);
        SetLargeValue(row[Row::m_strMin + ci], s.min[c]);
    }
    s.active = false;
}

}  // namespace oront
