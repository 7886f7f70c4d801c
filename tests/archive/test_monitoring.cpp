// The register in the archive: kept and read back, refused whole when it
// breaks a rule, and every archived record judged against it: excursions at
// the room a record was taken in, adverse trends that grow with the next
// download, filters.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "device/MemoryImage.h"
#include "site/RegisterJson.h"
#include "support/RecordBuilders.h"
#include "support/TestEnvironment.h"

using namespace oront;
using namespace oront::archive;

namespace {

// Location 4 is the door of FR2 (0.5 µm: alert 500, action 1500 per m³;
// three records above the alert limit in a row are an adverse trend);
// location 3 is in the Lab until 2015-03-01, then beside the needle of FR2.
site::Register SampleRegister() {
    site::Register reg;
    reg.organisation.name = "Pharma Example";
    site::Room fr2;
    fr2.id = "FR2";
    fr2.name = "Filling room 2";
    fr2.areaM2 = 24;
    fr2.standard = classify::Standard::Gmp2022;
    fr2.grade = 'B';
    fr2.locations = {{4, "door", 0, 4, false, {}, {}}, {3, "needle", 1, 1, true, 20150302, {}}};
    fr2.limits = {{5, 500, 1500, {}}};
    site::Room lab;
    lab.id = "LAB";
    lab.areaM2 = 12;
    lab.classTenths = 70;
    lab.locations = {{3, "bench", 2, 2, false, {}, 20150301}};
    lab.limits = {{5, 500, 1500, {}}};
    reg.rooms = {fr2, lab};
    reg.instruments = {{2150042, "V208", 20140302, 20150302, "CAL-1", 2.83}};
    reg.downloads = {{2, classify::Occupancy::AtRest}};
    return reg;
}

// A memory of records at `location` on 2015-03-`day`, one an hour from 08:00,
// counting `counts[k]` at 0.5 µm (one count over a minute is 353.1 per m³).
MemoryImage Memory(int location, int day, const std::vector<std::uint32_t>& counts, int firstHour = 8) {
    std::vector<RawRecord> records;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        RawRecord r = test::PlainRecord(0, 0, counts[k], 0);
        r.location = static_cast<std::uint8_t>(location);
        r.year = 15;
        r.month = 3;
        r.day = static_cast<std::uint8_t>(day);
        r.hour = static_cast<std::uint8_t>(firstHour + k);
        r.minute = r.second = 0;
        r.serialNumber = 2150042;
        records.push_back(r);
    }
    return MakeMemoryImage(static_cast<std::uint16_t>(records.size()), records);
}

struct Found {
    std::vector<ExcursionRow> excursions;
    std::vector<AdverseTrendRow> trends;
};

Found Excursions(Archive& a, const ExcursionFilter& filter = {}) {
    Found f;
    std::string error;
    EXPECT_TRUE(a.Excursions(filter, f.excursions, f.trends, error)) << error;
    return f;
}

}  // namespace

TEST(ArchiveRegister, IsKeptWholeAndARefusedOneChangesNothing) {
    const std::string path = (test::FreshTestFolder("archive-register") / "archive.sqlite").string();
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    site::Register read;
    ASSERT_TRUE(a.LoadRegister(read, error)) << error;
    EXPECT_TRUE(read.Empty());
    ASSERT_TRUE(a.StoreRegister(SampleRegister(), error)) << error;
    ASSERT_TRUE(a.LoadRegister(read, error)) << error;
    EXPECT_EQ(site::RegisterJson(read), site::RegisterJson(SampleRegister()));

    const std::string before = test::ReadFileBytes(path);
    site::Register broken = SampleRegister();
    broken.rooms[1].limits[0].alertPerM3 = 2000;
    EXPECT_FALSE(a.StoreRegister(broken, error));
    EXPECT_EQ(error, "the register is refused: rooms[1].limits[0]: the alert limit is above the action limit");
    EXPECT_TRUE(test::ReadFileBytes(path) == before);
    ASSERT_TRUE(a.LoadRegister(read, error)) << error;
    EXPECT_EQ(site::RegisterJson(read), site::RegisterJson(SampleRegister()));
}

// Counts 2 (706 per m³) are above the door's alert limit, 5 (1766) above its
// action limit, 1 (353) below both.
TEST(ArchiveRegister, ExcursionsAndAdverseTrendsAreFoundAsRecordsArrive) {
    const std::string path = (test::FreshTestFolder("archive-excursions") / "archive.sqlite").string();
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    // Records archived before the register are judged when it is stored.
    ASSERT_TRUE(a.AddDownload(Memory(3, 1, {2, 1}), 1, nullptr, error)) << error;
    ASSERT_TRUE(a.StoreRegister(SampleRegister(), error)) << error;
    Found f = Excursions(a);
    ASSERT_EQ(f.excursions.size(), 1u);
    EXPECT_EQ(f.excursions[0].room, "LAB") << "taken before location 3 moved";

    ASSERT_TRUE(a.AddDownload(Memory(3, 2, {2}, 20), 2, nullptr, error, "a warning")) << error;
    f = Excursions(a);
    ASSERT_EQ(f.excursions.size(), 2u);
    EXPECT_EQ(f.excursions[1].room, "FR2") << "taken after location 3 moved";
    std::vector<Download> downloads;
    ASSERT_TRUE(a.Downloads(downloads, error)) << error;
    EXPECT_EQ(downloads.back().warnings, "a warning");

    // At the door: alert, alert, below, alert, action, alert: one run of three.
    ASSERT_TRUE(a.AddDownload(Memory(4, 3, {2, 2, 1, 2, 5, 2}), 3, nullptr, error)) << error;
    f = Excursions(a, {std::string("FR2"), {}, {}, site::Level::Alert});
    ASSERT_EQ(f.excursions.size(), 6u);
    EXPECT_EQ(f.excursions[0].room, "FR2");  // the needle's, a day earlier
    EXPECT_EQ(f.excursions[4].level, site::Level::Action);
    EXPECT_NEAR(f.excursions[4].perM3, 1765.74, 0.01);
    EXPECT_DOUBLE_EQ(f.excursions[4].limitPerM3, 1500.0);
    ASSERT_EQ(f.trends.size(), 1u);
    EXPECT_EQ(f.trends[0].location, 4);
    EXPECT_EQ(f.trends[0].records, 3);
    EXPECT_EQ(f.trends[0].firstTime, TimeKey(15, 3, 3, 11, 0, 0));
    // The next download carries the run on.
    ASSERT_TRUE(a.AddDownload(Memory(4, 3, {3, 1}, 14), 4, nullptr, error)) << error;
    f = Excursions(a);
    ASSERT_EQ(f.trends.size(), 1u);
    EXPECT_EQ(f.trends[0].records, 4);
    EXPECT_EQ(f.trends[0].lastTime, TimeKey(15, 3, 3, 14, 0, 0));

    // Filters: the action level alone (no trends), one day, another room.
    f = Excursions(a, {{}, {}, {}, site::Level::Action});
    EXPECT_EQ(f.excursions.size(), 1u);
    EXPECT_TRUE(f.trends.empty());
    f = Excursions(a, {{}, TimeKey(15, 3, 1, 0, 0, 0), TimeKey(15, 3, 2, 23, 59, 59), site::Level::Alert});
    EXPECT_EQ(f.excursions.size(), 2u);
    EXPECT_TRUE(f.trends.empty());
    EXPECT_EQ(Excursions(a, {std::string("LAB"), {}, {}, site::Level::Alert}).excursions.size(), 1u);

    // A new register judges everything again: without limits, nothing.
    site::Register none = SampleRegister();
    for (site::Room& room : none.rooms) room.limits.clear();
    ASSERT_TRUE(a.StoreRegister(none, error)) << error;
    f = Excursions(a);
    EXPECT_TRUE(f.excursions.empty());
    EXPECT_TRUE(f.trends.empty());
}

// Certificate numbers are the archive's own, or the user's, and never given
// twice, not even for a certificate that was never finished; a file is found
// by the SHA-256 of its bytes, and a changed file is not.
TEST(ArchiveCertificates, NumbersAreNeverGivenTwiceAndAFileIsFoundByItsBytes) {
    const std::string path = (test::FreshTestFolder("archive-certificates") / "archive.sqlite").string();
    Archive a;
    std::string error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    CertificateRecord first, unfinished, given, again;
    ASSERT_TRUE(a.ReserveCertificate("", 100, first, error)) << error;
    EXPECT_EQ(first.number, "V208-000001");
    ASSERT_TRUE(a.ReserveCertificate("", 101, unfinished, error)) << error;
    ASSERT_TRUE(a.ReserveCertificate("QA/2026/17", 102, given, error)) << error;
    EXPECT_EQ(given.number, "QA/2026/17");
    EXPECT_FALSE(a.ReserveCertificate("QA/2026/17", 103, again, error));
    EXPECT_EQ(error, "report number QA/2026/17 is already used by another certificate");
    EXPECT_FALSE(a.ReserveCertificate("V208-000009", 103, again, error));
    EXPECT_EQ(error, "report numbers that begin with V208- are the archive's own");
    ASSERT_TRUE(a.CompleteCertificate(first.id, "{\"data\": 1}", "%PDF-1.4 one", error)) << error;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    ASSERT_TRUE(a.ReserveCertificate("", 104, again, error)) << error;
    EXPECT_EQ(again.number, "V208-000004") << "after 1, 2 and the user's 3";

    std::optional<CertificateRecord> found;
    ASSERT_TRUE(a.Open(path, OpenMode::ReadOnly, error)) << error;
    ASSERT_TRUE(a.FindCertificate(Sha256Hex("%PDF-1.4 one"), found, error)) << error;
    ASSERT_TRUE(found);
    EXPECT_EQ(found->number, "V208-000001");
    EXPECT_EQ(found->data, "{\"data\": 1}");
    EXPECT_EQ(found->dataSha256, Sha256Hex("{\"data\": 1}"));
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    ASSERT_TRUE(a.FindCertificate(Sha256Hex("%PDF-1.4 onE"), found, error)) << error;
    EXPECT_FALSE(found);
}
