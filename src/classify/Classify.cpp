#include "classify/Classify.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// The day of a record's "YYYY-MM-DD hh:mm:ss" as YYYYMMDD; 0 when the text
// is not a date.
int DayOf(const Text& dateTime) {
    const std::string_view t = dateTime.view();
    if (t.size() < 10 || t[4] != '-' || t[7] != '-') return 0;
    int day = 0;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (t[i] < '0' || t[i] > '9') return 0;
        day = 10 * day + (t[i] - '0');
    }
    return day;
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

// The least volume of a sample where the largest size judged has `limit`
// per m³: 20 particles at the limit, and never below 2 L.
double MinimumLitres(long long limit) {
    return limit > 0 ? std::max(2.0, 20000.0 / static_cast<double>(limit)) : 2.0;
}

// What the achieved class needs of a run: the highest concentration of each
// channel (location means, and the confidence limit), which channels are
// considered sizes the run measures, and its smallest sample.
struct ClassInputs {
    std::array<double, 3> highest{};
    std::array<int, 3> sizes{};  // 0: not a considered, measured size
    double fewestLitres = 0.0;
    int fewestSeconds = 0;
    Standard edition = Standard::Iso2015;
};

// How a class holds for the run: whether a considered size applies there,
// the size most above its limit (0: none), and whether the samples have the
// volume the class asks for.
struct ClassCheck {
    bool applies = false;
    int failingSize = 0;
    bool volume = false;
    [[nodiscard]] bool Holds() const { return applies && failingSize == 0 && volume; }
};

ClassCheck CheckClass(const ClassInputs& in, int classTenths) {
    ClassCheck check;
    double worst = 1.0;
    long long largestLimit = 0;
    int largest = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const int size = in.sizes[c];
        if (size == 0 || !IsApplicable(in.edition, classTenths, size)) continue;
        check.applies = true;
        const long long limit = ClassLimit(classTenths, size);
        const double ratio = in.highest[c] / static_cast<double>(limit);
        if (in.highest[c] > static_cast<double>(limit) && ratio > worst - 1e-12) {
            worst = ratio;
            check.failingSize = size;
        }
        if (size > largest) {
            largest = size;
            largestLimit = limit;
        }
    }
    check.volume = in.fewestSeconds >= 60 && in.fewestLitres >= MinimumLitres(largestLimit);
    return check;
}

// The achieved class of the run into r: the smallest class that holds, and
// what keeps the class below it from holding.
void AchieveClass(const ClassInputs& in, RunResult& r) {
    r.achievedClass = 0;
    r.worseThanIso9 = false;
    r.worseThanClass = 0;
    r.limitingSize = 0;
    r.limitedByVolume = false;
    bool any = false;
    for (int size : in.sizes) any = any || size != 0;
    if (!any) return;
    ClassCheck below;        // of the class just below the one tried
    ClassCheck lastApplied;  // of the highest class tried at which a size applies
    for (int n = kLowestClass; n <= r.highestClass; ++n) {
        const ClassCheck check = CheckClass(in, n);
        if (check.Holds()) {
            r.achievedClass = n;
            if (below.applies) {
                r.limitingSize = below.failingSize;
                r.limitedByVolume = below.failingSize == 0;
            }
            return;
        }
        below = check;
        if (check.applies) {
            lastApplied = check;
            r.worseThanClass = n;
        }
    }
    r.worseThanIso9 = true;
    r.limitingSize = lastApplied.failingSize;
    r.limitedByVolume = lastApplied.applies && lastApplied.failingSize == 0;
}

// The sample checks: time and volume, over-range records, the calibration.
void AddSampleRequirements(const RunSamples& in, const Settings& settings, const RunResult& r,
                           std::vector<Warning>& broken) {
    // The least volume of a sample at the target: 20 particles at the limit
    // of the largest considered size that has one, and never below 2 L.
    Warning small{WarningKind::SmallVolume};
    small.minimum = 2.0;
    for (std::size_t c = 3; c-- > 0;) {
        const SizeResult& s = r.sizes[c];
        if (!s.limit) continue;
        if (MinimumLitres(*s.limit) > small.minimum) {
            small.minimum = MinimumLitres(*s.limit);
            small.limit = *s.limit;
            small.size = s.sizeTenths;
        }
        break;
    }
    Warning shortSample{WarningKind::ShortSample};
    Warning over{WarningKind::OverRange};
    Warning calibration{WarningKind::CalibrationPastDue};
    calibration.other = settings.calibrationDue;
    for (const Sample& s : in.samples) {
        if (s.overRange && over.count++ == 0) over.record = s.record;
        if (settings.calibrationDue != 0 && s.day > settings.calibrationDue && calibration.count++ == 0)
            calibration.record = s.record;
        if (s.seconds == 0) continue;
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
    for (const Warning& w : {shortSample, small, over, calibration})
        if (w.count > 0) broken.push_back(w);
}

}  // namespace

int SizeTenthsOf(std::string_view text) {
    if (text.size() < 3 || text[0] < '0' || text[0] > '9' || text[1] != '.' || text[2] < '0' || text[2] > '9') return 0;
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
    if (s.target.Given() && !s.target.stateDeclared)
        return "the occupancy state must be declared: as built, at rest or in operation";
    if (gmp && s.target.state == Occupancy::AsBuilt) return "EU GMP Annex 1 has no as-built state";
    if (s.standard == Standard::Iso2015 && s.target.classTenths == kHighestClass &&
        s.target.state != Occupancy::Operational)
        return "ISO 9 is a class of the operational state only (ISO 14644-1:2015 Table 1)";
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
    int runs = 0;
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
            sample.counts = record.m_raw.counts;
            sample.day = DayOf(record.m_strDateTime);
            sample.location = CAtoi(record.m_strLocation.view());
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
            run.number = ++runs;
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
    r.run = in.number != 0 ? in.number : static_cast<int>(result.runs.size());
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
            result.samples.push_back(s);
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
    std::vector<Warning>& broken = result.requirements;
    r.firstRequirement = static_cast<int>(broken.size());
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

    // The achieved class, at the considered sizes the run measures (EU GMP:
    // 0.5 and 5.0 µm, by the 2015 edition's table). ISO 9 is a class of the
    // operational state only.
    ClassInputs inputs;
    inputs.highest = highest;
    inputs.edition = settings.standard;
    for (std::size_t c = 0; c < 3; ++c) inputs.sizes[c] = r.sizes[c].considered ? r.sizes[c].sizeTenths : 0;
    inputs.fewestLitres = in.samples.empty() ? 0.0 : std::numeric_limits<double>::max();
    inputs.fewestSeconds = in.samples.empty() ? 0 : std::numeric_limits<int>::max();
    for (const Sample& s : in.samples) {
        inputs.fewestLitres = std::min(inputs.fewestLitres, SampleLitres(s.seconds));
        inputs.fewestSeconds = std::min(inputs.fewestSeconds, s.seconds);
    }
    if (settings.standard != Standard::Iso1999 && target.stateDeclared && target.state != Occupancy::Operational)
        r.highestClass = 80;
    AchieveClass(inputs, r);
    int previous = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const SizeResult& s = r.sizes[c];
        if (!s.considered) continue;
        // A considered size that has no limit at the achieved class is not
        // part of its designation.
        if (r.achievedClass != 0 && !IsApplicable(settings.standard, r.achievedClass, s.sizeTenths) &&
            !(target.classTenths == r.achievedClass && s.verdict == Verdict::NotApplicable)) {
            Warning w{WarningKind::NotApplicable};
            w.size = s.sizeTenths;
            w.other = r.achievedClass;
            warnings.push_back(w);
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
    if (in.sizeTenths[1] == 0) {
        Warning w{WarningKind::NoSizeText};
        w.other = in.sizeCode;
        warnings.push_back(w);
    }

    // The requirements of the standard the run breaks.
    for (int size : settings.sizes)
        if (std::find(in.sizeTenths.begin(), in.sizeTenths.end(), size) == in.sizeTenths.end()) {
            Warning w{WarningKind::SizeNotMeasured};
            w.size = size;
            broken.push_back(w);
        }
    if (settings.areaM2 > 0.0) {
        Warning w{WarningKind::TooFewLocations};
        w.count = m;
        w.other = MinimumLocations(settings.standard, settings.areaM2);
        w.value = settings.areaM2;
        r.requiredLocations = w.other;
        if (m < w.other) broken.push_back(w);
    } else {
        warnings.push_back(Warning{WarningKind::LocationsNotVerified});
    }
    if (settings.standard == Standard::Iso1999 && m == 1 && points[0].cycles < 3) {
        Warning w{WarningKind::TooFewSamples};
        w.count = points[0].cycles;
        broken.push_back(w);
    }
    AddSampleRequirements(in, settings, r, broken);
    for (const SizeResult& s : r.sizes)
        if (s.limit && s.verdict != Verdict::NotApplicable) {
            r.minimumLitres = MinimumLitres(*s.limit);  // the largest size with a limit comes last
        }
    r.requirementCount = static_cast<int>(broken.size()) - r.firstRequirement;
    if (r.verdict == Verdict::Pass && r.requirementCount > 0) r.verdict = Verdict::NotValid;
    finish();
}

namespace {

// After the last run: the error when there was none, and the verdict.
void Conclude(Classification& result) {
    if (result.runs.empty()) result.error = "no complete ISO run to classify";
    const Target& t = result.settings.target;
    if (result.settings.standard == Standard::Gmp2022) result.isoEquivalent = GmpIsoEquivalent(t.grade, t.state);
    if (!t.Given()) return;
    result.verdict = Verdict::Pass;
    for (const RunResult& r : result.runs) result.verdict = CombinedVerdict(result.verdict, r.verdict);
}

}  // namespace

Verdict CombinedVerdict(Verdict a, Verdict b) {
    const auto rank = [](Verdict v) {
        switch (v) {
            case Verdict::Fail:
                return 4;
            case Verdict::NotValid:
                return 3;
            case Verdict::NotClassified:
                return 2;
            case Verdict::Pass:
                return 1;
            case Verdict::NotApplicable:
            case Verdict::NotJudged:
                break;
        }
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

bool IsRequirement(WarningKind kind) {
    switch (kind) {
        case WarningKind::ShortSample:
        case WarningKind::SmallVolume:
        case WarningKind::OverRange:
        case WarningKind::TooFewLocations:
        case WarningKind::SizeNotMeasured:
        case WarningKind::TooFewSamples:
        case WarningKind::CalibrationPastDue:
            return true;
        default:
            return false;
    }
}

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
    result.samples.reserve(rows);
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

std::span<const Sample> Classification::Samples(const Location& location) const {
    return {samples.data() + location.firstSample, static_cast<std::size_t>(location.cycles)};
}

std::span<const Warning> Classification::Warnings(const RunResult& run) const {
    return {warnings.data() + run.firstWarning, static_cast<std::size_t>(run.warningCount)};
}

std::span<const Warning> Classification::Requirements(const RunResult& run) const {
    return {requirements.data() + run.firstRequirement, static_cast<std::size_t>(run.requirementCount)};
}

int Classification::ExitStatus() const {
    if (!error.empty()) return 1;
    for (const RunResult& r : runs)
        if (r.verdict == Verdict::Fail || r.verdict == Verdict::NotValid || r.verdict == Verdict::NotClassified)
            return 3;
    return 0;
}

}  // namespace oront::classify
