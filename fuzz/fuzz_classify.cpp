// The cleanroom classification on any settings (standard, class or grade,
// state, sizes, count mode, area) and any runs: runs made by hand from the
// input's bytes, or the complete ISO runs of a download made from them.
// Settings that cannot apply are refused with a reason. A size passes only
// when every location's mean (and the 1999 edition's confidence limit) is at
// or below the standard's limit, and fails only when one is above it; a run
// passes only when a size passes, none fails and it breaks no requirement of
// the standard; the classification passes only when every run passes. The
// achieved class is the smallest class at which a considered size applies
// and every applicable one holds, with the sample volume that class asks
// for. The text forms are written.
//
// Input: byte 0: standard (bits 0-1), state (2-3), differential counts (4),
// runs from a download (5), the state left undeclared (6), a calibration due
// on 2015-03-02 (7; the hand-made samples fall on the 1st to the 3rd); byte 1: an ISO class in tenths (0-99) below 128,
// else a grade (none, A-E); byte 2: the considered sizes (bits 0-5 for 0.3 to
// 5.0 µm, bit 6 a size the instrument does not measure); bytes 3-7: the area
// (a number of up to 12 digits, byte 7 places its point). Then the runs: per
// run a header byte (points, cycles, channel sizes, a fault) and four bytes
// per sample (seconds, three concentrations); or six compact bytes per
// record of the download.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <span>
#include <vector>

#include "Check.h"
#include "RecordsInput.h"
#include "classify/Classify.h"
#include "classify/ClassifyText.h"

namespace {

using namespace oront;
using namespace oront::classify;

Settings SettingsFrom(const std::uint8_t* b) {
    Settings s;
    s.standard = static_cast<Standard>(b[0] % 4 % 3);
    s.target.state = static_cast<Occupancy>((b[0] >> 2) % 4 % 3);
    s.counts = (b[0] >> 4) & 1 ? CountMode::Differential : CountMode::Cumulative;
    s.target.stateDeclared = ((b[0] >> 6) & 1) == 0;
    if (b[0] & 0x80) s.calibrationDue = 20150302;
    if (b[1] < 128)
        s.target.classTenths = b[1] % 100;
    else
        s.target.grade = "\0ABCDE"[b[1] % 6];
    for (int k = 0; k < 6; ++k)
        if ((b[2] >> k) & 1) s.sizes.push_back(kSizes[k]);
    if (b[2] & 0x40) s.sizes.push_back(7);
    const std::uint64_t digits =
        ((std::uint64_t{b[3]} << 32) | (std::uint64_t{b[4]} << 24) | (b[5] << 16) | (b[6] << 8) | b[7]) %
        1000000000000ull;
    static constexpr double kPlaces[] = {1, 10, 100, 1000, 1e4, 1e5};
    s.areaM2 = static_cast<double>(digits) / kPlaces[b[7] % 6];
    return s;
}

double Concentration(std::uint8_t b) {
    return (b & 0x1F) * std::pow(10.0, b >> 5);
}

std::vector<RunSamples> RunsFrom(const std::uint8_t* b, std::size_t size) {
    static constexpr std::array<int, 3> kChannels[] = {{3, 5, 50}, {5, 10, 50}, {3, 25, 50}, {5, 0, 50}};
    std::vector<RunSamples> runs;
    std::size_t at = 0;
    int record = 1;
    while (at < size) {
        const std::uint8_t h = b[at++];
        RunSamples& run = runs.emplace_back();
        run.sizeTenths = kChannels[(h >> 4) & 3];
        run.sizeCode = h >> 4;
        if (h & 0x80) run.faults.push_back(Warning{WarningKind::MissingBeginning, record});
        const int points = 1 + h % 4;
        const int cycles = 1 + (h >> 2) % 3;
        for (int p = 0; p < points && at + 4 <= size; ++p) {
            run.pointStarts.push_back(static_cast<int>(run.samples.size()));
            for (int c = 0; c < cycles && at + 4 <= size; ++c, at += 4) {
                Sample s;
                s.record = record++;
                s.seconds = b[at] % 128;
                s.overRange = b[at] & 0x80;
                s.day = 20150301 + s.record % 3;
                s.perM3 = {Concentration(b[at + 1]), Concentration(b[at + 2]), Concentration(b[at + 3])};
                run.samples.push_back(s);
            }
        }
    }
    return runs;
}

bool CannotClassify(const Classification& c, const RunResult& r) {
    for (const Warning& w : c.Warnings(r))
        if (w.kind == WarningKind::MissingBeginning || w.kind == WarningKind::SizeCodeDiffers ||
            w.kind == WarningKind::ZeroSampleTime || w.kind == WarningKind::EmptyPoint)
            return true;
    return false;
}

void CheckRun(const Classification& c, const RunResult& r, const RunSamples* in) {
    const Settings& s = c.settings;
    const std::span<const Location> points = c.Locations(r);
    if (in != nullptr) {
        // The means, computed here on their own.
        FUZZ_CHECK(points.size() == in->pointStarts.size());
        for (std::size_t p = 0; p < points.size(); ++p) {
            const int from = in->pointStarts[p];
            const int to = p + 1 < points.size() ? in->pointStarts[p + 1] : static_cast<int>(in->samples.size());
            for (std::size_t ch = 0; ch < 3; ++ch) {
                double sum = 0.0;
                for (int k = from; k < to; ++k) {
                    const auto& v = in->samples[static_cast<std::size_t>(k)].perM3;
                    sum += s.counts == CountMode::Differential ? std::accumulate(v.begin() + ch, v.end(), 0.0) : v[ch];
                }
                const double mean = to > from ? sum / (to - from) : 0.0;
                FUZZ_CHECK(std::abs(points[p].meanPerM3[ch] - mean) <= 1e-9 * std::max(1.0, mean));
            }
        }
    }
    const bool faulty = CannotClassify(c, r);
    bool anyPass = false;
    bool anyFail = false;
    std::array<double, 3> highest{};
    for (std::size_t ch = 0; ch < 3; ++ch) {
        for (const Location& loc : points) highest[ch] = std::max(highest[ch], loc.meanPerM3[ch]);
        if (r.uclPerM3) highest[ch] = std::max(highest[ch], (*r.uclPerM3)[ch]);
        const SizeResult& size = r.sizes[ch];
        if (size.verdict == Verdict::Pass || size.verdict == Verdict::Fail) {
            FUZZ_CHECK(s.target.Given() && size.considered && size.limit.has_value());
            const long long limit = s.standard == Standard::Gmp2022
                                        ? GmpGradeLimit(s.target.grade, s.target.state, size.sizeTenths).limit
                                        : ClassLimit(s.target.classTenths, size.sizeTenths);
            FUZZ_CHECK(*size.limit == limit);
            FUZZ_CHECK((size.verdict == Verdict::Pass) == (highest[ch] <= static_cast<double>(limit)));
        }
        anyPass = anyPass || size.verdict == Verdict::Pass;
        anyFail = anyFail || size.verdict == Verdict::Fail;
    }
    if (!s.target.Given())
        FUZZ_CHECK(!anyPass && !anyFail && r.verdict == (faulty ? Verdict::NotClassified : Verdict::NotJudged));
    // A run with a broken requirement never passes: within its limits it is
    // not valid, over them it fails.
    const bool broken = r.requirementCount > 0;
    if (r.verdict == Verdict::Pass) FUZZ_CHECK(anyPass && !anyFail && !faulty && !broken);
    if (r.verdict == Verdict::NotValid) FUZZ_CHECK(anyPass && !anyFail && !faulty && broken);
    if (r.verdict == Verdict::Fail) FUZZ_CHECK(anyFail && !faulty);
    if (faulty) FUZZ_CHECK(r.verdict == Verdict::NotClassified);
    for (const Warning& w : c.Requirements(r)) FUZZ_CHECK(IsRequirement(w.kind));
    for (const Warning& w : c.Warnings(r)) FUZZ_CHECK(!IsRequirement(w.kind));
    if (in != nullptr && !faulty) {
        // An over-range sample, and one after the calibration was due, are
        // named.
        bool over = false, late = false;
        for (const Sample& sample : in->samples) {
            over = over || sample.overRange;
            late = late || (s.calibrationDue != 0 && sample.day > s.calibrationDue);
        }
        const auto names = [&](WarningKind kind) {
            const auto req = c.Requirements(r);
            return std::any_of(req.begin(), req.end(), [kind](const Warning& w) { return w.kind == kind; });
        };
        FUZZ_CHECK(names(WarningKind::OverRange) == over);
        FUZZ_CHECK(names(WarningKind::CalibrationPastDue) == late);
    }

    // The achieved class: a considered size applies there, every one that
    // applies holds its limit, every sample has the volume that class asks
    // for, and the class just below does not hold; the limiting size
    // applies at the class below, and fails there.
    if (faulty || r.achievedClass == 0) return;
    double fewestLitres = 1e300;
    int fewestSeconds = 1 << 30;
    for (const Location& loc : points)
        for (const double litres : c.SampleLitres(loc)) fewestLitres = std::min(fewestLitres, litres);
    for (const Location& loc : points)
        for (const Sample& sample : c.Samples(loc)) fewestSeconds = std::min(fewestSeconds, sample.seconds);
    const auto holds = [&](int n, int* failing) {
        bool applies = false, within = true;
        long long largestLimit = 0;
        int largest = 0;
        for (std::size_t ch = 0; ch < 3; ++ch) {
            const int size = r.sizes[ch].considered ? r.sizes[ch].sizeTenths : 0;
            if (size == 0 || !IsApplicable(s.standard, n, size)) continue;
            applies = true;
            const long long limit = ClassLimit(n, size);
            if (highest[ch] > static_cast<double>(limit)) {
                within = false;
                if (failing != nullptr && *failing == 0) *failing = size;
            }
            if (size > largest) largest = size, largestLimit = limit;
        }
        const double vs = std::max(2.0, 20000.0 / static_cast<double>(largestLimit));
        return applies && within && fewestSeconds >= 60 && fewestLitres >= vs;
    };
    FUZZ_CHECK(holds(r.achievedClass, nullptr));
    FUZZ_CHECK(r.achievedClass <= r.highestClass);
    if (r.achievedClass > kLowestClass) FUZZ_CHECK(!holds(r.achievedClass - 1, nullptr));
    if (r.limitingSize != 0) {
        FUZZ_CHECK(IsApplicable(s.standard, r.achievedClass - 1, r.limitingSize));
        int failing = 0;
        holds(r.achievedClass - 1, &failing);
        FUZZ_CHECK(failing != 0);
        for (std::size_t ch = 0; ch < 3; ++ch)
            if (r.sizes[ch].considered && r.sizes[ch].sizeTenths == r.limitingSize)
                FUZZ_CHECK(highest[ch] > static_cast<double>(ClassLimit(r.achievedClass - 1, r.limitingSize)));
    }
    // A considered size that does not apply at the achieved class is named.
    for (const SizeResult& size : r.sizes) {
        if (!size.considered || IsApplicable(s.standard, r.achievedClass, size.sizeTenths)) continue;
        const auto warnings = c.Warnings(r);
        FUZZ_CHECK(std::any_of(warnings.begin(), warnings.end(), [&](const Warning& w) {
            return w.kind == WarningKind::NotApplicable && w.size == size.sizeTenths && w.other == r.achievedClass;
        }));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || size > 8192) return 0;
    const Settings settings = SettingsFrom(data);
    const bool fromDownload = (data[0] >> 5) & 1;
    std::vector<RunSamples> runs;
    Classification c;
    if (fromDownload) {
        RecordStore store;
        fuzz::BuildCompactStore(store, data + 8, std::min(static_cast<int>((size - 8) / 6), fuzz::kShortMemory));
        c = Classify(store, settings);
        for (const RunResult& r : c.runs)
            FUZZ_CHECK(r.firstRow >= 0 && r.firstRow < r.lastRow && r.lastRow <= store.m_nLastRow);
    } else {
        runs = RunsFrom(data + 8, size - 8);
        c = ClassifyRuns(runs, settings);
    }
    if (!SettingsError(settings).empty()) {
        FUZZ_CHECK(!c.error.empty() && c.runs.empty());
        return 0;
    }
    FUZZ_CHECK(c.error.empty() == !c.runs.empty());
    if (!fromDownload) FUZZ_CHECK(c.runs.size() == runs.size());
    bool allPass = true, anyBad = false;
    for (std::size_t k = 0; k < c.runs.size(); ++k) {
        const RunResult& r = c.runs[k];
        CheckRun(c, r, fromDownload ? nullptr : &runs[k]);
        allPass = allPass && r.verdict == Verdict::Pass;
        anyBad = anyBad || r.verdict == Verdict::Fail || r.verdict == Verdict::NotValid ||
                 r.verdict == Verdict::NotClassified;
    }
    // The classification passes only when every run passes.
    if (settings.target.Given())
        FUZZ_CHECK((c.verdict == Verdict::Pass) == allPass);
    else
        FUZZ_CHECK(c.verdict == Verdict::NotJudged);
    FUZZ_CHECK(c.ExitStatus() == (!c.error.empty() ? 1 : anyBad ? 3 : 0));
    if (c.runs.empty()) return 0;
    FUZZ_CHECK(!ClassificationText(c).empty() && !ClassificationJson(c).empty() && !ClassificationCsv(c).empty());
    return 0;
}
