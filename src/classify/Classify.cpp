#include "classify/Classify.h"

#include <algorithm>
#include <cmath>

#include "classify/ClassifyText.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront::classify {
namespace {

// The record number of a row: four digits, or whatever atoi reads.
int RecordNumber(const Text& text) {
    const std::string_view digits = text.view();
    if (digits.size() != 4) return CAtoi(digits);
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return CAtoi(digits);
        number = 10 * number + (c - '0');
    }
    return number;
}

bool IsGroupRow(const Text& kind) {
    return kind == kind::kGroupCollapsed || kind == kind::kGroupExpanded;
}

bool Contains(const std::vector<int>& sizes, int size) {
    return std::find(sizes.begin(), sizes.end(), size) != sizes.end();
}

bool Considered(const Settings& settings, int size) {
    if (size == 0) return false;
    if (!settings.sizes.empty()) return Contains(settings.sizes, size);
    return settings.standard != Standard::Gmp2022 || size == 5 || size == 50;
}

// The smallest class whose limit at the size is at or above `need`; 0 when
// even ISO 9 is below it. The limits grow with the class.
int SmallestClassAtOrAbove(int size, double need) {
    const std::span<const long long> limits = ClassLimits(size);
    if (limits.empty() || need <= static_cast<double>(limits.front())) return kLowestClass;
    const auto it = std::lower_bound(limits.begin(), limits.end(), need,
                                     [](long long limit, double n) { return static_cast<double>(limit) < n; });
    return it == limits.end() ? 0 : kLowestClass + static_cast<int>(it - limits.begin());
}

// The sample checks: time and volume (ISO), over-range records.
void AddSampleWarnings(const RunSamples& in, const Settings& settings, const RunResult& r,
                       std::vector<Warning>& warnings) {
    const bool iso = settings.standard != Standard::Gmp2022;
    // The least volume of a sample: 20 particles at the class limit of the
    // largest considered size that is applicable, and never below 2 L.
    Warning small{WarningKind::SmallVolume};
    small.minimum = 2.0;
    if (iso && settings.target.classTenths != 0) {
        for (std::size_t c = 3; c-- > 0;) {
            const SizeResult& s = r.sizes[c];
            if (!s.limit) continue;
            if (*s.limit > 0 && 20000.0 / static_cast<double>(*s.limit) > small.minimum) {
                small.minimum = 20000.0 / static_cast<double>(*s.limit);
                small.limit = *s.limit;
                small.size = s.sizeTenths;
            }
            break;
        }
    }
    Warning shortSample{WarningKind::ShortSample};
    Warning over{WarningKind::OverRange};
    for (const Sample& s : in.samples) {
        if (s.overRange && over.count++ == 0) over.record = s.record;
        if (!iso || s.seconds == 0) continue;
        if (s.seconds < 60 && shortSample.count++ == 0) {
            shortSample.record = s.record;
            shortSample.other = s.seconds;
        }
        const double litres = SampleLitres(s.seconds);
        if (litres < small.minimum && small.count++ == 0) {
            small.record = s.record;
            small.value = litres;
        }
    }
    for (const Warning& w : {shortSample, small, over})
        if (w.count > 0) warnings.push_back(w);
}

}  // namespace

int SizeTenthsOf(const char* text) {
    if (text == nullptr || text[0] < '0' || text[0] > '9' || text[1] != '.' || text[2] < '0' || text[2] > '9') return 0;
    return 10 * (text[0] - '0') + (text[2] - '0');
}

double PerCubicMetre(std::uint32_t count, int seconds) {
    return seconds > 0 ? static_cast<double>(count) * kPerM3Constant / seconds : 0.0;
}

double SampleLitres(int seconds) {
    return seconds * kLitresPerMinute / 60.0;
}

std::string SettingsError(const Settings& s) {
    const bool gmp = s.standard == Standard::Gmp2022;
    if (gmp && s.target.classTenths != 0) return "EU GMP Annex 1 takes a grade, not an ISO class";
    if (!gmp && s.target.grade != 0) return "a grade needs the EU GMP Annex 1 standard";
    if (s.target.classTenths != 0 && (s.target.classTenths < kLowestClass || s.target.classTenths > kHighestClass))
        return "the class must be 1 to 9";
    if (s.target.grade != 0 && (s.target.grade < 'A' || s.target.grade > 'D')) return "the grade must be A, B, C or D";
    if (gmp && s.target.state == Occupancy::AsBuilt) return "EU GMP Annex 1 has no as-built state";
    if (gmp && s.target.grade == 'D' && s.target.state == Occupancy::Operational)
        return "Grade D in operation has no predetermined limits";
    for (int size : s.sizes) {
        if (!IsInstrumentSize(size)) return SizeText(size) + " is not a size the instrument measures";
        if (gmp && size != 5 && size != 50) return "EU GMP Annex 1 judges 0.5 µm and 5.0 µm only";
    }
    if (s.areaM2 < 0.0) return "the area must be positive";
    return {};
}

void RunSamples::AddPoint(std::initializer_list<Sample> point) {
    pointStarts.push_back(static_cast<int>(samples.size()));
    samples.insert(samples.end(), point);
}

void ReadRuns(const RecordStore& store, const std::function<void(const RunSamples&)>& handle) {
    RunSamples run;
    const MeasurementRecord* last = nullptr;  // the open run's last record
    bool open = false;
    const int lastRow = std::min(store.m_nLastRow, static_cast<int>(store.m_rows.size()) - 1);
    for (int i = 0; i <= lastRow; ++i) {
        const ResultRow& row = store.m_rows[static_cast<std::size_t>(i)];
        const bool group = IsGroupRow(row.m_strKind);
        const bool member = row.m_strKind == kind::kMember;
        if ((group || member) && !open) {
            run.firstRow = i;
            run.samples.clear();
            run.pointStarts.clear();
            run.faults.clear();
            open = true;
        }
        if (group) {
            run.pointStarts.push_back(static_cast<int>(run.samples.size()));
        } else if (member) {
            const MeasurementRecord& record = store.RecordOf(row);
            Sample sample;
            sample.record = RecordNumber(row.m_strRecordNo);
            sample.seconds = record.m_raw.sampleSeconds;
            for (std::size_t c = 0; c < 3; ++c) sample.perM3[c] = PerCubicMetre(record.m_raw.counts[c], sample.seconds);
            sample.overRange = record.m_raw.overRange;
            if (run.pointStarts.empty()) {
                // Members before any group row: the run was cut before its
                // first cycle.
                run.faults.push_back(Warning{WarningKind::MissingBeginning, sample.record});
                run.pointStarts.push_back(0);
            }
            if (run.samples.empty()) {
                run.location = record.m_strLocation;
                run.start = record.m_strDateTime;
                run.sizeCode = record.m_raw.sizeCode;
                run.sizeTenths = {SizeTenthsOf(Ch1SizeText(run.sizeCode)), SizeTenthsOf(Ch2SizeText(run.sizeCode)), 50};
            } else if (record.m_raw.sizeCode != run.sizeCode) {
                Warning w{WarningKind::SizeCodeDiffers, sample.record};
                w.other = record.m_raw.sizeCode;
                w.size = run.sizeCode;
                run.faults.push_back(w);
            }
            last = &record;
            run.samples.push_back(sample);
        } else if (row.m_strKind == kind::kSummary && open) {
            run.lastRow = i;
            run.end = last != nullptr ? last->m_strDateTime : Text();
            open = false;
            Warning zero{WarningKind::ZeroSampleTime};
            for (const Sample& s : run.samples)
                if (s.seconds == 0 && zero.count++ == 0) zero.record = s.record;
            if (zero.count > 0) run.faults.push_back(zero);
            for (std::size_t p = 0; p < run.pointStarts.size(); ++p) {
                const int end =
                    p + 1 < run.pointStarts.size() ? run.pointStarts[p + 1] : static_cast<int>(run.samples.size());
                if (end == run.pointStarts[p]) {
                    Warning empty{WarningKind::EmptyPoint};
                    empty.other = static_cast<int>(p) + 1;
                    run.faults.push_back(empty);
                }
            }
            handle(run);
        } else {
            open = false;  // a run without its summary row is not complete
        }
    }
}

void ClassifyRun(const RunSamples& in, Classification& result) {
    const Settings& settings = result.settings;
    RunResult& r = result.runs.emplace_back();
    r.run = static_cast<int>(result.runs.size());
    r.firstRow = in.firstRow;
    r.lastRow = in.lastRow;
    r.location = in.location;
    r.start = in.start;
    r.end = in.end;
    if (!in.samples.empty()) {
        r.firstRecord = in.samples.front().record;
        r.lastRecord = in.samples.back().record;
    }
    const bool gmp = settings.standard == Standard::Gmp2022;
    const bool differential = settings.counts == CountMode::Differential;
    for (std::size_t c = 0; c < 3; ++c) {
        r.sizes[c].sizeTenths = in.sizeTenths[c];
        r.sizes[c].considered = Considered(settings, in.sizeTenths[c]);
    }

    // The locations' means of the cumulative concentrations.
    std::array<bool, 3> allZero{true, true, true};
    r.firstLocation = static_cast<int>(result.locations.size());
    r.locationCount = static_cast<int>(in.pointStarts.size());
    for (std::size_t p = 0; p < in.pointStarts.size(); ++p) {
        const auto from = static_cast<std::size_t>(in.pointStarts[p]);
        const std::size_t to =
            p + 1 < in.pointStarts.size() ? static_cast<std::size_t>(in.pointStarts[p + 1]) : in.samples.size();
        Location& loc = result.locations.emplace_back();
        loc.point = static_cast<int>(p) + 1;
        loc.cycles = static_cast<int>(to - from);
        loc.firstSample = static_cast<int>(result.sampleLitres.size());
        std::array<double, 3> sum{};
        for (std::size_t k = from; k < to; ++k) {
            const Sample& s = in.samples[k];
            result.sampleLitres.push_back(SampleLitres(s.seconds));
            double larger = 0.0;
            for (std::size_t c = 3; c-- > 0;) {
                if (s.perM3[c] != 0.0) allZero[c] = false;
                // Differential counts: a channel's cumulative concentration
                // adds those of every larger channel.
                const double cumulative = s.perM3[c] + (differential ? larger : 0.0);
                larger = cumulative;
                sum[c] += cumulative;
            }
        }
        if (loc.cycles > 0)
            for (std::size_t c = 0; c < 3; ++c) loc.meanPerM3[c] = sum[c] / loc.cycles;
    }
    const std::span<const Location> points(result.locations.data() + r.firstLocation,
                                           static_cast<std::size_t>(r.locationCount));

    std::vector<Warning>& warnings = result.warnings;
    r.firstWarning = static_cast<int>(warnings.size());
    warnings.insert(warnings.end(), in.faults.begin(), in.faults.end());
    const auto finish = [&] { r.warningCount = static_cast<int>(warnings.size()) - r.firstWarning; };
    if (!in.faults.empty()) {
        r.verdict = Verdict::NotClassified;
        return finish();
    }

    // The 1999 edition's 95 % upper confidence limit of the mean of the
    // location means, for 2 to 9 locations.
    const int m = r.locationCount;
    if (settings.standard == Standard::Iso1999 && StudentT(m) > 0.0) {
        std::array<double, 3> ucl{};
        for (std::size_t c = 0; c < 3; ++c) {
            double mean = 0.0;
            for (const Location& loc : points) mean += loc.meanPerM3[c];
            mean /= m;
            double squares = 0.0;
            for (const Location& loc : points) squares += (loc.meanPerM3[c] - mean) * (loc.meanPerM3[c] - mean);
            const double sd = std::sqrt(squares / (m - 1));
            ucl[c] = mean + StudentT(m) * sd / std::sqrt(static_cast<double>(m));
        }
        r.uclPerM3 = ucl;
    }
    // What each size must stay at or below: every location's mean (and the
    // confidence limit where there is one).
    std::array<double, 3> highest{};
    for (std::size_t c = 0; c < 3; ++c) {
        for (const Location& loc : points) highest[c] = std::max(highest[c], loc.meanPerM3[c]);
        if (r.uclPerM3) highest[c] = std::max(highest[c], (*r.uclPerM3)[c]);
    }

    // The judgement against the target.
    const Target& target = settings.target;
    bool anyConsidered = false;
    for (std::size_t c = 0; c < 3; ++c) anyConsidered = anyConsidered || r.sizes[c].considered;
    if (target.Given()) {
        bool anyJudged = false;
        bool allPass = true;
        for (std::size_t c = 0; c < 3; ++c) {
            SizeResult& s = r.sizes[c];
            if (!s.considered) continue;
            if (gmp) {
                const GmpLimit cell = GmpGradeLimit(target.grade, target.state, s.sizeTenths);
                if (cell.cell != GmpCell::Limit) continue;  // not specified: not judged
                s.limit = cell.limit;
            } else if (!IsApplicable(settings.standard, target.classTenths, s.sizeTenths)) {
                s.verdict = Verdict::NotApplicable;
                Warning w{WarningKind::NotApplicable};
                w.size = s.sizeTenths;
                w.other = target.classTenths;
                warnings.push_back(w);
                continue;
            } else {
                s.limit = ClassLimit(target.classTenths, s.sizeTenths);
            }
            s.verdict = highest[c] <= static_cast<double>(*s.limit) ? Verdict::Pass : Verdict::Fail;
            allPass = allPass && s.verdict == Verdict::Pass;
            anyJudged = true;
        }
        const bool has05 = std::any_of(r.sizes.begin(), r.sizes.end(),
                                       [](const SizeResult& s) { return s.considered && s.sizeTenths == 5; });
        if (gmp && !has05) {
            r.verdict = Verdict::NotClassified;
            warnings.push_back(Warning{WarningKind::NoGradeSize});
        } else if (!anyJudged) {
            r.verdict = Verdict::NotClassified;
            Warning w{anyConsidered ? WarningKind::NoApplicableSize : WarningKind::NoConsideredSize};
            w.other = target.classTenths;
            warnings.push_back(w);
        } else {
            r.verdict = allPass ? Verdict::Pass : Verdict::Fail;
        }
    } else if (!anyConsidered) {
        warnings.push_back(Warning{WarningKind::NoConsideredSize});
    }

    // The achieved class: per considered size the smallest class whose limit
    // holds, and of those the largest.
    int previous = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const SizeResult& s = r.sizes[c];
        if (!s.considered) continue;
        const int achieved = SmallestClassAtOrAbove(s.sizeTenths, highest[c]);
        if (achieved == 0 && !r.worseThanIso9) {
            r.worseThanIso9 = true;
            r.achievedClass = 0;
            r.limitingSize = s.sizeTenths;
        } else if (!r.worseThanIso9 && achieved > r.achievedClass) {
            r.achievedClass = achieved;
            r.limitingSize = s.sizeTenths;
        }
        if (allZero[c]) {
            Warning w{WarningKind::ZeroCounts};
            w.size = s.sizeTenths;
            warnings.push_back(w);
        }
        if (previous != 0 && s.sizeTenths * 2 < previous * 3) {
            Warning w{WarningKind::SizesTooClose};
            w.size = previous;
            w.other = s.sizeTenths;
            warnings.push_back(w);
        }
        previous = s.sizeTenths;
    }
    for (int size : settings.sizes)
        if (std::find(in.sizeTenths.begin(), in.sizeTenths.end(), size) == in.sizeTenths.end()) {
            Warning w{WarningKind::SizeNotMeasured};
            w.size = size;
            warnings.push_back(w);
        }
    if (in.sizeTenths[1] == 0) {
        Warning w{WarningKind::NoSizeText};
        w.other = in.sizeCode;
        warnings.push_back(w);
    }
    if (settings.areaM2 > 0.0) {
        Warning w{WarningKind::TooFewLocations};
        w.count = m;
        w.other = MinimumLocations(settings.standard, settings.areaM2);
        w.value = settings.areaM2;
        if (m < w.other) warnings.push_back(w);
    }
    AddSampleWarnings(in, settings, r, warnings);
    finish();
}

namespace {

// After the last run: the error when there was none, and the verdict.
void Conclude(Classification& result) {
    if (result.runs.empty()) result.error = "no complete ISO run to classify";
    bool allPass = true;
    for (const RunResult& r : result.runs)
        allPass = allPass && r.verdict != Verdict::Fail && r.verdict != Verdict::NotClassified;
    if (result.settings.target.Given()) result.verdict = allPass ? Verdict::Pass : Verdict::Fail;
}

}  // namespace

Classification ClassifyRuns(const std::vector<RunSamples>& runs, const Settings& settings) {
    Classification result;
    result.settings = settings;
    result.error = SettingsError(settings);
    if (!result.error.empty()) return result;
    for (const RunSamples& run : runs) ClassifyRun(run, result);
    Conclude(result);
    return result;
}

Classification Classify(const RecordStore& store, const Settings& settings) {
    Classification result;
    result.settings = settings;
    result.error = SettingsError(settings);
    if (!result.error.empty()) return result;
    // The tables grow once: a run takes at least three rows (group, member,
    // summary), a location two, a sample one.
    const auto rows =
        static_cast<std::size_t>(std::clamp(store.m_nLastRow + 1, 0, static_cast<int>(store.m_rows.size())));
    result.runs.reserve(rows / 3);
    result.locations.reserve(rows / 2);
    result.sampleLitres.reserve(rows);
    result.warnings.reserve(4 * (rows / 3));
    ReadRuns(store, [&result](const RunSamples& run) { ClassifyRun(run, result); });
    Conclude(result);
    return result;
}

std::span<const Location> Classification::Locations(const RunResult& run) const {
    return {locations.data() + run.firstLocation, static_cast<std::size_t>(run.locationCount)};
}

std::span<const double> Classification::SampleLitres(const Location& location) const {
    return {sampleLitres.data() + location.firstSample, static_cast<std::size_t>(location.cycles)};
}

std::span<const Warning> Classification::Warnings(const RunResult& run) const {
    return {warnings.data() + run.firstWarning, static_cast<std::size_t>(run.warningCount)};
}

int Classification::ExitStatus() const {
    if (!error.empty()) return 1;
    for (const RunResult& r : runs)
        if (r.verdict == Verdict::Fail || r.verdict == Verdict::NotClassified) return 3;
    return 0;
}

}  // namespace oront::classify
