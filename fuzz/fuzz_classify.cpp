// The cleanroom classification on any settings (standard, class or grade,
// state, sizes, count mode, area) and any runs: runs made by hand from the
// input's bytes, or the complete ISO runs of a download made from them.
// Settings that cannot apply are refused with a reason. A size passes only
// when every location's mean (and the 1999 edition's confidence limit) is at
// or below the standard's limit, and fails only when one is above it; a run
// passes only when a size passes and none fails; the classification passes
// only when every run passes. The achieved class is the smallest class whose
// limits hold at every considered size. The text forms are written.
//
// Input: byte 0: standard (bits 0-1), state (2-3), differential counts (4),
// runs from a download (5); byte 1: an ISO class in tenths (0-99) below 128,
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
    if (r.verdict == Verdict::Pass) FUZZ_CHECK(anyPass && !anyFail && !faulty);
    if (r.verdict == Verdict::Fail) FUZZ_CHECK(anyFail && !faulty);
    if (faulty) FUZZ_CHECK(r.verdict == Verdict::NotClassified);

    // The achieved class holds at every considered size, the class below it
    // does not.
    if (faulty || (r.achievedClass == 0 && !r.worseThanIso9)) return;
    bool holds = true;
    bool holdsBelow = r.achievedClass > kLowestClass;
    for (std::size_t ch = 0; ch < 3; ++ch) {
        const std::span<const long long> limits = ClassLimits(r.sizes[ch].sizeTenths);
        if (!r.sizes[ch].considered || limits.empty()) continue;
        if (r.worseThanIso9) {
            holds = holds && highest[ch] <= static_cast<double>(limits.back());
            continue;
        }
        const auto at = static_cast<std::size_t>(r.achievedClass - kLowestClass);
        holds = holds && highest[ch] <= static_cast<double>(limits[at]);
        if (at > 0) holdsBelow = holdsBelow && highest[ch] <= static_cast<double>(limits[at - 1]);
    }
    FUZZ_CHECK(r.worseThanIso9 ? !holds : holds && !holdsBelow);
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
    bool allPass = true;
    for (std::size_t k = 0; k < c.runs.size(); ++k) {
        const RunResult& r = c.runs[k];
        CheckRun(c, r, fromDownload ? nullptr : &runs[k]);
        allPass = allPass && r.verdict == Verdict::Pass;
    }
    FUZZ_CHECK(c.verdict == (!settings.target.Given() ? Verdict::NotJudged : allPass ? Verdict::Pass : Verdict::Fail));
    FUZZ_CHECK(c.ExitStatus() == (!c.error.empty()             ? 1
                                  : c.verdict == Verdict::Fail ? 3
                                                               : 0) ||
               !settings.target.Given());
    if (c.runs.empty()) return 0;
    FUZZ_CHECK(!ClassificationText(c).empty() && !ClassificationJson(c).empty() && !ClassificationCsv(c).empty());
    return 0;
}
