#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "classify/CertificateLayout.h"
#include "classify/Classify.h"
#include "classify/ClassifyText.h"
#include "device/MemoryImage.h"
#include "print/RecordingSurface.h"
#include "support/InstrumentBuilders.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

using namespace oront;
using namespace oront::classify;
using namespace oront::test;

namespace {

using Counts = std::array<std::uint32_t, 3>;

// A complete run: points[p][k] are the channel counts of cycle k of point p.
std::vector<RawRecord> RunRecords(const std::vector<std::vector<Counts>>& points) {
    std::vector<RawRecord> records;
    for (std::size_t p = 0; p < points.size(); ++p)
        for (std::size_t k = 0; k < points[p].size(); ++k) {
            const Counts& c = points[p][k];
            records.push_back(IsoRecord(static_cast<std::uint8_t>(p + 1), static_cast<std::uint16_t>(points[p].size()),
                                        static_cast<std::uint16_t>(k + 1), c[0], c[1], c[2],
                                        p + 1 == points.size() && k + 1 == points[p].size()));
        }
    return records;
}

// A run read from concentrations: one sample per location, numbered from 26.
RunSamples Locations(const std::vector<std::array<double, 3>>& perM3, std::array<int, 3> sizes = {3, 5, 50},
                     int seconds = 600) {
    RunSamples run;
    run.location = "003";
    run.start = "2015-03-02 09:08:51";
    run.sizeTenths = sizes;
    int record = 26;
    for (const auto& values : perM3) run.AddPoint({Sample{record++, seconds, values, false}});
    return run;
}

Settings Iso(int classTenths, Standard standard = Standard::Iso2015, Occupancy state = Occupancy::AtRest) {
    Settings s;
    s.standard = standard;
    s.target.classTenths = classTenths;
    s.target.state = state;
    s.target.stateDeclared = true;
    return s;
}

Settings Gmp(char grade, Occupancy state) {
    Settings s;
    s.standard = Standard::Gmp2022;
    s.target.grade = grade;
    s.target.state = state;
    s.target.stateDeclared = true;
    return s;
}

// Whether a warning, or a broken requirement (its rule, clause and detail),
// of a run says `part`.
bool HasWarning(const Classification& c, const std::string& part) {
    for (const RunResult& r : c.runs) {
        for (const Warning& w : c.Warnings(r))
            if (WarningText(w, c.settings).find(part) != std::string::npos) return true;
        for (const Warning& w : c.Requirements(r))
            if (RequirementText(w, c.settings).find(part) != std::string::npos) return true;
    }
    return false;
}

// One run classified on its own: r->verdict, r.Warns("...").
struct Judged {
    Classification result;
    const RunResult* operator->() const { return &result.runs.at(0); }
    const RunResult& Run() const { return result.runs.at(0); }
    bool Warns(const std::string& part) const { return HasWarning(result, part); }
};

Judged Judge(const RunSamples& run, const Settings& settings) {
    return {ClassifyRuns({run}, settings)};
}

}  // namespace

TEST(ClassLimits, RoundingReproducesTheTablesAndTheirEmptyCells) {
    // ISO 14644-1:2015 Table 1 at the instrument's sizes, ISO 1 to 9; 0 where
    // the table gives no number.
    struct Column {
        int size;
        std::array<long long, 9> limit;
    };
    const Column table2015[] = {
        {3, {0, 10, 102, 1020, 10200, 102000, 0, 0, 0}},
        {5, {0, 0, 35, 352, 3520, 35200, 352000, 3520000, 35200000}},
        {10, {0, 0, 0, 83, 832, 8320, 83200, 832000, 8320000}},
        {50, {0, 0, 0, 0, 0, 293, 2930, 29300, 293000}},
        {20, {0, 0, 0, 0, 0, 0, 19700, 0, 0}},  // sizes outside the table: formula values
        {25, {0, 0, 0, 0, 0, 0, 12400, 0, 0}},
    };
    for (const Column& column : table2015)
        for (int n = 1; n <= 9; ++n) {
            const long long expected = column.limit[static_cast<std::size_t>(n - 1)];
            if (column.size < 20) {
                EXPECT_EQ(IsApplicable(Standard::Iso2015, 10 * n, column.size), expected != 0) << n;
            }
            if (expected != 0) {
                EXPECT_EQ(ClassLimit(10 * n, column.size), expected) << n << " " << column.size;
            }
        }
    for (int n = 1; n <= 9; ++n) {
        EXPECT_EQ(IsApplicable(Standard::Iso2015, 10 * n, 20), n >= 6);
        EXPECT_EQ(IsApplicable(Standard::Iso1999, 10 * n, 25), n >= 6);
    }
    // The 1999 table also gives 4 at 0.5 µm for ISO 2, 8 at 1.0 µm for ISO 3
    // and 29 at 5.0 µm for ISO 5: three significant figures, then halves up.
    for (auto [n, size, limit] : {std::array{2, 5, 4}, std::array{3, 10, 8}, std::array{5, 50, 29}}) {
        EXPECT_FALSE(IsApplicable(Standard::Iso2015, 10 * n, size));
        EXPECT_TRUE(IsApplicable(Standard::Iso1999, 10 * n, size));
        EXPECT_EQ(ClassLimit(10 * n, size), limit);
    }
    EXPECT_FALSE(IsApplicable(Standard::Iso1999, 10, 3));
    EXPECT_FALSE(IsApplicable(Standard::Iso1999, 70, 3));
    // Rounded once: below 100 to a whole number (10.47, 52.48, 73.47 and
    // 18.46), from 100 on to three significant figures (20306, 99.77 -> 100).
    EXPECT_EQ(ClassLimit(31, 10), 10);
    EXPECT_EQ(ClassLimit(38, 10), 52);
    EXPECT_EQ(ClassLimit(54, 50), 73);
    EXPECT_EQ(ClassLimit(48, 50), 18);
    EXPECT_EQ(ClassLimit(53, 3), 20300);
    EXPECT_EQ(ClassLimit(30, 3), 102);

    // Intermediate classes: applicable where both neighbours are.
    EXPECT_TRUE(IsApplicable(Standard::Iso2015, 25, 3));
    EXPECT_FALSE(IsApplicable(Standard::Iso2015, 65, 3));
    EXPECT_FALSE(IsApplicable(Standard::Iso2015, 25, 5));
    EXPECT_TRUE(IsApplicable(Standard::Iso1999, 25, 5));
    EXPECT_FALSE(IsApplicable(Standard::Iso2015, 59, 50));
    EXPECT_TRUE(IsApplicable(Standard::Iso1999, 55, 50));
    EXPECT_TRUE(IsApplicable(Standard::Iso2015, 61, 50));

    // Table A.1 of 2015 and the square root of 1999.
    const std::pair<double, int> tableA1[] = {{2, 1},    {2.5, 2},   {24, 6},    {25, 7},   {28, 7},
                                              {28.5, 8}, {1000, 27}, {1001, 28}, {2000, 54}};
    for (auto [area, locations] : tableA1) EXPECT_EQ(MinimumLocations(Standard::Iso2015, area), locations) << area;
    EXPECT_EQ(MinimumLocations(Standard::Iso1999, 25.0), 5);
    EXPECT_EQ(MinimumLocations(Standard::Iso1999, 25.5), 6);
    // Areas whose bound an int cannot hold (the command line takes 12 digits).
    constexpr int kMost = std::numeric_limits<int>::max();
    EXPECT_EQ(MinimumLocations(Standard::Iso2015, 999999999999.0), kMost);
    EXPECT_EQ(MinimumLocations(Standard::Iso1999, std::numeric_limits<double>::infinity()), kMost);
}

TEST(Concentrations, ComeFromTheCountsInEveryUnitAndAccumulateWhenDifferential) {
    const double perCount = 21188.8349 / 90;  // a 90 s sample
    for (std::uint8_t unit = 0; unit <= 3; ++unit) {
        std::vector<RawRecord> records = RunRecords({{{1000, 100, 7}, {1001, 101, 8}}});
        for (RawRecord& r : records) {
            r.unit = unit;
            r.sampleSeconds = 30;
        }
        records[1].overRange = 1;
        const RecordStore store = DownloadedStore(records);
        Settings s;
        Classification c = Classify(store, s);
        ASSERT_EQ(c.runs.size(), 1u) << c.error;
        const Location& loc = c.locations.at(0);
        EXPECT_DOUBLE_EQ(loc.meanPerM3[0], 1000.5 * perCount) << "unit " << int{unit};
        EXPECT_DOUBLE_EQ(loc.meanPerM3[1], 100.5 * perCount);
        EXPECT_DOUBLE_EQ(loc.meanPerM3[2], 7.5 * perCount);
        EXPECT_DOUBLE_EQ(c.SampleLitres(loc)[1], 90 * 2.8316847 / 60);
        EXPECT_TRUE(HasWarning(c, "over range (past the counter's concentration limit), not valid data: record 0002"));

        s.counts = CountMode::Differential;
        c = Classify(store, s);
        EXPECT_DOUBLE_EQ(c.locations.at(0).meanPerM3[0], 1108.5 * perCount);
        EXPECT_DOUBLE_EQ(c.locations.at(0).meanPerM3[1], 108.0 * perCount);
        EXPECT_DOUBLE_EQ(c.locations.at(0).meanPerM3[2], 7.5 * perCount);
    }
}

TEST(IsoJudgement, PassAtTheLimitFailOneParticleAboveAndTheAchievedClass) {
    Judged r = Judge(Locations({{10200, 3520, 300}, {0, 0, 0}}), Iso(50));
    EXPECT_EQ(r->verdict, Verdict::Pass);
    EXPECT_EQ(r->sizes[0].limit, 10200);
    EXPECT_EQ(r->sizes[1].limit, 3520);
    EXPECT_EQ(r->sizes[2].verdict, Verdict::NotApplicable);  // 5.0 µm at ISO 5 (2015)
    EXPECT_FALSE(r->sizes[2].limit);
    EXPECT_TRUE(r.Warns("5.0 µm does not apply at ISO 5"));

    r = Judge(Locations({{10200, 3521, 0}, {0, 0, 0}}), Iso(50));
    EXPECT_EQ(r->verdict, Verdict::Fail);
    EXPECT_EQ(r->sizes[0].verdict, Verdict::Pass);
    EXPECT_EQ(r->sizes[1].verdict, Verdict::Fail);
    EXPECT_EQ(Judge(Locations({{0, 0, 0}, {10201, 0, 0}}), Iso(50))->verdict, Verdict::Fail);
    // The 1999 table has 29 at 5.0 µm for ISO 5 and 73 for ISO 5.4: a mean
    // of 73.06 is above it. (One sample of 28 L is far below the 690 L that
    // 29 per m³ asks for: a size within its limit leaves the run not valid.)
    const Settings iso1999 = Iso(50, Standard::Iso1999);
    r = Judge(Locations({{0, 0, 29}}), iso1999);
    EXPECT_EQ(r->sizes[2].verdict, Verdict::Pass);
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    r = Judge(Locations({{0, 0, 30}}), iso1999);
    EXPECT_EQ(r->sizes[2].verdict, Verdict::Fail);
    EXPECT_EQ(r->verdict, Verdict::Fail);
    EXPECT_EQ(Judge(Locations({{0, 0, 73.06}}), Iso(54, Standard::Iso1999))->sizes[2].verdict, Verdict::Fail);
    EXPECT_EQ(Judge(Locations({{0, 0, 73.0}}), Iso(54, Standard::Iso1999))->sizes[2].verdict, Verdict::Pass);

    // Only considered sizes are judged; none applicable: not classified.
    Settings only05 = Iso(50);
    only05.sizes = {5};
    r = Judge(Locations({{99999, 3520, 99999}}), only05);
    EXPECT_EQ(r->verdict, Verdict::Pass);
    EXPECT_EQ(r->sizes[0].verdict, Verdict::NotJudged);
    EXPECT_EQ(AchievedText(r.Run()), "ISO 5, limited by 0.5 µm");
    Settings only50 = Iso(50);
    only50.sizes = {50};
    EXPECT_EQ(Judge(Locations({{0, 0, 0}}), only50)->verdict, Verdict::NotClassified);

    // Without a target nothing is judged, the achieved class is still given.
    r = Judge(Locations({{0, 4e7, 0}}), Settings{});
    EXPECT_EQ(r->verdict, Verdict::NotJudged);
    EXPECT_EQ(r->sizes[1].verdict, Verdict::NotJudged);
    EXPECT_TRUE(r->worseThanIso9);
    EXPECT_EQ(AchievedText(r.Run()), "worse than ISO 9 (0.5 µm)");
}

// The achieved class comes from the cells the edition's table has: a size
// counts only at the classes where it applies, and a class holds only when
// every sample has the volume that class asks for.
TEST(AchievedClass, OnlyFromApplicableCellsAndTheSampleVolume) {
    // 0.3 µm at ISO 4.9 is 8080 and 0.5 µm 2790: 0.3 µm is further above.
    Judged r = Judge(Locations({{10200, 3000, 300}}), Settings{});
    EXPECT_EQ(AchievedText(r.Run()), "ISO 5, limited by 0.3 µm");
    EXPECT_TRUE(r.Warns("5.0 µm does not apply at ISO 5"));
    // Zero counts in 10-minute samples (28.32 L): 0.3 µm applies from ISO 2
    // and 0.5 µm from ISO 3, and 20 particles at 702 per m³ (0.5 µm at ISO
    // 4.3) need 28.49 L, at 884 (ISO 4.4) 22.62 L.
    r = Judge(Locations({{0, 0, 0}, {0, 0, 0}}), Settings{});
    EXPECT_EQ(r->achievedClass, 44);
    EXPECT_EQ(AchievedText(r.Run()), "ISO 4.4, limited by the sample volume");
    EXPECT_EQ(r->limitingSize, 0);
    // 0.3 µm has no limit from ISO 7 on, so its 2e8 per m³ does not keep
    // 0.5 µm from ISO 8.5 (11,100,000; ISO 8.4 is 8,830,000).
    r = Judge(Locations({{2e8, 1e7, 0}}), Settings{});
    EXPECT_EQ(AchievedText(r.Run()), "ISO 8.5, limited by 0.5 µm");
    EXPECT_TRUE(r.Warns("0.3 µm does not apply at ISO 8.5"));
    // Only 5.0 µm: no class below ISO 6 has a limit for it (2015); in 2015
    // ISO 6 asks 20 / 293 m³ = 68.3 L a sample, which 25 minutes give.
    Settings only50;
    only50.sizes = {50};
    r = Judge(Locations({{0, 0, 0}}, {3, 5, 50}, 1500), only50);
    EXPECT_EQ(AchievedText(r.Run()), "ISO 6, the lowest class at which a considered size applies");
    // Samples shorter than a minute hold no class.
    r = Judge(Locations({{0, 0, 0}}, {3, 5, 50}, 50), Settings{});
    EXPECT_EQ(AchievedText(r.Run()), "none: the samples are too small for every class");
    EXPECT_EQ(r->achievedClass, 0);
    // ISO 9 is a class of the operational state only (2015): at rest the
    // highest class is ISO 8; a target of ISO 9 at rest is refused.
    r = Judge(Locations({{0, 3.6e6, 0}}), Iso(80));
    EXPECT_EQ(AchievedText(r.Run()), "worse than ISO 8 (0.5 µm)");
    EXPECT_EQ(Judge(Locations({{0, 3.6e6, 0}}), Iso(80, Standard::Iso2015, Occupancy::Operational))->achievedClass, 81);
    EXPECT_EQ(SettingsError(Iso(90)), "ISO 9 is a class of the operational state only (ISO 14644-1:2015 Table 1)");
    EXPECT_EQ(SettingsError(Iso(90, Standard::Iso2015, Occupancy::AsBuilt)), SettingsError(Iso(90)));
    EXPECT_EQ(SettingsError(Iso(90, Standard::Iso1999)), "");
    // In every run of the full demo memory a limiting size has a limit at
    // the class just below the achieved one.
    RecordStore full;
    ASSERT_TRUE(ReadRecordsFromImage(MakeFullDemoImage(), full));
    const Classification demo = Classify(full, Settings{});
    ASSERT_GT(demo.runs.size(), 100u);
    int limited = 0;
    for (const RunResult& run : demo.runs) {
        if (run.limitingSize == 0 || run.achievedClass == 0) continue;
        ++limited;
        EXPECT_TRUE(IsApplicable(Standard::Iso2015, run.achievedClass - 1, run.limitingSize)) << run.run;
    }
    EXPECT_GT(limited, 0);
    // A target is judged in a declared state only.
    Settings undeclared = Iso(50);
    undeclared.target.stateDeclared = false;
    EXPECT_EQ(SettingsError(undeclared), "the occupancy state must be declared: as built, at rest or in operation");
}

TEST(Iso1999, UpperConfidenceLimitForTwoToNineLocations) {
    Settings iso1999 = Iso(50, Standard::Iso1999);
    iso1999.sizes = {3, 5};
    Judged r = Judge(Locations({{100, 3000, 0}, {200, 3500, 0}}), iso1999);
    ASSERT_TRUE(r->uclPerM3);
    EXPECT_NEAR((*r->uclPerM3)[0], 465.0, 1e-9);   // 150 + 6.3 x 50
    EXPECT_NEAR((*r->uclPerM3)[1], 4825.0, 1e-9);  // above 3520 while both means are below
    EXPECT_EQ(r->verdict, Verdict::Fail);
    EXPECT_EQ(r->sizes[1].verdict, Verdict::Fail);
    EXPECT_EQ(r->achievedClass, 52);  // the UCL needs ISO 5.2
    Settings iso2015 = Iso(50);
    iso2015.sizes = {3, 5};
    const Judged r2015 = Judge(Locations({{100, 3000, 0}, {200, 3500, 0}}), iso2015);
    EXPECT_FALSE(r2015->uclPerM3);
    EXPECT_EQ(r2015->verdict, Verdict::Pass);
    EXPECT_EQ(r2015->achievedClass, 50);

    std::vector<std::array<double, 3>> nine;
    for (int i = 1; i <= 9; ++i) nine.push_back({100.0 * i, 0, 0});
    r = Judge(Locations(nine), iso1999);
    ASSERT_TRUE(r->uclPerM3);
    EXPECT_NEAR((*r->uclPerM3)[0], 500 + 1.9 * std::sqrt(75000.0) / 3, 1e-9);

    EXPECT_FALSE(Judge(Locations({{100, 3500, 0}}), iso1999)->uclPerM3);
    std::vector<std::array<double, 3>> ten(10, {100, 3500, 0});
    ten[0][1] = 0;
    r = Judge(Locations(ten), iso1999);
    EXPECT_FALSE(r->uclPerM3);
    EXPECT_EQ(r->verdict, Verdict::Pass);
}

TEST(Gmp, EveryGradeAndState) {
    struct Cell {
        char grade;
        Occupancy state;
        long long at05;
        long long at50;  // 0: not specified
    };
    const Cell cells[] = {
        {'A', Occupancy::AtRest, 3520, 0},        {'A', Occupancy::Operational, 3520, 0},
        {'B', Occupancy::AtRest, 3520, 0},        {'B', Occupancy::Operational, 352000, 2930},
        {'C', Occupancy::AtRest, 352000, 2930},   {'C', Occupancy::Operational, 3520000, 29300},
        {'D', Occupancy::AtRest, 3520000, 29300},
    };
    for (const Cell& cell : cells) {
        const Settings s = Gmp(cell.grade, cell.state);
        const auto at05 = static_cast<double>(cell.at05);
        const double at50 = cell.at50 ? static_cast<double>(cell.at50) : 1e9;
        SCOPED_TRACE(std::string(1, cell.grade) + StateName(cell.state));
        Judged r = Judge(Locations({{1e9, at05, at50}}), s);
        EXPECT_EQ(r->verdict, Verdict::Pass);
        EXPECT_EQ(r->sizes[0].verdict, Verdict::NotJudged);  // 0.3 µm is not in the table
        EXPECT_EQ(r->sizes[1].limit, cell.at05);
        EXPECT_EQ(r->sizes[2].verdict, cell.at50 ? Verdict::Pass : Verdict::NotJudged);
        EXPECT_EQ(r->sizes[2].limit.value_or(0), cell.at50);
        EXPECT_EQ(Judge(Locations({{0, at05 + 1, 0}}), s)->verdict, Verdict::Fail);
        if (cell.at50) {
            EXPECT_EQ(Judge(Locations({{0, 0, at50 + 1}}), s)->verdict, Verdict::Fail);
        }
    }
    const Settings dInOperation = Gmp('D', Occupancy::Operational);
    EXPECT_EQ(SettingsError(dInOperation), "Grade D in operation has no predetermined limits");
    const Classification c = ClassifyRuns({Locations({{0, 0, 0}})}, dInOperation);
    EXPECT_EQ(c.error, "Grade D in operation has no predetermined limits");
    EXPECT_EQ(c.ExitStatus(), 1);

    // Without a 0.5 µm channel the 5.0 µm channel is still compared.
    const Judged r = Judge(Locations({{0, 0, 3000}}, {3, 10, 50}), Gmp('C', Occupancy::AtRest));
    EXPECT_EQ(r->verdict, Verdict::NotClassified);
    EXPECT_EQ(r->sizes[2].verdict, Verdict::Fail);
    EXPECT_TRUE(r.Warns("no 0.5 µm channel"));
}

// A run within its limits that breaks a requirement of the standard is not
// valid, one over its limits stays a fail; each broken requirement is named
// with its rule and clause.
TEST(Requirements, ABrokenOneMakesAPassNotValid) {
    // The sample volume: 20 particles at 3520 per m³ need 5.68 L, a minute
    // gives 2.83 L; and never below 2 L and 1 minute.
    Judged r = Judge(Locations({{0, 100, 0}, {0, 100, 0}}, {3, 5, 50}, 60), Iso(50));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    EXPECT_EQ(r.result.ExitStatus(), 3);
    EXPECT_NEAR(r->minimumLitres, 5.68, 0.005);
    EXPECT_TRUE(
        r.Warns("sample volume (ISO 14644-1:2015 A.4.4): sample volume below the minimum of 5.68 L (20 particles at "
                "the limit of 3520 per m³ at 0.5 µm): record 0026 and 1 more (2.83 L)"));
    r = Judge(Locations({{0, 3521, 0}}, {3, 5, 50}, 60), Iso(50));
    EXPECT_EQ(r->verdict, Verdict::Fail);
    EXPECT_EQ(r->requirementCount, 1);
    r = Judge(Locations({{0, 100, 1}}, {3, 5, 50}, 30), Iso(80));
    EXPECT_TRUE(r.Warns("sample time below 1 minute: record 0026 (30 s)"));
    EXPECT_TRUE(r.Warns("sample volume below the minimum of 2 L: record 0026 (1.42 L)"));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    EXPECT_TRUE(Judge(Locations({{0, 0, 0}, {0, 0, 0}}, {3, 5, 50}, 60), Iso(50, Standard::Iso1999))
                    .Warns("sample volume (ISO 14644-1:1999 B.4.2)"));
    // EU GMP grades by the same rule: 5.68 L for grade A (2 minutes give
    // 5.66 L), 6.83 L for grade B in operation (140 s give 6.61 L, 150 s 7.08).
    EXPECT_EQ(Judge(Locations({{0, 0, 0}}, {3, 5, 50}, 120), Gmp('A', Occupancy::AtRest))->verdict, Verdict::NotValid);
    r = Judge(Locations({{0, 0, 0}}, {3, 5, 50}, 140), Gmp('B', Occupancy::Operational));
    EXPECT_TRUE(r.Warns("6.83 L (20 particles at the limit of 2930 per m³ at 5.0 µm)"));
    EXPECT_EQ(Judge(Locations({{0, 0, 0}}, {3, 5, 50}, 150), Gmp('B', Occupancy::Operational))->verdict, Verdict::Pass);

    // The number of locations, when the room's area is known; a note when not.
    Settings room = Iso(80);
    room.areaM2 = 25;
    r = Judge(Locations(std::vector<std::array<double, 3>>(6, {0, 100, 1})), room);
    EXPECT_TRUE(
        r.Warns("number of locations (ISO 14644-1:2015 A.4.1, Table A.1): 6 locations for a room of 25 m²: ISO "
                "14644-1:2015 asks for at least 7"));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    EXPECT_EQ(r->requiredLocations, 7);
    r = Judge(Locations(std::vector<std::array<double, 3>>(7, {0, 100, 1})), room);
    EXPECT_EQ(r->verdict, Verdict::Pass);
    EXPECT_FALSE(r.Warns("not verified"));
    room.standard = Standard::Iso1999;
    EXPECT_EQ(Judge(Locations(std::vector<std::array<double, 3>>(5, {0, 100, 1})), room)->verdict, Verdict::Pass);
    EXPECT_TRUE(Judge(Locations(std::vector<std::array<double, 3>>(4, {0, 100, 1})), room)
                    .Warns("number of locations (ISO 14644-1:1999 B.4.1): 4 locations for a room of 25 m²"));
    r = Judge(Locations({{0, 100, 1}}), Iso(80));
    EXPECT_EQ(r->verdict, Verdict::Pass);
    EXPECT_TRUE(r.Warns("number of locations not verified (area not given)"));

    // Over-range samples, a considered size the run does not measure, the
    // 1999 edition's three samples at a single location, the calibration.
    RunSamples over = Locations({{0, 100, 1}, {0, 100, 1}});
    over.samples[1].overRange = true;
    r = Judge(over, Iso(80));
    EXPECT_TRUE(
        r.Warns("over-range samples (ISO 14644-1:2015 A.2.1): over range (past the counter's concentration limit), "
                "not valid data: record 0027"));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    Settings with10 = Iso(80);
    with10.sizes = {5, 10};
    r = Judge(Locations({{0, 100, 1}}), with10);
    EXPECT_TRUE(r.Warns("considered size measured (ISO 14644-1:2015 4.2): 1.0 µm is not measured by this run"));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    r = Judge(Locations({{0, 100, 1}}), Iso(80, Standard::Iso1999));
    EXPECT_TRUE(
        r.Warns("samples at a single location (ISO 14644-1:1999 B.4.2): a single location needs at least 3 samples, "
                "it has 1"));
    EXPECT_EQ(r->verdict, Verdict::NotValid);
    RunSamples three = Locations({});
    three.AddPoint({Sample{26, 600, {0, 100, 1}}, Sample{27, 600, {0, 100, 1}}, Sample{28, 600, {0, 100, 1}}});
    EXPECT_EQ(Judge(three, Iso(80, Standard::Iso1999))->verdict, Verdict::Pass);
    Settings calibrated = Iso(80);
    calibrated.calibrationDue = 20150302;
    three.samples[0].day = three.samples[1].day = 20150302;
    three.samples[2].day = 20150303;
    EXPECT_EQ(Judge(three, calibrated)->verdict, Verdict::NotValid);
    EXPECT_TRUE(Judge(three, calibrated)
                    .Warns("instrument calibration (ISO 14644-1:2015 A.2.2): taken after the instrument's calibration "
                           "was due on 2015-03-02: record 0028"));
    three.samples[2].day = 20150302;
    EXPECT_EQ(Judge(three, calibrated)->verdict, Verdict::Pass);
}

TEST(Warnings, ChecksWarnWithoutChangingTheVerdict) {
    Judged r = Judge(Locations({{100, 100, 0}}, {20, 25, 50}), Iso(80));
    EXPECT_TRUE(r.Warns("the considered sizes 2.0 µm and 2.5 µm are closer than a factor of 1.5"));
    EXPECT_TRUE(r.Warns("the 5.0 µm counts are zero at every location"));
    EXPECT_EQ(r->verdict, Verdict::Pass);
    EXPECT_FALSE(Judge(Locations({{100, 100, 1}}), Iso(80)).Warns("factor"));
    EXPECT_FALSE(Judge(Locations({{100, 100, 1}}), Iso(80)).Warns("zero"));
    r = Judge(Locations({{0, 100, 1}}, {3, 5, 50}), Iso(80));
    EXPECT_TRUE(r.Warns("0.3 µm does not apply at ISO 8"));
    EXPECT_EQ(r->verdict, Verdict::Pass);
}

TEST(Runs, OnlyCompleteRunsAreClassified) {
    // Manual, a complete run of 2 points x 3 cycles, an interrupted run, Auto.
    std::vector<RawRecord> records{PlainRecord(1)};
    for (const RawRecord& r : RunRecords({{{10, 5, 1}, {10, 5, 1}, {10, 5, 1}}, {{20, 5, 1}, {20, 5, 1}, {20, 5, 1}}}))
        records.push_back(r);
    records.push_back(IsoRecord(1, 2, 1));
    records.push_back(PlainRecord(0));
    const Classification all = Classify(DownloadedStore(records), Settings{});
    ASSERT_EQ(all.runs.size(), 1u);
    const RunResult& r = all.runs[0];
    EXPECT_EQ(r.firstRecord, 2);
    EXPECT_EQ(r.lastRecord, 7);
    EXPECT_EQ(r.location, "001");
    EXPECT_EQ(r.start, "2015-03-07 08:30:15");
    ASSERT_EQ(all.Locations(r).size(), 2u);
    EXPECT_EQ(all.Locations(r)[1].cycles, 3);
    EXPECT_EQ(r.firstRow, 1);
    EXPECT_EQ(r.lastRow, 9);

    // A run that lost its beginning to the wrap is not classified; the
    // complete run after it is.
    std::vector<RawRecord> chrono;
    for (std::uint16_t k = 1; k <= 3; ++k) chrono.push_back(IsoRecord(2, 3, k, 10, 5, 1, k == 3));
    const std::vector<RawRecord> complete = RunRecords({{{10, 5, 1}}, {{10, 5, 1}}});
    chrono.insert(chrono.end(), complete.begin(), complete.end());
    while (chrono.size() < static_cast<std::size_t>(kMaxRecords)) chrono.push_back(PlainRecord(0));
    RecordStore store;
    Download(store, WrapInto(chrono, 5), 5);
    EXPECT_EQ(store.Row(0).m_strKind, kind::kIsoPlain);
    const Classification c = Classify(store, Iso(90, Standard::Iso2015, Occupancy::Operational));
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].firstRecord, 9);  // the wrap's slot 5 is record 6; the cut run takes 6 to 8
    EXPECT_EQ(c.ExitStatus(), 0);
    chrono.erase(chrono.begin() + 3, chrono.begin() + 5);
    chrono.resize(static_cast<std::size_t>(kMaxRecords), PlainRecord(1));
    Download(store, WrapInto(chrono, 5), 5);
    const Classification none = Classify(store, Iso(90, Standard::Iso2015, Occupancy::Operational));
    EXPECT_EQ(none.error, "no complete ISO run to classify");
    EXPECT_EQ(none.ExitStatus(), 1);

    // A run without its first cycle, and a sample of 0 s, cannot be classified.
    Classification bad = Classify(DownloadedStore({IsoRecord(1, 3, 2), IsoRecord(1, 3, 3, 10, 5, 1, true)}),
                                  Iso(90, Standard::Iso2015, Occupancy::Operational));
    ASSERT_EQ(bad.runs.size(), 1u);
    EXPECT_EQ(bad.runs[0].verdict, Verdict::NotClassified);
    EXPECT_EQ(bad.ExitStatus(), 3);
    records = RunRecords({{{10, 5, 1}, {10, 5, 1}}});
    records[1].sampleMinutes = 0;
    bad = Classify(DownloadedStore(records), Iso(90, Standard::Iso2015, Occupancy::Operational));
    EXPECT_EQ(bad.runs[0].verdict, Verdict::NotClassified);
    EXPECT_TRUE(HasWarning(bad, "sample time of 0 s, no concentration can be computed: record 0002"));
    EXPECT_EQ(bad.verdict, Verdict::NotClassified);
    records = RunRecords({{{10, 5, 1}}, {{10, 5, 1}}});
    records[1].sizeCode = 11;
    bad = Classify(DownloadedStore(records), Iso(90, Standard::Iso2015, Occupancy::Operational));
    EXPECT_EQ(bad.runs[0].verdict, Verdict::NotClassified);
    EXPECT_TRUE(HasWarning(bad, "record 0002 has size code 11, the run's first record 0"));
}

TEST(Output, JsonShapeAndCsvLines) {
    RunSamples run = Locations({{100, 50.5, 0}, {200, 150, 1}}, {3, 5, 50}, 600);
    run.samples.push_back(Sample{28, 300, {200, 150, 1}, false});
    Settings s = Iso(50);
    s.sizes = {3, 5, 50};
    s.areaM2 = 10;
    Classification c = ClassifyRuns({run}, s);
    EXPECT_EQ(
        ClassificationJson(c),
        "{\"standard\": \"ISO 14644-1:2015\", \"target\": {\"class\": 5.0, \"state\": \"at-rest\"}, "
        "\"counts\": \"cumulative\", \"area_m2\": 10,\n"
        " \"runs\": [\n"
        "  {\"run\": 1, \"first_record\": 26, \"last_record\": 28, \"location\": \"003\", "
        "\"start\": \"2015-03-02 09:08:51\", \"sizes_um\": [0.3, 0.5, 5.0], "
        "\"points\": [{\"point\": 1, \"cycles\": 1, \"sample_litres\": [28.32], \"mean_per_m3\": [100, 50.5, 0]}, "
        "{\"point\": 2, \"cycles\": 2, \"sample_litres\": [28.32, 14.16], \"mean_per_m3\": [200, 150, 1]}], "
        "\"ucl_per_m3\": null, \"limits_per_m3\": [10200, 3520, null], "
        "\"size_verdicts\": [\"pass\", \"pass\", \"not-applicable\"], \"verdict\": \"not-valid\", "
        "\"achieved_class\": 4.7, \"limiting_size_um\": null, \"limited_by\": \"the sample volume\", "
        "\"minimum_sample_litres\": 5.68, \"required_locations\": 5, "
        "\"requirements\": [{\"rule\": \"number of locations\", \"clause\": \"ISO 14644-1:2015 A.4.1, Table A.1\", "
        "\"detail\": \"2 locations for a room of 10 m²: ISO 14644-1:2015 asks for at least 5\"}], "
        "\"warnings\": [\"5.0 µm does not apply at ISO 5\", \"5.0 µm does not apply at ISO 4.7\"]}],\n"
        " \"verdict\": \"not-valid\"}\n");

    s = Gmp('B', Occupancy::Operational);
    s.counts = CountMode::Differential;
    run.location = "a\"b\\c";
    c = ClassifyRuns({run}, s);
    const std::string json = ClassificationJson(c);
    EXPECT_NE(json.find("\"target\": {\"grade\": \"B\", \"state\": \"operational\"}, \"counts\": \"differential\""),
              std::string::npos);
    EXPECT_NE(json.find("\"location\": \"a\\\"b\\\\c\""), std::string::npos);
    EXPECT_NE(json.find("\"limits_per_m3\": [null, 352000, 2930], \"size_verdicts\": [\"not-judged\", \"pass\", "
                        "\"pass\"]"),
              std::string::npos);
    EXPECT_NE(ClassificationJson(ClassifyRuns({run}, Settings{})).find("\"target\": null"), std::string::npos);

    const std::string csv = ClassificationCsv(c);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * 3);  // header, 2 locations x 3 sizes
    EXPECT_NE(csv.find("\r\nEU GMP Annex 1 (2022),grade B operational,differential,1,26,28,a\"b\\c,2015-03-02 "
                       "09:08:51,2,2,0.5,151,,352000,pass,pass,4.7,,the sample volume,\r\n"),
              std::string::npos);
}

namespace {

// A certificate printed on a 600-dpi printer: the texts and lines of each
// page (pages[1] is page 1), each checked to lie on the paper within the
// margins, a text either above the footer's rule or in the footer.
struct Printed {
    explicit Printed(const Certificate& c, CertificatePaper paper = CertificatePaper::A4) {
        using Op = RecordingSurface::Op;
        RecordingSurface dc(600, 600, true);
        EXPECT_TRUE(c.Print(dc));
        EXPECT_EQ(dc.LiveObjects(), 0);
        EXPECT_EQ(dc.Count(Op::StartPage), c.PageCount());
        const PaperSize size = CertificatePaperSize(paper);
        const int dots = DotsPerMM(600);
        const int rule = (size.heightMM - 18) * dots;
        pages.emplace_back();
        for (const RecordingSurface::Entry& e : dc.entries) {
            if (e.op == Op::StartPage) pages.emplace_back();
            if (e.op != Op::Text && e.op != Op::Line) continue;
            pages.back().push_back(e);
            const auto [l, r] = std::minmax(e.rect.left, e.rect.right);
            const auto [t, b] = std::minmax(e.rect.top, e.rect.bottom);
            EXPECT_TRUE(l >= 20 * dots && r <= (size.widthMM - 20) * dots && t >= 18 * dots &&
                        b <= (size.heightMM - 8) * dots)
                << "off the page's content: " << e.text << " on page " << pages.size() - 1;
            EXPECT_TRUE(e.op != Op::Text || b <= rule || t >= rule) << e.text;
        }
        const std::string last = " of " + std::to_string(c.PageCount());
        for (std::size_t p = 1; p < pages.size(); ++p) EXPECT_TRUE(Has(p, "Page " + std::to_string(p) + last));
    }
    // The first entry of page p whose text starts with `text` (nullptr: none).
    const RecordingSurface::Entry* Find(std::size_t p, std::string_view text) const {
        for (const auto& e : pages.at(p))
            if (e.op == RecordingSurface::Op::Text && e.text.starts_with(text)) return &e;
        return nullptr;
    }
    bool Has(std::size_t p, std::string_view text) const { return Find(p, text) != nullptr; }
    // The first page from `from` on holding a text that starts with `text`;
    // 0: none.
    std::size_t PageOf(std::string_view text, std::size_t from = 1) const {
        for (std::size_t p = from; p < pages.size(); ++p)
            if (Has(p, text)) return p;
        return 0;
    }
    // The first text of page p.
    std::string Top(std::size_t p) const {
        for (const auto& e : pages.at(p))
            if (e.op == RecordingSurface::Op::Text) return e.text;
        return {};
    }
    std::vector<std::vector<RecordingSurface::Entry>> pages;
};

}  // namespace

// A certificate of three sections on a recording surface: the page-1
// summary, each section on a page of its own with its designation, method
// and locations, only the considered sizes as columns, a failing value in
// bold and marked, the deviations with their clauses, no state that was not
// declared, the lines to sign, and the appendix of every sample.
TEST(Certificate, SummarySectionsResultsAndAppendix) {
    RunSamples run = Locations({{200000, 100000, 1000}, {300000, 400000, 2000}}, {3, 5, 50}, 600);
    run.end = "2015-03-02 09:20:51";
    Settings iso7 = Iso(70, Standard::Iso2015, Occupancy::Operational);
    iso7.sizes = {5, 50};
    iso7.areaM2 = 12.5;
    RoomClassification rooms;
    const auto section = [&](const char* id, const char* name, int number, const Settings& settings) {
        RoomSection& s = rooms.sections.emplace_back();
        s.roomId = id;
        s.roomName = name;
        s.locationNumber = 3;
        run.number = number;
        s.result = ClassifyRuns({run}, settings);
        s.places.resize(2);
        rooms.verdict = CombinedVerdict(rooms.verdict, s.result.verdict);
        return &s;
    };
    section("R1", "Filling room 2", 1, iso7)->places = {{"Door", 1.5, 2.0, true}, {"Bench", 4.0, 0.5, true}};
    section("R2", "Corridor", 2, Gmp('B', Occupancy::Operational));
    section("", "location 003", 3, Settings{});  // no target: no state declared
    CertificateData data;
    data.reportNumber = "CR-7";
    data.dataSha256 = std::string(64, 'a');
    const Certificate c(rooms, data, CertificatePaper::A4);
    const Printed out(c);

    // Page 1: the summary of every run and the overall verdict.
    for (const char* text : {"Cleanroom Classification Certificate", "Report number: CR-7", "R1 Filling room 2",
                             "R2 Corridor", "no room", "0026 to 0027", "ISO 7.1", "Overall verdict: fail"})
        EXPECT_TRUE(out.Has(1, text)) << text;
    EXPECT_EQ(out.Find(1, "fail")->fontWeight, 700);
    // Each section on a page of its own, the appendix after the lines to sign.
    const std::size_t r1 = out.PageOf("Room R1 (Filling room 2), in operation");
    const std::size_t r2 = out.PageOf("Room R2 (Corridor), in operation");
    const std::size_t free = out.PageOf("Location 003 (no room)");
    const std::size_t appendix = out.PageOf("Appendix: every sample");
    const std::size_t signatures = out.PageOf("Performed by:");
    EXPECT_TRUE(1 < r1 && r1 < r2 && r2 < free && free <= signatures && signatures < appendix) << r1 << r2 << free;
    EXPECT_EQ(out.Top(r1), "Room R1 (Filling room 2), in operation");
    EXPECT_EQ(out.Top(r2), "Room R2 (Corridor), in operation");
    EXPECT_EQ(out.Top(free), "Location 003 (no room)");
    EXPECT_EQ(out.Top(appendix), "Appendix: every sample");
    // What each section's pages (and the appendix) say.
    const std::map<std::size_t, std::size_t> next{{r1, r2}, {r2, free}, {free, appendix}, {appendix, out.pages.size()}};
    const auto in = [&](std::size_t from, std::string_view text) {
        const std::size_t p = out.PageOf(text, from);
        return p != 0 && p < next.at(from);
    };
    for (const auto& [page, text] : std::vector<std::pair<std::size_t, std::string>>{
             {r1, "Designation: ISO Class 7; in operation; considered sizes 0.5 \xB5m, 5 \xB5m"},
             {r1, "Standard: ISO 14644-1:2015"},
             {r1, "Flow rate: 2.83 L/min"},
             {r1, "Sample time: 600 s per sample"},
             {r1, "Sample volume: 28.32 L per sample"},
             {r1, "Minimum sample volume Vs: 6.83 L per sample (ISO 14644-1:2015 A.4.4)"},
             {r1, "Room area: 12.5 m\xB2"},
             {r1, "Required number of locations: 6 (ISO 14644-1:2015 A.4.1, Table A.1)"},
             {r1, "x 1.50 m, y 2.00 m"},
             {r1, "Plan to scale"},
             {r1, "Point 2 (Bench)"},
             {r1, "Deviation: number of locations (ISO 14644-1:2015 A.4.1, Table A.1): 2 locations"},
             {r1, "* above its limit"},
             {r2, "Designation: Grade B; in operation; considered sizes 0.5 \xB5m, 5 \xB5m"},
             {r2, "ISO equivalent of the grade: ISO Class 7"},
             {r2, "Sampling locations: not in the site register"},
             {free, "Designation: no target class; considered sizes 0.3 \xB5m, 0.5 \xB5m, 5 \xB5m"},
             {free, "Room area: not given"},
             {free, "Required number of locations: not verified (area not given)"},
             {free, "Minimum sample volume Vs: not computed (no target class)"},
             {free, ">= 0.3 \xB5m /m\xB3"},
             {appendix, "Samples of run 1, location 003: Room R1 (Filling room 2), in operation"},
             {appendix, "0.5 \xB5m /m\xB3"},
             {appendix, "28.32"},
             {appendix, "400000"}})
        EXPECT_TRUE(in(page, text)) << text;
    // Only the considered sizes are columns.
    EXPECT_EQ(out.PageOf(">= 0.3 \xB5m /m\xB3"), free);
    EXPECT_TRUE(in(r1, ">= 5 \xB5m /m\xB3"));
    // The mean above its limit and the failing size, bold and marked; a
    // mean within its limit is neither.
    const std::size_t table = out.PageOf("Run 1, location 003");
    for (const char* failing : {"400000.0 *", "fail *"}) {
        ASSERT_TRUE(out.Has(table, failing)) << failing;
        EXPECT_EQ(out.Find(table, failing)->fontWeight, 700) << failing;
    }
    EXPECT_EQ(out.Find(table, "100000.0")->text, "100000.0");
    EXPECT_EQ(out.Find(table, "100000.0")->fontWeight, 400);
    // The state only where it was declared.
    int states = 0;
    for (std::size_t p = 1; p < out.pages.size(); ++p) states += out.Has(p, "Occupancy state: in operation");
    EXPECT_EQ(states, 2);
    for (std::size_t p = free; p < appendix; ++p)
        for (const auto& e : out.pages[p])
            EXPECT_TRUE(e.text.find("operation") == std::string::npos && e.text.find("at rest") == std::string::npos)
                << e.text;
    // The plan: a box with a cross for each place, named beside it, y upwards.
    std::vector<RecordingSurface::Entry> marks;
    int planLines = 0;
    for (const auto& e : out.pages[r1]) {
        if (e.text == "Door" || e.text == "Bench") marks.push_back(e);
        planLines += e.op == RecordingSurface::Op::Line && e.penWidth > 1;
    }
    EXPECT_EQ(planLines, 4 + 2 * 2);
    ASSERT_EQ(marks.size(), 4u);  // in the table, then on the plan
    EXPECT_TRUE(marks[2].rect.left < marks[3].rect.left && marks[2].rect.top < marks[3].rect.top);
    // The data's SHA-256 in every page's footer.
    for (std::size_t p = 1; p < out.pages.size(); ++p) EXPECT_TRUE(out.Has(p, "Data SHA-256: " + data.dataSha256));
}

// Long certificates on A4 and Letter: runs continued on the next page under
// their heading and table header, a run's verdict with its last rows, every
// page within the paper; the certificate of one classification without a
// room; a page the device refuses ends the document.
TEST(Certificate, PagesOfLongRunsOnA4AndLetter) {
    // Twelve runs of six locations at the 1999 edition (with its UCL row),
    // then ten of 44 to 53 locations, each longer than a page, so that
    // their ends fall at different places of a page.
    std::vector<RunSamples> runs;
    for (int r = 0; r < 12; ++r)
        runs.push_back(
            Locations({{1000, 500, 5}, {900, 400, 4}, {800, 300, 3}, {700, 200, 2}, {600, 100, 1}, {500, 50, 0}}));
    for (std::size_t n = 44; n < 54; ++n)
        runs.push_back(Locations(std::vector<std::array<double, 3>>(n, {1000, 500, 5})));
    const Classification many = ClassifyRuns(runs, Iso(70, Standard::Iso1999));
    for (const CertificatePaper paper : {CertificatePaper::A4, CertificatePaper::Letter}) {
        const Certificate c(many, 1, paper);
        const Printed out(c, paper);
        ASSERT_GE(c.PageCount(), 20);
        EXPECT_EQ(out.Top(2), "Location 003 (no room)");
        int headings = 0, ucls = 0, continued = 0;
        std::size_t rowsAt = 0;
        for (std::size_t p = 1; p < out.pages.size(); ++p) {
            bool tableOpen = false;
            std::string last;
            for (const auto& e : out.pages[p]) {
                if (e.op != RecordingSurface::Op::Text || e.text.starts_with("Page ") || e.text.starts_with("Model:") ||
                    e.text.starts_with("Data SHA"))
                    continue;
                if (e.text == "Location") tableOpen = true;
                if (e.text.starts_with("Run ") && e.text.find(", location") != std::string::npos) ++headings;
                if (e.text.starts_with("Point ")) {
                    EXPECT_TRUE(tableOpen) << "a row without its header on page " << p;
                    rowsAt = p;
                }
                EXPECT_TRUE(!e.text.starts_with("Run verdict:") || rowsAt == p) << "a verdict away from its table";
                if (e.text.starts_with("Run ") && e.text.ends_with(" (continued)")) {
                    ++continued;
                    EXPECT_EQ(out.Top(p), e.text);
                }
                ucls += e.text == "UCL 95 %";
                last = e.text;
            }
            EXPECT_FALSE(last.starts_with("Run ") && last.find(", location") != std::string::npos)
                << "a run's heading ends page " << p;
        }
        EXPECT_EQ(headings, 22);
        EXPECT_EQ(ucls, 12);
        EXPECT_GE(continued, 10);
    }

    RecordingSurface failing(600, 600, true);
    failing.failStartPageAt = 2;
    EXPECT_FALSE(Certificate(many, 1, CertificatePaper::A4).Print(failing));
    EXPECT_EQ(failing.Count(RecordingSurface::Op::AbortDoc), 1);
}
