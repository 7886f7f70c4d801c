#include <gtest/gtest.h>

#include "records/CFormat.h"
#include "records/TableBuild.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"

using namespace oront;
using namespace oront::test;
using R = MeasurementRecord;
using Row = ResultRow;
using L = ReportColumn;

namespace {

using Kinds_t = std::vector<std::string>;

}  // namespace

TEST(TableBuild, EmptyAndPlainDownloads) {
    RecordStore s;
    Download(s, {});
    EXPECT_EQ(s.m_nLastRow, -1);
    EXPECT_EQ(s.m_nReportLineCount, 0);

    Download(s, {PlainRecord(1), PlainRecord(1), PlainRecord(0)});
    ASSERT_EQ(s.m_nLastRow, 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.Row(i).m_strSeqNo, FormatZeroPad(i + 1, 4));
        EXPECT_EQ(s.Row(i).m_strRecordNo, FormatZeroPad(i + 1, 4));
        EXPECT_EQ(s.Row(i).m_strMemberCount, "1");
    }
    EXPECT_EQ(Kinds(s), (Kinds_t{"1", "1", "0"}));
    EXPECT_EQ(s.m_nReportLineCount, 3);
    EXPECT_EQ(s.m_nLastRecordNumber, 3);
    EXPECT_EQ(LineText(s, 0),
              "0001,Manual,001,1,1,2015-03-07 08:30:15,00:01:00,00:00:00,0.3um,10,0.5um,5,5.0um,1,CNT,");
    EXPECT_EQ(LineText(s, 2), "0003,Auto,001,1,1,2015-03-07 08:30:15,00:01:00,00:00:00,0.3um,10,0.5um,5,5.0um,1,CNT,");
}

TEST(TableBuild, WrappedMemoryIsRotatedAndNumberedFromTheWrap) {
    std::vector<RawRecord> chrono;
    for (std::uint32_t i = 0; i < kMaxRecords; ++i) chrono.push_back(PlainRecord(0, i));
    RecordStore s;
    Download(s, WrapInto(chrono, 5), 5);
    ASSERT_EQ(s.m_nLastRow, kMaxRecords - 1);
    EXPECT_EQ(s.RecordOf(0).m_strCount[0], "0");  // oldest first
    EXPECT_EQ(s.Row(0).m_strRecordNo, "0006");
    EXPECT_EQ(s.Row(7994).m_strRecordNo, "8000");
    EXPECT_EQ(s.Row(7995).m_strRecordNo, "0001");
    EXPECT_EQ(s.Row(7999).m_strRecordNo, "0005");
    EXPECT_EQ(s.Row(7999).m_strSeqNo, "8000");
    EXPECT_EQ(s.m_nLastRecordNumber, 5);
}

TEST(TableBuild, RunOfTwoPointsThreeCyclesGetsGroupsAndSummary) {
    std::vector<RawRecord> recs{PlainRecord(0)};
    AppendRun(recs, 2, 3);
    recs.push_back(PlainRecord(1));
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(Kinds(s), (Kinds_t{"0", "5", "2", "2", "2", "5", "2", "2", "2", "3", "1"}));
    EXPECT_EQ(s.m_nReportLineCount, 1 + 12 + 1);
    EXPECT_EQ(TableDisagreement(s), "");  // one report line a row, four a summary row

    const ResultRow& g1 = s.Row(1);
    EXPECT_EQ(g1.m_strSeqNo, "0002");
    EXPECT_EQ(g1.m_strMemberCount, "3");
    EXPECT_EQ(g1.m_strRecordNo, "0001");            // the number before the point's first cycle
    EXPECT_EQ(s.FiguresOf(g1).m_strAvg[0], "112");  // 111, 112, 113
    EXPECT_EQ(s.Row(2).m_strRecordNo, "0002");
    EXPECT_EQ(s.Row(2).m_strSeqNo, "");
    EXPECT_EQ(s.Row(5).m_strSeqNo, "0003");
    EXPECT_EQ(s.FiguresOf(5).m_strAvg[0], "122");
    EXPECT_EQ(s.Row(10).m_strSeqNo, "0004");
    EXPECT_EQ(s.Row(10).m_strRecordNo, "0008");

    const RunFigures& sum = s.FiguresOf(9);
    EXPECT_EQ(s.Row(9).m_strRecordNo, "");
    EXPECT_EQ(sum.m_strAvg[0], "117");
    EXPECT_EQ(sum.m_strMax[0], "123");
    EXPECT_EQ(sum.m_strMin[0], "111");
    EXPECT_EQ(sum.m_strStdErr[0], "5");
    EXPECT_EQ(sum.m_strUcl[0], "149");  // 6.3 * 5 + 117

    EXPECT_EQ(LineText(s, 1),
              "0002,ISO,001,1,AVG,2015-03-07 08:30:15,00:01:00,00:00:00,0.3um,112,0.5um,5,5.0um,1,CNT,");
    EXPECT_EQ(LineText(s, 2), "0002,,,,1,2015-03-07 08:30:15,00:01:00,00:00:00,0.3um,111,0.5um,5,5.0um,1,CNT,");
    EXPECT_EQ(LineText(s, 9), ",,,,AVG,,,,,117,,5,,1,CNT,");
    EXPECT_EQ(LineText(s, 10), ",,,,MAX,,,,,123,,5,,1,CNT,");
    EXPECT_EQ(LineText(s, 11), ",,,,MIN,,,,,111,,5,,1,CNT,");
    EXPECT_EQ(LineText(s, 12), ",,,,95%UCL,,,,,149,,5,,1,CNT,");
    EXPECT_EQ(LineText(s, 13).substr(0, 12), "0008,Manual,");
}

TEST(Statistics, PointAveragesEnterAsTheirRoundedTextAndFactorsAsSingles) {
    // Averages 99.5 and 200.5 show as 100 and 200; M = 150, SE = 50.
    std::vector<RawRecord> recs{IsoRecord(1, 2, 1, 99), IsoRecord(1, 2, 2, 100), IsoRecord(2, 2, 1, 200),
                                IsoRecord(2, 2, 2, 201, 5, 1, true)};
    RecordStore s;
    Download(s, recs);
    const RunFigures& sum = s.FiguresOf(s.m_nLastRow);
    ASSERT_EQ(s.Row(s.m_nLastRow).m_strKind, "3");
    EXPECT_EQ(s.FiguresOf(0).m_strAvg[0], "100");
    EXPECT_EQ(s.FiguresOf(3).m_strAvg[0], "200");
    EXPECT_EQ(sum.m_strAvg[0], "150");
    EXPECT_EQ(sum.m_strStdErr[0], "50");
    EXPECT_EQ(sum.m_strUcl[0], "465");
    EXPECT_EQ(sum.m_strStdErr[1], "0");
    EXPECT_EQ(sum.m_strUcl[1], "5");

    // 6.3f is 6.30000019...: with SE = 5e6 the widened factor adds about 1.
    recs = {IsoRecord(1, 1, 1, 0), IsoRecord(2, 1, 1, 10000000, 5, 1, true)};
    Download(s, recs);
    EXPECT_EQ(s.FiguresOf(s.m_nLastRow).m_strUcl[0], "36500001");
}

TEST(Statistics, OneAndTenPointRunsHaveNoConfidenceLimit) {
    for (int points : {1, 10}) {
        std::vector<RawRecord> recs;
        AppendRun(recs, points, 2);
        RecordStore s;
        Download(s, recs);
        const RunFigures& sum = s.FiguresOf(s.m_nLastRow);
        ASSERT_EQ(s.Row(s.m_nLastRow).m_strKind, "3") << points;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(sum.m_strStdErr[c], "----");
            EXPECT_EQ(sum.m_strUcl[c], "----");
        }
        EXPECT_EQ(sum.m_strMin[0], "111");
        EXPECT_EQ(sum.m_strMax[0], FormatInt(100 + 10 * points + 2));
        EXPECT_EQ(s.m_nReportLineCount, points * 3 + 4);
        EXPECT_EQ(LineText(s, s.m_nReportLineCount - 1), ",,,,95%UCL,,,,,----,,----,,----,CNT,");
    }
}

TEST(Statistics, ConsecutiveRunsDoNotShareExtremes) {
    std::vector<RawRecord> recs;
    AppendRun(recs, 2, 2, 1000);
    AppendRun(recs, 2, 2, 100);
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(Kinds(s), (Kinds_t{"5", "2", "2", "5", "2", "2", "3", "5", "2", "2", "5", "2", "2", "3"}));
    EXPECT_EQ(s.FiguresOf(6).m_strMax[0], "1022");
    EXPECT_EQ(s.FiguresOf(6).m_strMin[0], "1011");
    EXPECT_EQ(s.FiguresOf(13).m_strMax[0], "122");
    EXPECT_EQ(s.FiguresOf(13).m_strMin[0], "111");
    EXPECT_EQ(s.FiguresOf(13).m_strAvg[0], "116");  // (111.5 + 121.5) / 2, rounded to even
}

TEST(TableBuild, RunCutByTheWrapBecomesPlainIsoRecords) {
    // Chronologically: the end of a 2 x 3 run whose first cycle was
    // overwritten, then Auto records.
    std::vector<RawRecord> chrono{IsoRecord(1, 3, 2), IsoRecord(1, 3, 3), IsoRecord(2, 3, 1), IsoRecord(2, 3, 2),
                                  IsoRecord(2, 3, 3, 10, 5, 1, true)};
    while (chrono.size() < static_cast<std::size_t>(kMaxRecords)) chrono.push_back(PlainRecord(0));
    RecordStore s;
    Download(s, WrapInto(chrono, 100), 100);
    ASSERT_EQ(s.m_nLastRow, kMaxRecords - 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.Row(i).m_strKind, "6") << i;
    EXPECT_EQ(s.ReportLineAt(0)[L::Mode], "ISO");
    EXPECT_EQ(s.Row(0).m_strRecordNo, "0101");
    EXPECT_EQ(s.m_nReportLineCount, kMaxRecords);

    // The cut point's own last cycle ends the run.
    chrono[0] = IsoRecord(1, 2, 2, 10, 5, 1, true);
    for (int i = 1; i < 5; ++i) chrono[static_cast<std::size_t>(i)] = PlainRecord(0);
    Download(s, WrapInto(chrono, 100), 100);
    EXPECT_EQ(s.Row(0).m_strKind, "6");
    EXPECT_EQ(s.m_nLastRow, kMaxRecords - 1);

    // A whole run at slot 0 stays a run.
    chrono[0] = IsoRecord(1, 1, 1, 10, 5, 1, true);
    Download(s, WrapInto(chrono, 100), 100);
    EXPECT_EQ(Kinds(s)[0], "5");
    EXPECT_EQ(Kinds(s)[2], "3");
}

TEST(TableBuild, InterruptedRunAtTheEndIsPlain) {
    std::vector<RawRecord> recs{PlainRecord(0), IsoRecord(1, 2, 1), IsoRecord(1, 2, 2), IsoRecord(2, 2, 1)};
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(Kinds(s), (Kinds_t{"0", "6", "6", "6"}));
    EXPECT_EQ(s.ReportLineAt(1)[L::Mode], "ISO");
    EXPECT_EQ(s.ReportLineAt(1)[L::Cycles], "1");
}

TEST(ReportTable, LargeValuesSizeCodesAndOver) {
    RawRecord big = PlainRecord(0, 150000000, 99999999, 100000000);
    big.overRange = 1;
    RawRecord size11 = PlainRecord(1);
    size11.sizeCode = 11;
    RawRecord size5 = PlainRecord(1);
    size5.sizeCode = 5;
    std::vector<RawRecord> recs{big, size11, size5};
    // A run whose first cycle is over range and whose values are large.
    recs.push_back(IsoRecord(1, 2, 1, 150000000));
    recs.back().overRange = 1;
    recs.push_back(IsoRecord(1, 2, 2, 150000000, 5, 1, true));
    recs.back().overRange = 1;
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(s.RecordOf(0).m_strCount[0], "150000000");
    EXPECT_EQ(s.ReportLineAt(0)[L::Ch1Data], "1.500E+08");
    EXPECT_EQ(s.ReportLineAt(0)[L::Ch2Data], "99999999");
    EXPECT_EQ(s.ReportLineAt(0)[L::Ch3Data], "1.000E+08");
    EXPECT_EQ(s.ReportLineAt(0)[L::Status], "OVER");
    EXPECT_EQ(s.ReportLineAt(0)[L::Ch1Size], "0.3um");
    EXPECT_EQ(s.ReportLineAt(0)[L::Ch2Size], "0.5um");
    EXPECT_EQ(s.ReportLineAt(1)[L::Ch1Size], "0.5um");
    EXPECT_EQ(s.ReportLineAt(1)[L::Ch2Size], "2.0um");
    EXPECT_EQ(s.ReportLineAt(2)[L::Ch1Size], "0.3um");
    EXPECT_EQ(s.ReportLineAt(2)[L::Ch2Size], "5");

    ASSERT_EQ(Kinds(s), (Kinds_t{"0", "1", "1", "5", "2", "2", "3"}));
    EXPECT_EQ(s.FiguresOf(3).m_strAvg[0], "150000000");  // group averages stay "%.0f"
    EXPECT_EQ(s.ReportLineAt(3)[L::Ch1Data], "1.500E+08");
    EXPECT_EQ(s.ReportLineAt(3)[L::Status], "");  // never on group rows
    EXPECT_EQ(s.ReportLineAt(4)[L::Status], "OVER");
    EXPECT_EQ(s.ReportLineAt(6)[L::Ch1Data], "1.500E+08");  // summary: the row's own text
    EXPECT_EQ(s.ReportLineAt(6)[L::Status], "");

    // Summary lines copy their values as stored, without the large-value test.
    s.m_figures[static_cast<std::size_t>(s.m_rows[6].m_nFigures)].m_strMax[0] = "150000000";
    BuildReportTable(s);
    EXPECT_EQ(s.ReportLineAt(7)[L::Ch1Data], "150000000");
}

TEST(SoundBehaviour, GroupRowAfterRecord8000ShowsRecord0001) {
    EXPECT_EQ(GroupRecordNumberText("0041"), "0042");
    EXPECT_EQ(GroupRecordNumberText("0000"), "0001");
    EXPECT_EQ(GroupRecordNumberText("8000"), "0001");
    // A run stored in the instrument's slots 0 and 1 of a memory that wrapped
    // at 5: its first cycle is record 0001, after record 8000.
    std::vector<RawRecord> slots(kMaxRecords, PlainRecord(0));
    slots[0] = IsoRecord(1, 2, 1);
    slots[1] = IsoRecord(1, 2, 2, 10, 5, 1, true);
    RecordStore s;
    Download(s, slots, 5);
    const int group = kMaxRecords - 5;
    ASSERT_EQ(s.Row(group).m_strKind, "5");
    EXPECT_EQ(s.Row(group).m_strRecordNo, "8000");
    EXPECT_EQ(s.ReportLineAt(group)[L::Record], "0001");
    EXPECT_EQ(s.ReportLineAt(group + 1)[L::Record], "0001");
    EXPECT_EQ(s.ReportLineAt(group + 2)[L::Record], "0002");
}

TEST(SoundBehaviour, GroupScanStopsAtTheFirstRecordOutsideTheRun) {
    // The Auto record after the run has point 1 and cycle 5, which the point
    // scan alone would take as a further cycle of the last point.
    RawRecord after = PlainRecord(0, 9000);
    after.cycle = 5;
    std::vector<RawRecord> recs{IsoRecord(1, 2, 1, 10), IsoRecord(1, 2, 2, 20, 5, 1, true), after};
    RecordStore s;
    Download(s, recs);
    ASSERT_EQ(Kinds(s), (Kinds_t{"5", "2", "2", "3", "0"}));
    EXPECT_EQ(s.Row(0).m_strMemberCount, "2");
    EXPECT_EQ(s.FiguresOf(0).m_strAvg[0], "15");
    EXPECT_EQ(s.FiguresOf(3).m_strMax[0], "20");
}

TEST(SoundBehaviour, SummaryEndsTheRunBeforeARecordOutsideIt) {
    // The record after the run has point 0: the point/cycle test alone would
    // let the run go on and never write its summary.
    RawRecord after = PlainRecord(0, 9000);
    after.point = 0;
    after.cycle = 0;
    std::vector<RawRecord> recs{IsoRecord(1, 2, 1, 10), IsoRecord(1, 2, 2, 20, 5, 1, true), after, PlainRecord(1)};
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(Kinds(s), (Kinds_t{"5", "2", "2", "3", "0", "1"}));
    EXPECT_EQ(s.FiguresOf(3).m_strAvg[0], "15");
    EXPECT_EQ(s.Row(4).m_strSeqNo, "0002");
    EXPECT_EQ(TableDisagreement(s), "");
}

TEST(MalformedRuns, NeverReachOutsideTheTables) {
    RecordStore s;
    // Zero cycles: the run end claims no records; its summary has nothing to
    // summarise. The per-run line count (point + 4) disagrees with the rows.
    Download(s, {PlainRecord(0), IsoRecord(1, 0, 0, 10, 5, 1, true)});
    EXPECT_EQ(Kinds(s), (Kinds_t{"0", "2", "3"}));
    EXPECT_EQ(s.FiguresOf(2).m_strAvg[0], "----");
    EXPECT_EQ(s.FiguresOf(2).m_strMax[0], "----");
    EXPECT_EQ(TableDisagreement(s), "");

    // A run end claiming 9 records with only 2 before it: cut at slot 0.
    Download(s, {IsoRecord(3, 3, 2), IsoRecord(3, 3, 2), IsoRecord(3, 3, 3, 10, 5, 1, true)});
    EXPECT_EQ(Kinds(s), (Kinds_t{"2", "2", "2", "3"}));
    EXPECT_EQ(s.FiguresOf(3).m_strUcl[0], "----");
    EXPECT_EQ(TableDisagreement(s), "");

    // After a complete run, a run whose first cycle is missing must not reuse
    // the earlier run's statistics.
    std::vector<RawRecord> recs;
    AppendRun(recs, 2, 1);
    recs.push_back(PlainRecord(0));
    recs.push_back(IsoRecord(1, 0, 0, 10, 5, 1, true));
    Download(s, recs);
    EXPECT_EQ(Kinds(s), (Kinds_t{"5", "2", "5", "2", "3", "0", "2", "3"}));
    EXPECT_EQ(s.FiguresOf(7).m_strAvg[0], "----");
    EXPECT_EQ(s.FiguresOf(7).m_strMin[0], "----");
    EXPECT_EQ(TableDisagreement(s), "");

    // A run end with point x cycle above 8000 is no run.
    Download(s, {IsoRecord(255, 100, 100, 10, 5, 1, true)});
    EXPECT_EQ(Kinds(s), (Kinds_t{"6"}));
    EXPECT_EQ(TableDisagreement(s), "");

    // Two run ends claiming each other's records, and a point that repeats.
    Download(s, {IsoRecord(1, 2, 1), IsoRecord(1, 2, 1, 10, 5, 1, true), IsoRecord(2, 1, 1, 10, 5, 1, true),
                 IsoRecord(1, 1, 1)});
    EXPECT_EQ(TableDisagreement(s), "");
    for (int i = 0; i <= s.m_nLastRow; ++i)
        if (s.Row(i).m_strKind == "5") {
            EXPECT_LE(CAtoi(s.Row(i).m_strMemberCount), 2);
        }
}

TEST(TableBuild, TablesGrowToWhatTheDownloadNeeds) {
    std::vector<RawRecord> recs;
    for (int i = 0; i < kMaxRecords; ++i) recs.push_back(IsoRecord(1, 1, 1, 10, 5, 1, true));
    RecordStore s;
    Download(s, recs);
    EXPECT_EQ(s.m_nLastRow + 1, 24000);
    EXPECT_EQ(s.m_nReportLineCount, 48000);
    EXPECT_EQ(s.ReportLineAt(47999)[L::Cycles], "95%UCL");
    EXPECT_EQ(s.Row(23997).m_strSeqNo, "8000");

    // A small download after a large one gives the memory back.
    Download(s, {PlainRecord(0)});
    EXPECT_EQ(s.m_nLastRow, 0);
    EXPECT_EQ(s.m_nReportLineCount, 1);
    EXPECT_LT(s.m_rows.capacity(), 2000u);
    EXPECT_LT(s.m_reportLines.capacity(), 2000u);
}

TEST(TableBuild, ReusedTablesHoldNothingOfAnEarlierDownload) {
    // A download with every row kind, then another one into the same store:
    // every field must equal the fields of a fresh store.
    std::vector<RawRecord> first;
    AppendRun(first, 3, 2, 5000);
    first.push_back(PlainRecord(1, 77777777));
    first.back().overRange = 1;
    AppendRun(first, 1, 1, 900);
    std::vector<RawRecord> second{PlainRecord(0), IsoRecord(1, 2, 1), PlainRecord(1)};
    AppendRun(second, 2, 2, 10);
    second.push_back(IsoRecord(1, 0, 0, 10, 5, 1, true));
    for (int i = 0; i < 5; ++i) second.push_back(PlainRecord(static_cast<std::uint8_t>(i % 3)));

    RecordStore reused;
    Download(reused, first);
    Download(reused, second);
    RecordStore fresh;
    Download(fresh, second);
    ASSERT_EQ(reused.m_nLastRow, fresh.m_nLastRow);
    ASSERT_EQ(reused.m_nReportLineCount, fresh.m_nReportLineCount);
    for (int i = 0; i <= fresh.m_nLastRow; ++i) ASSERT_EQ(Fields(reused, i), Fields(fresh, i)) << i;
    for (int i = 0; i < fresh.m_nReportLineCount; ++i) ASSERT_EQ(LineText(reused, i), LineText(fresh, i)) << i;
}
