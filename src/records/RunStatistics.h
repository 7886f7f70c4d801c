// The ISO run statistics: the group step (one row per point with the point's
// channel averages) and the summary step (one row per run with average,
// maximum, minimum, standard error and 95 % upper confidence limit).
#pragma once

#include <array>
#include <vector>

#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront {

// Accumulator of the run being built.
struct RunStatistics {
    bool active = false;  // a group step of the current run has run
    int cyclesInPoint = 0;
    int points = 0;  // N, the points finished in this run
    std::array<double, 3> max{};
    std::array<double, 3> min{};
    std::array<double, 3> sumOfPointAverages{};
    std::array<double, 3> pointSum{};
};

// The numbers of one slot as the steps read them (atoi of point and cycle,
// atof of the three channel values, the run flag), parsed once per build: the
// point scan of a malformed run may pass the same slots many times.
struct SlotNumbers {
    int point = 0;
    int cycle = 0;
    bool member = false;
    std::array<double, 3> value{};
};

// Everything the result-table build shares with the two steps.
struct TableBuildState {
    TableBuildState(RecordStore& s, const TFactorTable& t) : store(s), tFactor(t) {}

    RecordStore& store;
    const TFactorTable& tFactor;
    int slotCount = 0;      // slots 0..slotCount-1 hold this download's records
    int seqCounter = -1;    // last sequence number given, minus one
    int recordCounter = 0;  // last record number given (1..8000 after the first)
    int figureCount = 0;    // figures given to group and summary rows
    RunStatistics stats;
    std::vector<SlotNumbers> numbers;  // per slot, after the run marking
    // Where the point scan from each slot ends (the first slot past it), so
    // that a group step neither walks the slots nor depends on how often a
    // malformed run makes the scans overlap.
    std::vector<int> scanEnd;
    // The channel values summed from slot 0 up to each slot. Used where every
    // sum of the memory is exact (whole, non-negative values whose total
    // stays within a double's integers): a point's sum is then the same
    // however it is added up, and its scan takes no time.
    std::array<std::vector<double>, 3> prefix;
    bool exactSums = false;
    // The slots up to here are in the current run's extremes already.
    int extremesUpTo = 0;

    // Fills numbers from slots 0..slotCount-1.
    void ParseSlots();
    // Appends an empty row showing record slot `slot` to the result table
    // and returns it.
    ResultRow& NewRow(int slot);
    // The statistics of a new group or summary row, empty.
    RunFigures& NewFigures(ResultRow& row);
    void AdvanceRecordCounter() {
        if (++recordCounter > kMaxRecords) recordCounter = 1;
    }
};

// For a run member in slot a (last slot b): adds the point's group row when
// slot a is the point's first cycle.
void GroupStep(TableBuildState& state, int a, int b);
// For a run member in slot a (last slot b): adds the summary row when slot a
// ends its run.
void SummaryStep(TableBuildState& state, int a, int b);

}  // namespace oront
