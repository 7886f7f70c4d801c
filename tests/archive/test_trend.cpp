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
