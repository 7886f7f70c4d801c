// Classification times of a full instrument memory (8000 records), at every
// standard, from the downloaded store to the results of every run.
#include <benchmark/benchmark.h>

#include <vector>

#include "classify/Classify.h"
#include "records/RecordStore.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

using namespace oront;
using namespace oront::classify;
using namespace oront::test;

namespace {

std::vector<Settings> EveryStandard() {
    Settings iso2015;
    iso2015.target.classTenths = 50;
    iso2015.target.stateDeclared = true;
    Settings iso1999 = iso2015;
    iso1999.standard = Standard::Iso1999;
    Settings gmp;
    gmp.standard = Standard::Gmp2022;
    gmp.target.grade = 'B';
    gmp.target.state = Occupancy::Operational;
    gmp.target.stateDeclared = true;
    return {iso2015, iso1999, gmp};
}

// One iteration classifies the memory at ISO 14644-1:2015 (ISO 5),
// ISO 14644-1:1999 (ISO 5) and EU GMP Annex 1 (grade B in operation).
void ClassifyAtEveryStandard(benchmark::State& state, const RecordStore& store) {
    const std::vector<Settings> standards = EveryStandard();
    std::size_t runs = 0;
    for (auto _ : state) {
        for (const Settings& settings : standards) {
            const Classification result = Classify(store, settings);
            if (!result.error.empty()) state.SkipWithError(result.error.c_str());
            runs = result.runs.size();
            benchmark::DoNotOptimize(result.runs.data());
        }
    }
    state.counters["runs"] = static_cast<double>(runs);
}

void BM_ClassifyEveryStandard_Mixed(benchmark::State& state) {
    ClassifyAtEveryStandard(state, DownloadedStore(MixedMemory(), kMixedMemoryWrap));
}
void BM_ClassifyEveryStandard_OnePointRuns(benchmark::State& state) {
    ClassifyAtEveryStandard(state, DownloadedStore(OnePointRunMemory()));
}
BENCHMARK(BM_ClassifyEveryStandard_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassifyEveryStandard_OnePointRuns)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
