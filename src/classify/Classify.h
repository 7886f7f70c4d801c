// Cleanroom classification of the complete ISO runs of a download against
// ISO 14644-1 (2015 or 1999) or EU GMP Annex 1 (2022).
//
// A complete run is the rows of the result table from its first group row to
// its summary row: its points are the sampling locations and each point's
// member rows are its samples. Concentrations come from the raw counts of
// the record frames and each sample's time, never from the rounded texts.
// The results carry every figure a report, a dialog or a certificate shows;
// the locations, sample volumes and warnings of all runs lie in tables of
// the classification, which each run indexes, so that a full memory of
// one-point runs is classified without an allocation per run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "classify/Standards.h"
#include "records/RecordStore.h"
#include "records/Text.h"

namespace oront::classify {

// The instrument's volume constant: a count over T seconds at 0.1 ft³/min
// (2.8316847 L/min) is count x 21188.8349 / T particles per m³.
inline constexpr double kPerM3Constant = 21188.8349;
inline constexpr double kLitresPerMinute = 2.8316847;
// The size of a channel's size text in tenths of a µm ("0.3um" -> 3); 0 for
// no text.
int SizeTenthsOf(std::string_view text);
// Particles per m³ of a count sampled over `seconds` (0 when seconds is 0).
double PerCubicMetre(std::uint32_t count, int seconds);
// The litres sampled over `seconds`.
double SampleLitres(int seconds);

enum class CountMode { Cumulative, Differential };

// What a size or a run is found to be. A size is Pass, Fail, NotApplicable
// (the target class has no limit for it) or NotJudged (not considered, no
// size text, no target, or no limit specified); a run is Pass, Fail,
// NotValid (within its limits, but it breaks a requirement of the standard),
// NotClassified (nothing can be computed) or NotJudged (no target).
enum class Verdict { Pass, Fail, NotApplicable, NotJudged, NotClassified, NotValid };

struct Target {
    int classTenths = 0;  // ISO: the target class (10..90); 0 for none
    char grade = 0;       // GMP: 'A'..'D'; 0 for none
    Occupancy state = Occupancy::AtRest;
    // Whether the user chose the state: a target is judged only in a
    // declared state, and an undeclared one is never reported.
    bool stateDeclared = false;
    [[nodiscard]] bool Given() const { return classTenths != 0 || grade != 0; }
};

struct Settings {
    Standard standard = Standard::Iso2015;
    Target target;
    // The considered sizes in tenths of a µm; empty: every size a run has
    // (for the GMP standard: 0.5 and 5.0 µm).
    std::vector<int> sizes;
    CountMode counts = CountMode::Cumulative;
    double areaM2 = 0.0;  // the room's area; 0 when not given
    // The last day (YYYYMMDD) of the instrument's calibration; 0 when not
    // known. A record taken after it is not valid data.
    int calibrationDue = 0;
};

// A settings error found before anything is read ("Grade D in operation has
// no predetermined limits"); empty when the settings can be applied.
std::string SettingsError(const Settings& settings);

// A warning, with the figures its text names (WarningText in ClassifyText.h).
// The first four kinds are why a run cannot be classified; the kinds for
// which IsRequirement holds are requirements of the standard the run breaks
// (a run within its limits that breaks one is not valid); the others never
// change a verdict.
enum class WarningKind {
    MissingBeginning,      // record: a member before the first point's first cycle
    SizeCodeDiffers,       // record, other: its size code, size: the run's
    ZeroSampleTime,        // record (the first), count
    EmptyPoint,            // other: the point
    NoGradeSize,           // GMP: no 0.5 µm channel considered
    NoApplicableSize,      // other: the target class
    NoConsideredSize,      // the run measures none of the considered sizes
    NotApplicable,         // size, other: the class (the target's or the achieved one)
    ShortSample,           // record (the first), count, other: its seconds
    SmallVolume,           // record (the first), count, value: its litres, minimum: litres, limit and size behind it
    OverRange,             // record (the first), count
    TooFewLocations,       // count: locations, other: needed, value: the area
    LocationsNotVerified,  // the room's area is not known
    TooFewSamples,         // count: the samples of the single location
    CalibrationPastDue,    // record (the first), count, other: the due day
    SizesTooClose,         // size, other: the next larger size
    ZeroCounts,            // size
    SizeNotMeasured,       // size
    NoSizeText,            // other: the size code
};
struct Warning {
    WarningKind kind = WarningKind::NotApplicable;
    int record = 0;
    int count = 0;
    int size = 0;
    int other = 0;
    long long limit = 0;
    double value = 0.0;
    double minimum = 0.0;
};
// Whether the warning is a broken requirement of the standard.
bool IsRequirement(WarningKind kind);

// One sample (cycle) of a run as the store holds it.
struct Sample {
    int record = 0;  // the record number the table shows
    int seconds = 0;
    std::array<double, 3> perM3{};  // channels 1 to 3, each on its own (as counted)
    bool overRange = false;
    int day = 0;                            // the record's date as YYYYMMDD; 0 when not known
    int location = 0;                       // the instrument's location number
    std::array<std::uint32_t, 3> counts{};  // as the instrument counted (0 in runs built from concentrations)
};

// One complete run read from the result table.
struct RunSamples {
    int number = 0;    // the run's number in the download (1, 2, ...); 0: its place among the runs classified
    int firstRow = 0;  // its first group row
    int lastRow = 0;   // its summary row
    Text location;
    Text start;  // date and time of the first record
    Text end;    // of the last record
    int sizeCode = 0;
    std::array<int, 3> sizeTenths{};  // 0: the channel's size code gives no size text
    std::vector<Sample> samples;      // in the run's order
    std::vector<int> pointStarts;     // the index of each point's first sample
    std::vector<Warning> faults;      // why the run cannot be classified, found while reading

    // Appends a point of the samples (for runs built by hand).
    void AddPoint(std::initializer_list<Sample> point);
};

// Reads the complete runs of the result table in table order, handing each
// to `run` (the same object, refilled, for every run).
void ReadRuns(const RecordStore& store, const std::function<void(const RunSamples&)>& run);

struct Location {
    int point = 0;  // 1-based, in the run's order
    int cycles = 0;
    int firstSample = 0;                // in Classification::sampleLitres and ::samples
    std::array<double, 3> meanPerM3{};  // cumulative concentrations
};

struct SizeResult {
    int sizeTenths = 0;  // 0: no size text
    bool considered = false;
    std::optional<long long> limit;  // particles per m³, where judged
    Verdict verdict = Verdict::NotJudged;
};

struct RunResult {
    int run = 0;  // 1-based
    int firstRecord = 0;
    int lastRecord = 0;
    int firstRow = 0;
    int lastRow = 0;
    Text location;
    Text start;
    Text end;
    std::array<SizeResult, 3> sizes;
    std::optional<std::array<double, 3>> uclPerM3;  // 1999 edition, 2 to 9 locations
    Verdict verdict = Verdict::NotJudged;
    // The achieved class: the smallest class at which a considered size
    // applies, every considered size that applies holds its limit, and every
    // sample has the volume that class asks for.
    int achievedClass = 0;             // tenths; 0 when none (worse than the highest class, or nothing to compute)
    bool worseThanIso9 = false;        // no class holds
    int worseThanClass = 0;            // then: the highest class at which a considered size applies
    int highestClass = kHighestClass;  // the highest class the state allows
    // What keeps the class just below the achieved one from holding (when no
    // class holds: the highest class): a size above its limit there, or the
    // sample volume; neither when no considered size applies below.
    int limitingSize = 0;  // tenths; 0 when none
    bool limitedByVolume = false;
    // The sample volume every sample needs at the target (litres; 0 without
    // a target), and the fewest locations of the room (0: area not given).
    double minimumLitres = 0.0;
    int requiredLocations = 0;
    // In the classification's tables.
    int firstLocation = 0;
    int locationCount = 0;
    int firstWarning = 0;
    int warningCount = 0;
    int firstRequirement = 0;
    int requirementCount = 0;
};

struct Classification {
    Settings settings;
    std::vector<RunResult> runs;
    std::vector<Location> locations;    // of every run
    std::vector<double> sampleLitres;   // of every location
    std::vector<Sample> samples;        // of every location, as sampleLitres
    std::vector<Warning> warnings;      // of every run
    std::vector<Warning> requirements;  // the broken requirements of every run
    // Pass only when every run passes; else the worst verdict of a run
    // (Fail, NotValid, NotClassified); NotJudged without a target.
    Verdict verdict = Verdict::NotJudged;
    int isoEquivalent = 0;  // EU GMP: the ISO class the grade's limits equal (tenths)
    std::string error;      // nothing could be classified: why

    [[nodiscard]] std::span<const Location> Locations(const RunResult& run) const;
    [[nodiscard]] std::span<const double> SampleLitres(const Location& location) const;
    [[nodiscard]] std::span<const Sample> Samples(const Location& location) const;
    [[nodiscard]] std::span<const Warning> Warnings(const RunResult& run) const;
    [[nodiscard]] std::span<const Warning> Requirements(const RunResult& run) const;
    // 0: every judged run passes (or nothing was judged); 3: a run fails, is
    // not valid or cannot be classified; 1: an error.
    [[nodiscard]] int ExitStatus() const;
};

// The verdict of several runs (or rooms) together: Pass only when every one
// passes, else the worst (Fail, then NotValid, then NotClassified);
// NotJudged when none was judged.
Verdict CombinedVerdict(Verdict a, Verdict b);

// Classifies one run into `result`, numbered samples.number (or
// result.runs.size() + 1).
void ClassifyRun(const RunSamples& samples, Classification& result);
// Classifies the runs (numbered from 1 in their order); an error when the
// settings cannot be applied or there is no run.
Classification ClassifyRuns(const std::vector<RunSamples>& runs, const Settings& settings);
// Classifies every complete run of the store.
Classification Classify(const RecordStore& store, const Settings& settings);

}  // namespace oront::classify
