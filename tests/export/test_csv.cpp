#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "export/CsvWriter.h"
#include "records/CFormat.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

using namespace oront;
using namespace oront::test;
namespace fs = std::filesystem;

namespace {

const std::string kHead =
    "[Test data]\r\n\r\nRecord,Mode,Location,Points,Cycles,Date & Time,Sample Time,Hold Time,"
    "Ch1 Size, Ch1 Data ,Ch2 Size, Ch2 Data,Ch3 Size,Ch3 Data ,Unit,Status,\r\n";
const std::string kTail = "2015-03-07 08:30:15,00:01:00,00:00:00,";

// A result row with the record it shows and its statistics.
struct RowWithRecord {
    ResultRow row;
    MeasurementRecord record;
    RunFigures figures;
};

RowWithRecord RecordRow(const char* kindText, const char* recordNo, const char* status = "0", const char* size = "0") {
    RowWithRecord r;
    r.row.m_strKind = kindText;
    r.row.m_strRecordNo = recordNo;
    r.record.m_strLocation = "003";
    r.record.m_strPoint = "2";
    r.record.m_strCycle = "1";
    r.record.m_strDateTime = "2015-03-07 08:30:15";
    r.record.m_strSampleTime = "00:01:00";
    r.record.m_strHoldTime = "00:00:00";
    r.record.m_strSizeCode = size;
    r.record.m_strUnit = "/cf";
    r.record.m_strStatus = status;
    for (std::size_t c = 0; c < 3; ++c) {
        r.record.m_strCount[c] = FormatInt(10 * static_cast<int>(c + 1));
        r.figures.m_strAvg[c] = FormatInt(7 + static_cast<int>(c));  // group rows read these
    }
    return r;
}

RowWithRecord SummaryRow(const char* avg0) {
    RowWithRecord r;
    r.row.m_strKind = "3";
    r.record.m_strUnit = "/cf";
    r.record.m_strStatus = "1";
    for (std::size_t c = 0; c < 3; ++c) {
        r.figures.m_strAvg[c] = c == 0 ? avg0 : "11";
        r.figures.m_strMax[c] = "12";
        r.figures.m_strMin[c] = "13";
        r.figures.m_strUcl[c] = "----";
    }
    return r;
}

RecordStore StoreOf(const std::vector<RowWithRecord>& rows) {
    StoreBuilder b;
    for (const RowWithRecord& r : rows) b.AddRow(r.row, r.record, r.figures);
    return std::move(b.store);
}

class CsvFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = FreshTestFolder(std::string("csv-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

}  // namespace

TEST(CsvText, PlainRowAndSummaryGiveFiveLinesAfterTheHeader) {
    RecordStore s = StoreOf({RecordRow("1", "0001"), SummaryRow("10")});
    const std::string expected = kHead + "0001,Manual,003,2,1," + kTail +
                                 "0.3um,10,0.5um,20,5.0um,30,/cf,\r\n"
                                 ",,,,AVG,,,,,10,,11,,11,/cf\r\n"
                                 ",,,,MAX,,,,,12,,12,,12,/cf\r\n"
                                 ",,,,MIN,,,,,13,,13,,13,/cf\r\n"
                                 ",,,,95%UCL,,,,,----,,----,,----,/cf\r\n";
    EXPECT_EQ(CsvText(s, 0, s.m_nLastRow), expected);

    s.m_records[0].m_strStatus = "1";
    EXPECT_EQ(CsvText(s, 0, 0), kHead + "0001,Manual,003,2,1," + kTail + "0.3um,10,0.5um,20,5.0um,30,/cf,OVER,\r\n");
    EXPECT_EQ(CsvText(s, 1, 0), kHead);  // start after end: the three header lines
}

TEST(CsvText, KindsDecideRecordModeAndStatusCells) {
    RecordStore s = StoreOf({RecordRow("5", "0041", "1", "11"), RecordRow("2", "42", "1", "11"),
                             RecordRow("6", "0043", "1", "5"), RecordRow("0", "0044", "0", "12"),
                             RecordRow("9", "x45", "1", "10"), RecordRow("4", "8000", "0", "3")});
    const std::string csv = CsvText(s, 0, 5);
    const std::string expected = kHead + "0042,ISO,003,2,AVG," + kTail + "0.5um,7,2.0um,8,5.0um,9,/cf,\r\n" +
                                 "0042,,,,1," + kTail + "0.5um,10,2.0um,20,5.0um,30,/cf,OVER,\r\n" +
                                 "0043,ISO,003,2,1," + kTail + "0.3um,10,5,20,5.0um,30,/cf,OVER,\r\n" +
                                 "0044,Auto,003,2,1," + kTail + "0.5um,10,2.5um,20,5.0um,30,/cf,\r\n" +
                                 "x45,,003,2,1," + kTail + "0.5um,10,1.0um,20,5.0um,30,/cf,\r\n" +
                                 "0001,ISO,003,2,AVG," + kTail + "0.3um,7,2.5um,8,5.0um,9,/cf,\r\n";
    EXPECT_EQ(csv, expected);
}

TEST(CsvText, LargeValueRuleOnRecordLinesOnly) {
    RowWithRecord plain = RecordRow("0", "0001");
    plain.record.m_strCount[0] = "150000000";
    plain.record.m_strCount[1] = "99999999";
    plain.record.m_strCount[2] = "abc";
    // Short texts that are more than digits are read as numbers too; and
    // cells of any length come out whole, also in lines longer than the room
    // a line is put together in (4096 bytes).
    RowWithRecord exponent = RecordRow("0", "0002");
    exponent.record.m_strCount[0] = "2e9";
    exponent.record.m_strCount[1] = "1234567.5";
    exponent.record.m_strLocation = std::string(2400, 'L');
    exponent.record.m_strUnit = std::string(3000, 'U');
    RowWithRecord summary = SummaryRow("150000000");
    summary.record.m_strUnit = std::string(5000, 'u');
    RecordStore s = StoreOf({plain, SummaryRow("150000000"), exponent, summary});
    const std::string csv = CsvText(s, 0, 3);
    EXPECT_NE(csv.find(",1.500E+08,0.5um,99999999,5.0um,abc,/cf,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",,,,AVG,,,,,150000000,,11,,11,/cf\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n0002,Auto," + std::string(2400, 'L') + ",2,1," + kTail +
                       "0.3um,2.000E+09,0.5um,1234567.5,5.0um,30," + std::string(3000, 'U') + ",\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n,,,,95%UCL,,,,,----,,----,,----," + std::string(5000, 'u') + "\r\n"), std::string::npos);
}

TEST(CsvText, DownloadedRunMatchesTheReportTable) {
    std::vector<RawRecord> recs{PlainRecord(1)};
    AppendRun(recs, 2, 3);
    RecordStore s;
    Download(s, recs);
    const std::string csv = CsvText(s, 0, s.m_nLastRow);
    // One line per report line, and the group row after record 0001 shows 0002.
    std::size_t lines = 0;
    for (std::size_t p = csv.find("\r\n"); p != std::string::npos; p = csv.find("\r\n", p + 2)) ++lines;
    EXPECT_EQ(lines, 3u + static_cast<std::size_t>(s.m_nReportLineCount));
    EXPECT_NE(csv.find("\r\n0002,ISO,001,1,AVG,"), std::string::npos);
    // Indices outside the table are never read.
    EXPECT_EQ(CsvText(s, -5, 1000000), csv);
}

TEST(CsvText, EveryLineOfAFullMemoryIsItsReportLine) {
    // A record line is its cells each followed by a comma, without an empty
    // Status cell; a summary line its cells up to the Unit between commas.
    const RecordStore& s = MixedMemoryStore();
    std::string expected = kHead;
    for (int i = 0; i < s.ReportLineCount(); ++i) {
        const ReportLine line = s.ReportLineAt(i);
        const bool summary = s.Row(s.m_reportLines[static_cast<std::size_t>(i)] / 4).m_strKind == "3";
        for (int c = 0; c < kReportColumnCount - 1; ++c) {
            expected += line.cell[static_cast<std::size_t>(c)].view();
            if (c < kReportColumnCount - 2 || !summary) expected += ',';
        }
        if (!summary && !line[ReportColumn::Status].empty()) expected += line[ReportColumn::Status].str() + ",";
        expected += "\r\n";
    }
    ASSERT_GT(expected.size(), 3u << 18);  // several of the file's blocks
    EXPECT_EQ(CsvText(s, 0, s.m_nLastRow), expected);
}

TEST_F(CsvFiles, SavingReplacesTheWholeFileAndLeavesNoTemporary) {
    const fs::path target = dir_ / "records.csv";
    std::ofstream(target, std::ios::binary) << std::string(100000, 'x');
    RecordStore s = StoreOf({RecordRow("1", "0001"), SummaryRow("10")});
    ASSERT_TRUE(WriteCsvFile(s, target.string(), 0, 1));
    EXPECT_EQ(ReadFileBytes(target), CsvText(s, 0, 1));
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"records.csv"});
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::owner_read, fs::perms::owner_read);

    ASSERT_TRUE(WriteCsvFile(s, (dir_ / "empty.csv").string(), 1, 0));
    EXPECT_EQ(ReadFileBytes(dir_ / "empty.csv"), kHead);

    // A file of many blocks has the same bytes.
    const RecordStore& full = MixedMemoryStore();
    ASSERT_TRUE(WriteCsvFile(full, target.string(), 0, full.m_nLastRow));
    EXPECT_EQ(ReadFileBytes(target), CsvText(full, 0, full.m_nLastRow));
}

TEST_F(CsvFiles, FailedSaveKeepsTheOldFile) {
    RecordStore s = StoreOf({RecordRow("1", "0001")});
    EXPECT_FALSE(WriteCsvFile(s, (dir_ / "missing" / "a.csv").string(), 0, 0));
    EXPECT_TRUE(FolderEntries(dir_).empty());

    const fs::path folder = dir_ / "folder.csv";
    fs::create_directory(folder);
    std::ofstream(folder / "keep", std::ios::binary) << "keep";
    EXPECT_FALSE(WriteCsvFile(s, folder.string(), 0, 0));
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"folder.csv"});
    EXPECT_EQ(ReadFileBytes(folder / "keep"), "keep");
    EXPECT_FALSE(WriteCsvFile(s, "", 0, 0));
}

#ifndef _WIN32
TEST_F(CsvFiles, SavingOverASymbolicLinkReplacesItsFileAndKeepsTheLink) {
    fs::create_directory(dir_ / "data");
    const fs::path file = dir_ / "data" / "real.csv";
    std::ofstream(file, std::ios::binary) << "old content";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path link = dir_ / "link.csv";
    fs::create_symlink(fs::path("data") / "real.csv", link);
    RecordStore s = StoreOf({RecordRow("1", "0001")});
    ASSERT_TRUE(WriteCsvFile(s, link.string(), 0, 0));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(file), CsvText(s, 0, 0));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderEntries(dir_ / "data"), std::vector<std::string>{"real.csv"});

    // A link to a file not made yet gets that file and keeps pointing at it;
    // a link into a missing folder fails and stays.
    const fs::path dangling = dir_ / "dangling.csv";
    fs::create_symlink(fs::path("data") / "later.csv", dangling);
    ASSERT_TRUE(WriteCsvFile(s, dangling.string(), 0, 0));
    EXPECT_EQ(fs::read_symlink(dangling), fs::path("data") / "later.csv");
    EXPECT_EQ(ReadFileBytes(dir_ / "data" / "later.csv"), CsvText(s, 0, 0));
    const fs::path nowhere = dir_ / "nowhere.csv";
    fs::create_symlink(dir_ / "nowhere" / "x.csv", nowhere);
    std::string cause;
    EXPECT_FALSE(WriteCsvFileWithCause(s, nowhere.string(), 0, 0, cause));
    EXPECT_EQ(cause, "No such file or directory: " + nowhere.string());
    EXPECT_TRUE(fs::is_symlink(nowhere));
}
#endif

#ifdef __linux__
TEST_F(CsvFiles, FullFileSystemKeepsTheOldFile) {
    const fs::path mnt = dir_ / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        ORONT_SKIP_OR_FAIL("cannot mount a small tmpfs here; the full-disk case is not tested");
    const fs::path target = mnt / "old.csv";
    std::ofstream(target, std::ios::binary) << "old content";
    std::vector<RowWithRecord> rows(4000, RecordRow("1", "0001"));
    RecordStore s = StoreOf(rows);
    const bool written = WriteCsvFile(s, target.string(), 0, s.m_nLastRow);
    const std::string after = ReadFileBytes(target);
    const auto entries = FolderEntries(mnt);
    ::umount(mnt.c_str());
    EXPECT_FALSE(written);
    EXPECT_EQ(after, "old content");
    EXPECT_EQ(entries, std::vector<std::string>{"old.csv"});
}
#endif

#ifndef _WIN32
TEST(DefaultFileName, FourteenDigitsOfLocalTime) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(DefaultFileName(1445679005), "20151024093005");  // 24 October 2015, 09:30:05
    EXPECT_EQ(DefaultFileName(946684800), "20000101000000");
    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
#endif

TEST(CsvText, SameBytesUnderADecimalCommaLocale) {
    std::vector<RawRecord> recs{PlainRecord(0, 150000000, 3, 5)};
    recs.back().unit = 2;
    recs.back().sampleSeconds = 7;
    AppendRun(recs, 3, 2, 1000001);
    const auto build = [&] {
        RecordStore s;
        Download(s, recs);
        return CsvText(s, 0, s.m_nLastRow);
    };
    const std::string reference = build();
    std::string german;
    {
        const DecimalCommaLocale locale;
        if (!locale.active()) ORONT_SKIP_OR_FAIL("no locale with a decimal comma installed");
        german = build();
    }
    EXPECT_EQ(german, reference);
    EXPECT_NE(reference.find("4.744E+10"), std::string::npos);
}
