#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "archive/ArchiveText.h"
#include "archive/Trend.h"
#include "classify/ClassifyText.h"
#include "device/MemoryImage.h"
#include "records/CFormat.h"
#include "support/InstrumentBuilders.h"
#include "support/RecordBuilders.h"
#include "support/TestEnvironment.h"

using namespace oront;
using namespace oront::archive;

// The trend of a location holds each of its records that measures the size,
// at its own date and time with its concentration, in time order; its means
// include every location mean the classification finds for that location,
// and a limit follows the class or grade.
TEST(Archive, TrendFollowsTheRecords) {
    const std::string path = (test::FreshTestFolder("archive-trend") / "archive.sqlite").string();
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    const MemoryImage image = MakeFullDemoImage();
    ASSERT_TRUE(a.AddDownload(image, 1000, nullptr, error)) << error;
    RecordStore store;
    ASSERT_TRUE(test::ReadRecordsFromImage(image, store));
    const classify::Classification classes = classify::Classify(store, {});
    ASSERT_FALSE(classes.runs.empty());
    const classify::RunResult& run = classes.runs.front();
    const int location = CAtoi(run.location.view());

    for (const int size : {0, 50}) {
        TrendQuery query;
        query.location = location;
        query.sizeTenths = size;
        query.target.classTenths = 70;
        Trend trend;
        ASSERT_TRUE(BuildTrend(a, query, trend, error)) << error;
        EXPECT_EQ(trend.error, "");
        const int tenths = trend.sizeTenths;
        std::vector<TrendPoint> expected;
        RecordFilter filter;
        filter.location = location;
        std::vector<Record> records;
        ASSERT_TRUE(a.ForEachRecord(
            filter, [&](const Record& r) { return records.push_back(r), true; }, error));
        for (const Record& r : records) {
            const RecordFields f = DecodeRecord(r);

            for (std::size_t c = 0; c < 3; ++c) {
                if (f.sizes[c] == classify::SizeText(tenths).substr(0, 3) + "um") {
                    const std::int64_t key = FrameTimeKey(r.frame);
                    expected.push_back({TimeKeySeconds(key), f.perM3[c]});
                }
            }
        }
        ASSERT_EQ(trend.points.size(), expected.size()) << "size " << tenths;
        ASSERT_FALSE(expected.empty());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(trend.points[i].seconds, expected[i].seconds);
            EXPECT_DOUBLE_EQ(trend.points[i].perM3, expected[i].perM3);
        }
        // Location means of every run measured at this location.
        std::size_t found = 0, wanted = 0;
        for (const classify::RunResult& r : classes.runs) {
            if (CAtoi(r.location.view()) != location) continue;
            for (std::size_t c = 0; c < 3; ++c) {
                if (r.sizes[c].sizeTenths != tenths) continue;
                for (const classify::Location& loc : classes.Locations(r)) {
                    ++wanted;
                    found += std::any_of(trend.means.begin(), trend.means.end(), [&](const TrendMean& m) {
                        return m.cycles == loc.cycles && std::abs(m.perM3 - loc.meanPerM3[c]) < 1e-6;
                    });
                }
            }
        }
        EXPECT_GT(wanted, 0u) << "size " << tenths;
        EXPECT_EQ(found, wanted) << "size " << tenths;
        EXPECT_EQ(trend.limit, classify::IsApplicable(classify::Standard::Iso2015, 70, tenths)
                                   ? std::optional<long long>(classify::ClassLimit(70, tenths))
                                   : std::nullopt);
    }
    // 2015-03-02 08:30:15 counts from the epoch as UTC; a grade's limit.
    EXPECT_EQ(TimeKeySeconds(TimeKey(15, 3, 2, 8, 30, 15)), 1425285015);
    TrendQuery grade;
    grade.location = location;
    grade.sizeTenths = 50;
    grade.target.grade = 'B';
    grade.target.state = classify::Occupancy::Operational;
    Trend trend;
    ASSERT_TRUE(BuildTrend(a, grade, trend, error)) << error;
    EXPECT_EQ(trend.limit, std::optional<long long>(2930));
    grade.location = 256;
    ASSERT_TRUE(BuildTrend(a, grade, trend, error)) << error;
    EXPECT_TRUE(trend.points.empty());
    EXPECT_NE(trend.error, "");
}

// With a register, each point is judged against the limits of the place its
// record was taken at on its own day, and the trend takes the names and the
// limits of its latest point's place. Location 3 stands at the bench of the
// LAB (0.5 µm: alert 300, action 600 per m³) until 2015-03-01, then beside
// the needle of Filling room 2, whose own limits there (1000, 2000) replace
// the room's. One count over a minute is 353.1 per m³.
TEST(Archive, TrendJudgesEachPointAtItsPlace) {
    site::Register reg;
    site::Room lab;
    lab.id = "LAB";
    lab.areaM2 = 12;
    lab.classTenths = 70;
    lab.locations = {{3, "bench", 0, 0, false, {}, 20150301}};
    lab.limits = {{5, 300, 600, {}}};
    site::Room fr2;
    fr2.id = "FR2";
    fr2.name = "Filling room 2";
    fr2.areaM2 = 24;
    fr2.grade = 'B';
    fr2.standard = classify::Standard::Gmp2022;
    fr2.locations = {{3, "beside the filling needle", 1, 1, true, 20150302, {}}};
    fr2.limits = {{5, 500, 1500, {}}, {5, 1000, 2000, 3}};
    reg.rooms = {lab, fr2};
    EXPECT_EQ(RegisterLocationName(reg, 3), "beside the filling needle");

    const std::string path = (test::FreshTestFolder("archive-trend-register") / "archive.sqlite").string();
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    std::vector<RawRecord> records;
    const std::pair<int, std::uint32_t> taken[] = {{1, 1}, {1, 2}, {2, 2}, {2, 3}, {2, 6}};  // day, count
    for (const auto& [day, count] : taken) {
        RawRecord r = test::PlainRecord(0, 0, count, 0);
        r.location = 3;
        r.day = static_cast<std::uint8_t>(day);
        r.hour = static_cast<std::uint8_t>(8 + records.size());
        records.push_back(r);
    }
    ASSERT_TRUE(a.AddDownload(MakeMemoryImage(static_cast<std::uint16_t>(records.size()), records), 1, nullptr, error))
        << error;
    ASSERT_TRUE(a.StoreRegister(reg, error)) << error;

    TrendQuery query;
    query.location = 3;
    query.sizeTenths = 5;
    Trend trend;
    ASSERT_TRUE(BuildTrend(a, query, trend, error)) << error;
    std::vector<site::Level> levels;
    for (const TrendPoint& p : trend.points) levels.push_back(p.level);
    using site::Level;
    EXPECT_EQ(levels, (std::vector<Level>{Level::Alert, Level::Action, Level::None, Level::Alert, Level::Action}));
    EXPECT_EQ(trend.placeName, "Filling room 2 – beside the filling needle");
    EXPECT_EQ(trend.alertPerM3, std::optional<double>(1000));
    EXPECT_EQ(trend.actionPerM3, std::optional<double>(2000));

    // A span that ends before the move: the LAB's names and limits; at a
    // size without limits, the names only.
    query.to = TimeKey(15, 3, 1, 23, 59, 59);
    ASSERT_TRUE(BuildTrend(a, query, trend, error)) << error;
    EXPECT_EQ(trend.placeName, "LAB – bench");
    EXPECT_EQ(trend.actionPerM3, std::optional<double>(600));
    query.sizeTenths = 3;
    ASSERT_TRUE(BuildTrend(a, query, trend, error)) << error;
    EXPECT_EQ(trend.roomName, "LAB");
    EXPECT_FALSE(trend.alertPerM3 || trend.actionPerM3);
}
