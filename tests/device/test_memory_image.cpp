// Memory images: the generated demo memories as a download sees them, and
// image files written and read back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "device/Protocol.h"
#include "records/CFormat.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/DeviceTest.h"

namespace oront::test {
namespace {

using R = MeasurementRecord;

// (points, cycles) of every complete run in the result table.
std::multiset<std::pair<int, int>> RunShapes(const RecordStore& store) {
    std::multiset<std::pair<int, int>> shapes;
    int points = 0;
    int cycles = 0;
    for (int i = 0; i <= store.m_nLastRow; ++i) {
        const ResultRow& row = store.Row(i);
        if (row.m_strKind == "5") {
            ++points;
            cycles = CAtoi(row.m_strMemberCount);
        } else if (row.m_strKind == "3") {
            shapes.emplace(points, cycles);
            points = 0;
        }
    }
    return shapes;
}

int CountKind(const RecordStore& store, const char* kind) {
    int n = 0;
    for (int i = 0; i <= store.m_nLastRow; ++i) n += store.Row(i).m_strKind == kind ? 1 : 0;
    return n;
}

void ExpectPlausibleRecords(const RecordStore& store) {
    for (int k = 0; k < store.m_nRecordCount; ++k) {
        const MeasurementRecord& slot = store.Slot(k);
        if (k > 0) {
            ASSERT_LE(store.Slot(k - 1).m_strDateTime.view(), slot.m_strDateTime.view()) << k;
        }
        // Larger particles are fewer.
        ASSERT_GE(CAtof(slot.m_strCount[0]), CAtof(slot.m_strCount[1])) << k;
        ASSERT_GE(CAtof(slot.m_strCount[1]), CAtof(slot.m_strCount[2])) << k;
        ASSERT_EQ(slot.m_strSerialNumber, "2150042") << k;
    }
}

TEST(DemoImageTest, IsDeterministicAndLaidOutAsTheInstrumentSendsIt) {
    const MemoryImage demo = MakeDemoImage();
    EXPECT_EQ(demo, MakeDemoImage());
    EXPECT_EQ(demo.size(), kPacketSize * (1 + 2 * 300));
    EXPECT_EQ(demo[0], 0x01);
    EXPECT_EQ(demo[1], 0x2C);
    for (std::size_t i = 2; i < kPacketSize; ++i) ASSERT_EQ(demo[i], 0);

    const MemoryImage full = MakeFullDemoImage();
    EXPECT_EQ(full, MakeFullDemoImage());
    EXPECT_EQ(full.size(), kFullMemoryImageSize);
    EXPECT_EQ((full[0] << 8) | full[1], 0x8000 | kFullDemoWrapPosition);
}

TEST_F(DeviceTest, DemoMemoryMixesModesUnitsAndRuns) {
    RecordStore store;
    ASSERT_TRUE(ReadRecordsFromImage(MakeDemoImage(), store));
    ASSERT_EQ(store.m_nRecordCount, 300);
    EXPECT_EQ(store.m_nSerialNumber, 2150042);
    ExpectPlausibleRecords(store);

    std::set<std::string> units;
    std::map<std::string, int> modes;
    int overRange = 0;
    for (int k = 0; k < 300; ++k) {
        units.insert(store.Slot(k).m_strUnit.str());
        ++modes[store.Slot(k).m_strModeCode.str()];
        overRange += store.Slot(k).m_strStatus == "1" ? 1 : 0;
    }
    EXPECT_EQ(units, (std::set<std::string>{"CNT", "/cf", "/m3", "/L"}));
    EXPECT_GT(modes["0"], 100);
    EXPECT_GE(modes["1"], 8);
    EXPECT_GE(modes["2"], 25);
    EXPECT_EQ(overRange, 1);

    const auto shapes = RunShapes(store);
    for (const auto& shape : {std::pair{2, 3}, std::pair{3, 2}, std::pair{5, 1}, std::pair{1, 4}}) {
        EXPECT_GE(shapes.count(shape), 1u) << shape.first << "x" << shape.second;
    }
    // The interrupted run: four ISO records without a run of their own.
    EXPECT_EQ(CountKind(store, "6"), 4);
}

TEST_F(DeviceTest, FullDemoMemoryIsWrappedAndChronologicalAfterRotation) {
    const MemoryImage image = MakeFullDemoImage();
    int runEnds = 0;
    for (std::size_t packetA = 1; packetA < image.size() / kPacketSize; packetA += 2) {
        runEnds += image[packetA * kPacketSize + 21] == 1 ? 1 : 0;
    }

    RecordStore store;
    ASSERT_TRUE(ReadRecordsFromImage(image, store));
    ASSERT_EQ(store.m_nRecordCount, 8000);
    ASSERT_EQ(store.m_nWrapPosition, kFullDemoWrapPosition);
    ExpectPlausibleRecords(store);

    // The oldest record is not the middle of a run cut by the wrap, so every
    // run the instrument completed shows up with its summary.
    const MeasurementRecord& oldest = store.Slot(0);
    EXPECT_TRUE(oldest.m_strModeCode != "2" || (oldest.m_strPoint == "1" && oldest.m_strCycle == "1"));
    EXPECT_GT(runEnds, 50);
    EXPECT_EQ(CountKind(store, "3"), runEnds);

    // Numbering follows the instrument's slots: oldest first, 8000 then 1.
    int first = 0;
    while (store.Row(first).m_strKind == "5") ++first;  // a group row precedes its first cycle
    EXPECT_EQ(store.Row(first).m_strRecordNo, "2718");
    bool wrapped = false;
    for (int i = 1; i <= store.m_nLastRow && !wrapped; ++i) {
        const ResultRow& row = store.Row(i);
        if (row.m_strRecordNo == "0001") {
            wrapped = true;
            int previous = i - 1;
            while (store.Row(previous).m_strRecordNo.empty()) --previous;  // skip summary rows
            EXPECT_EQ(store.Row(previous).m_strRecordNo, "8000");
        }
    }
    EXPECT_TRUE(wrapped);
}

TEST(MemoryImageFileTest, SavedImagesLoadBackByteForByte) {
    const auto folder = TestOutputFolder("device");
    for (const MemoryImage& image : {MakeDemoImage(), MakeFullDemoImage(), CountOnlyImage(0, 0)}) {
        const auto file = (folder / "roundtrip.img").string();
        ASSERT_TRUE(SaveMemoryImage(file, image));
        EXPECT_EQ(std::filesystem::file_size(file), image.size());
        MemoryImage loaded;
        ASSERT_TRUE(LoadMemoryImage(file, loaded));
        EXPECT_EQ(loaded, image);
    }
    EXPECT_FALSE(SaveMemoryImage((folder / "no-such-folder" / "x.img").string(), MakeDemoImage()));
}

TEST(MemoryImageFileTest, ImagesArePlayedAsTheyStandAndOnlyBrokenFilesAreRefused) {
    const auto folder = TestOutputFolder("device");
    const auto write = [&](const std::string& name, std::size_t size) {
        const auto file = (folder / name).string();
        std::ofstream(file, std::ios::binary) << std::string(size, '\x01');
        return file;
    };
    struct Refused {
        std::string file;
        const char* reason;
    };
    std::vector<Refused> refused = {
        {write("short.img", 63), "its length (63 bytes) is not a multiple of 64 bytes"},
        {write("partial.img", 64 * 3 + 10), "its length (202 bytes) is not a multiple of 64 bytes"},
        {write("huge.img", kMaxMemoryImageSize + 64), "it is larger than 4194240 bytes"},
        {(folder / "missing.img").string(), "cannot open it: No such file or directory"},
        {folder.string(), "it is not a regular file"}};
#ifndef _WIN32
    // A FIFO nobody writes to and a device that never ends are refused at once.
    const auto fifo = folder / "image.fifo";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused.push_back({fifo.string(), "it is not a regular file"});
    refused.push_back({"/dev/zero", "it is not a regular file"});
#endif
    const MemoryImage sentinel = CountOnlyImage(0x12, 0x34);
    for (const Refused& r : refused) {
        MemoryImage image = sentinel;
        std::string reason;
        EXPECT_FALSE(LoadMemoryImage(r.file, image, &reason)) << r.file;
        EXPECT_EQ(reason, r.reason) << r.file;
        EXPECT_EQ(image, sentinel) << r.file;
    }

    // An empty image is an instrument that never answers the count query.
    MemoryImage image = sentinel;
    ASSERT_TRUE(LoadMemoryImage(write("empty.img", 0), image));
    EXPECT_TRUE(image.empty());
    RecordStore store;
    CommandBuffers io;
    SimulatedInstrument silent(image, InstantFaults());
    CUsbIF usb(&silent);
    ASSERT_TRUE(OpenDeviceLink(usb));
    EXPECT_FALSE(QueryRecordCount(usb, io, store));

    // 8001 records announced and present: played as they stand, and the
    // count check refuses them.
    std::vector<RawRecord> records(8001);
    const MemoryImage tooMany = MakeMemoryImage(8001, records);
    ASSERT_TRUE(SaveMemoryImage((folder / "8001.img").string(), tooMany));
    ASSERT_TRUE(LoadMemoryImage((folder / "8001.img").string(), image));
    EXPECT_EQ(image, tooMany);
    SimulatedInstrument player(image, InstantFaults());
    CUsbIF usb2(&player);
    ASSERT_TRUE(OpenDeviceLink(usb2));
    EXPECT_FALSE(QueryRecordCount(usb2, io, store));
    EXPECT_EQ(store.m_nRecordCount, 0);

    EXPECT_TRUE(LoadMemoryImage(write("max.img", kMaxMemoryImageSize), image));
    EXPECT_EQ(image.size(), kMaxMemoryImageSize);
}

}  // namespace
}  // namespace oront::test
