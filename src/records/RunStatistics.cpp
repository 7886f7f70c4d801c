#include "records/RunStatistics.h"

#include <algorithm>
#include <cmath>

#include "records/CFormat.h"

namespace oront {
namespace {

std::array<double, 3> ChannelValues(const MeasurementRecord& slot) {
    return {CAtof(slot.m_strCount[0]), CAtof(slot.m_strCount[1]), CAtof(slot.m_strCount[2])};
}

void UpdateExtremes(RunStatistics& s, const std::array<double, 3>& v) {
    for (std::size_t c = 0; c < 3; ++c) {
        if (v[c] >= s.max[c]) s.max[c] = v[c];
        if (v[c] <= s.min[c]) s.min[c] = v[c];
    }
}

bool IsRunMember(const MeasurementRecord& slot) {
    return slot.m_strRunFlag == "1";
}

// A statistic with the large-value rule.
void SetLargeValue(Text& field, double value) {
    field = FormatLargeValue(value);
}

}  // namespace

void TableBuildState::ParseSlots() {
    const auto count = static_cast<std::size_t>(slotCount);
    numbers.resize(count);
    exactSums = true;
    for (auto& p : prefix) p.assign(count + 1, 0.0);
    constexpr double kExact = 9007199254740992.0;  // 2^53: doubles hold every integer up to here
    for (std::size_t k = 0; k < count; ++k) {
        const MeasurementRecord& slot = store.m_records[k];
        SlotNumbers& n = numbers[k];
        n.point = CAtoi(slot.m_strPoint);
        n.cycle = CAtoi(slot.m_strCycle);
        n.member = IsRunMember(slot);
        n.value = ChannelValues(slot);
        for (std::size_t c = 0; c < 3; ++c) {
            const double v = n.value[c];
            exactSums = exactSums && v >= 0.0 && v == std::floor(v);
            prefix[c][k + 1] = prefix[c][k] + v;
        }
    }
    for (const auto& p : prefix) exactSums = exactSums && p[count] <= kExact;

    // The scan from slot a passes the members after it up to the first that
    // starts a new run or belongs to a later point (point above a's): the
    // first break after a, or the next slot with a higher point, whichever
    // comes first. Both in one pass from the end (the higher points with a
    // stack of candidates).
    scanEnd.assign(count, slotCount);
    std::vector<int> higher;  // slots after k with rising points towards the bottom
    int nextBreak = slotCount;
    for (int k = slotCount - 1; k >= 0; --k) {
        const SlotNumbers& n = numbers[static_cast<std::size_t>(k)];
        while (!higher.empty() && numbers[static_cast<std::size_t>(higher.back())].point <= n.point) higher.pop_back();
        const int nextHigher = higher.empty() ? slotCount : higher.back();
        scanEnd[static_cast<std::size_t>(k)] = std::min(nextBreak, nextHigher);
        higher.push_back(k);
        if (!n.member || (n.cycle <= 1 && n.point <= 1)) nextBreak = k;
    }
    extremesUpTo = 0;
}

ResultRow& TableBuildState::NewRow(int slot) {
    // Rows of an earlier download are reused in place, which keeps a repeated
    // download free of row allocations.
    const auto index = static_cast<std::size_t>(++store.m_nLastRow);
    ResultRow& row = index < store.m_rows.size() ? store.m_rows[index] : store.m_rows.emplace_back();
    row = ResultRow{};
    row.m_nSlot = slot;
    return row;
}

RunFigures& TableBuildState::NewFigures(ResultRow& row) {
    // Each row of a group or summary gets its own; a repeated download
    // reuses the figures of the one before.
    const auto index = static_cast<std::size_t>(figureCount++);
    RunFigures& figures = index < store.m_figures.size() ? store.m_figures[index] : store.m_figures.emplace_back();
    figures = RunFigures{};
    row.m_nFigures = static_cast<int>(index);
    return figures;
}

void GroupStep(TableBuildState& state, int a, int b) {
    const auto& slots = state.store.m_records;
    const MeasurementRecord& first = slots[static_cast<std::size_t>(a)];
    if (first.m_strCycle != "1") return;

    RunStatistics& s = state.stats;
    const SlotNumbers* numbers = state.numbers.data();
    const std::array<double, 3>& v = numbers[a].value;
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

    // The point's cycles: the members after a up to a new run or the next
    // point (records after the run never belong to its last point).
    const int end = std::min(state.scanEnd[static_cast<std::size_t>(a)], b + 1);
    s.cyclesInPoint = end - a;
    // Its slots join the run's extremes once: where the scans of a malformed
    // run overlap, the slots passed before are in them already.
    for (int j = std::max(a + 1, state.extremesUpTo); j < end; ++j) UpdateExtremes(s, numbers[j].value);
    state.extremesUpTo = std::max(state.extremesUpTo, end);
    if (state.exactSums) {
        for (std::size_t c = 0; c < 3; ++c)
            s.pointSum[c] =
                state.prefix[c][static_cast<std::size_t>(end)] - state.prefix[c][static_cast<std::size_t>(a)];
    } else {
        for (int j = a + 1; j < end; ++j)
            for (std::size_t c = 0; c < 3; ++c) s.pointSum[c] += numbers[j].value[c];
    }

    std::array<double, 3> average{};
    for (std::size_t c = 0; c < 3; ++c) {
        average[c] = s.pointSum[c] / s.cyclesInPoint;
        s.sumOfPointAverages[c] += average[c];
    }

    ++state.seqCounter;
    ResultRow& row = state.NewRow(a);
    row.m_strSeqNo = FormatZeroPad(state.seqCounter + 1, 4);
    row.m_strKind = kind::kGroupCollapsed;
    row.m_strMemberCount = FormatInt(s.cyclesInPoint);
    row.m_strRecordNo = FormatZeroPad(state.recordCounter, 4);
    RunFigures& figures = state.NewFigures(row);
    for (std::size_t c = 0; c < 3; ++c) figures.m_strAvg[c] = FormatFixed0(average[c]);
}

void SummaryStep(TableBuildState& state, int a, int b) {
    if (a < b) {
        const SlotNumbers& next = state.numbers[static_cast<std::size_t>(a) + 1];
        // The run ends where the next record starts a new run (point 1,
        // cycle 1) or is no run member at all.
        const bool nextStartsRun = next.point == 1 && next.cycle == 1;
        if (next.member && !nextStartsRun) return;
    }

    RunStatistics& s = state.stats;
    ResultRow& row = state.NewRow(a);
    row.m_strKind = kind::kSummary;
    row.m_strMemberCount = "1";
    RunFigures& figures = state.NewFigures(row);

    const int n = s.points;
    if (!s.active || n <= 0) {
        // A run whose first cycle is missing met no group step of its own:
        // there is nothing to summarise.
        for (auto* field :
             {&figures.m_strAvg, &figures.m_strStdErr, &figures.m_strMax, &figures.m_strMin, &figures.m_strUcl})
            for (Text& value : *field) value = "----";
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
        if (r.m_strKind != kind::kGroupCollapsed) continue;
        ++met;
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = CAtof(state.store.FiguresOf(r).m_strAvg[c]) - mean[c];
            squares[c] += d * d;
        }
    }

    const bool withLimit = n >= 2 && n <= 9;
    for (std::size_t c = 0; c < 3; ++c) {
        const double se = n > 1 ? std::sqrt(squares[c] / (n * (n - 1))) : 0.0;
        if (withLimit) {
            const double factor = static_cast<double>(state.tFactor.m_tFactor[static_cast<std::size_t>(n)]);
            SetLargeValue(figures.m_strStdErr[c], se);
            SetLargeValue(figures.m_strUcl[c], factor * se + mean[c]);
        } else {
            figures.m_strStdErr[c] = "----";
            figures.m_strUcl[c] = "----";
        }
        SetLargeValue(figures.m_strAvg[c], mean[c]);
        SetLargeValue(figures.m_strMax[c], s.max[c]);
        SetLargeValue(figures.m_strMin[c], s.min[c]);
    }
    s.active = false;
}

}  // namespace oront
