// The three commands against the simulated instrument: count replies, the
// erase, and downloads that succeed, stop or are refused at every packet.
#include <gtest/gtest.h>

#include <cstring>

#include "device/Protocol.h"
#include "records/CFormat.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/DeviceTest.h"

namespace oront::test {
namespace {

// One instrument session: the simulator, the link and the main window's
// buffers and store.
struct Session {
    explicit Session(MemoryImage image, SimulatorFaults faults = {})
        : sim(std::move(image), faults), rec(sim), usb(&rec) {}

    bool Open() { return OpenDeviceLink(usb); }

    SimulatedInstrument sim;
    RecordingBackend rec;
    CUsbIF usb;
    CommandBuffers io;
    RecordStore store;
    TFactorTable tFactor;
};

using ProtocolTest = DeviceTest;

TEST(ErrorReplyTest, OnlyTheFirstThreeBytesDecide) {
    std::uint8_t packet[kPacketSize]{};
    std::memcpy(packet, "@ER", 3);
    EXPECT_TRUE(IsErrorReply(packet));
    packet[3] = 0xFF;
    EXPECT_TRUE(IsErrorReply(packet));
    std::memcpy(packet, "@Er", 3);
    EXPECT_FALSE(IsErrorReply(packet));
    std::memcpy(packet, " @ER", 4);
    EXPECT_FALSE(IsErrorReply(packet));
}

TEST_F(ProtocolTest, CountRepliesDecodeIntoCountAndWrapPosition) {
    struct Case {
        std::uint8_t hi, lo;
        bool ok;
        int count, wrap;
    };
    const Case cases[] = {
        {0x80, 0x05, true, 8000, 5},
        {0x1F, 0x40, true, 8000, 0},
        {0x00, 0x00, true, 0, 0},
        {0x01, 0x2C, true, 300, 0},
        {0x9F, 0x3F, true, 8000, 7999},
        {0x80, 0x00, true, 8000, 0},
        // Malformed: more records than the ring holds, or a wrap position
        // outside it.
        {0x1F, 0x41, false, 0, -1},
        {0x7F, 0xFF, false, 0, -1},
        {0x9F, 0x40, false, 0, -1},
        {0xFF, 0xFF, false, 0, -1},
    };
    for (const Case& c : cases) {
        Session s(CountOnlyImage(c.hi, c.lo), InstantFaults());
        ASSERT_TRUE(s.Open());
        s.store.m_nRecordCount = 1234;
        s.store.m_nWrapPosition = -1;
        EXPECT_EQ(QueryRecordCount(s.usb, s.io, s.store), c.ok) << int(c.hi) << " " << int(c.lo);
        EXPECT_EQ(s.store.m_nRecordCount, c.count) << int(c.hi) << " " << int(c.lo);
        EXPECT_EQ(s.store.m_nWrapPosition, c.wrap) << int(c.hi) << " " << int(c.lo);
    }
}

TEST_F(ProtocolTest, EachCommandSendsOnlyItsOwnBytesWithItsWait) {
    Session s(ThreeRecordImage(), InstantFaults());
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
    ASSERT_TRUE(DownloadRecords(s.usb, s.io, s.store));
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(EraseRecords(s.usb, s.io));
    EXPECT_EQ(s.sim.Commands(), (std::vector<std::string>{"@03P\r", "@07R2000\r", "@03C\r"}));
    EXPECT_EQ(s.rec.writeWaits, (std::vector<int>{50, 50, 50}));
    EXPECT_EQ(s.rec.readWaits, (std::vector<int>{300, 100, 100, 100, 100, 100, 100, 2000}));
    // The command buffer holds the last command and zeros after it.
    EXPECT_EQ(std::memcmp(s.io.m_command, "@03C\r", 5), 0);
    for (std::size_t i = 5; i < kPacketSize; ++i) ASSERT_EQ(s.io.m_command[i], 0);
}

TEST_F(ProtocolTest, CountQueryFailures) {
    // The write is refused: no read is attempted.
    {
        SimulatorFaults faults = InstantFaults();
        faults.writeRefused = true;
        Session s(ThreeRecordImage(), faults);
        ASSERT_TRUE(s.Open());
        s.store.m_nRecordCount = 55;
        EXPECT_FALSE(QueryRecordCount(s.usb, s.io, s.store));
        EXPECT_EQ(s.store.m_nRecordCount, 0);
        EXPECT_TRUE(s.rec.readWaits.empty());
    }
    // An error reply fails even though a packet arrived.
    {
        MemoryImage image(kPacketSize, 0);
        std::memcpy(image.data(), "@ER\x1F\x40", 5);
        Session s(image, InstantFaults());
        ASSERT_TRUE(s.Open());
        EXPECT_FALSE(QueryRecordCount(s.usb, s.io, s.store));
        EXPECT_EQ(s.store.m_nRecordCount, 0);
        EXPECT_EQ(s.sim.PacketsSent(), 1);
    }
    // No reply within 300 ms (in real time).
    {
        Session s(MemoryImage{}, SimulatorFaults{});
        ASSERT_TRUE(s.Open());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(QueryRecordCount(s.usb, s.io, s.store));
        EXPECT_GE(MillisecondsSince(start), 299.0);
        EXPECT_EQ(s.store.m_nRecordCount, 0);
    }
}

TEST_F(ProtocolTest, EraseConfirmedRefusedSilentOrNotSent) {
    {
        Session s(ThreeRecordImage(), InstantFaults());
        ASSERT_TRUE(s.Open());
        EXPECT_TRUE(EraseRecords(s.usb, s.io));
        EXPECT_TRUE(s.sim.Erased());
        // Afterwards the instrument reports no records.
        ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
        EXPECT_EQ(s.store.m_nRecordCount, 0);
        EXPECT_EQ(s.io.m_reply[0], 0);
        EXPECT_EQ(s.io.m_reply[1], 0);
    }
    const auto failing = [](void (*fault)(SimulatorFaults&)) {
        SimulatorFaults faults = InstantFaults();
        fault(faults);
        Session s(ThreeRecordImage(), faults);
        EXPECT_TRUE(s.Open());
        EXPECT_FALSE(EraseRecords(s.usb, s.io));
        EXPECT_FALSE(s.sim.Erased());
        // The records are still there.
        s.sim.Faults() = InstantFaults();
        EXPECT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
        EXPECT_EQ(s.store.m_nRecordCount, 3);
    };
    failing([](SimulatorFaults& f) { f.eraseRefused = true; });
    failing([](SimulatorFaults& f) { f.eraseSilent = true; });
    failing([](SimulatorFaults& f) { f.writeRefused = true; });
}

TEST_F(ProtocolTest, ACompleteDownloadDecodesTheSlotsAndClosesThePipes) {
    Session s(ThreeRecordImage(), InstantFaults());
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
    ASSERT_EQ(s.store.m_nRecordCount, 3);

    std::vector<std::pair<int, int>> progress;
    int packets = 0;
    DownloadHooks hooks;
    hooks.progress = [&](int done, int total) { progress.emplace_back(done, total); };
    hooks.packetReceived = [&](const std::uint8_t*) { ++packets; };
    ASSERT_TRUE(DownloadRecords(s.usb, s.io, s.store, hooks));
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(packets, 6);
    EXPECT_EQ(s.store.m_nSerialNumber, 2150043);
    EXPECT_EQ(s.store.m_records.size(), 3u);
    EXPECT_EQ(s.store.Slot(2).m_strCount[0], "3000");
    // The tables are the caller's to build.
    EXPECT_EQ(s.store.m_nLastRow, 0);
    EXPECT_EQ(s.store.m_nReportLineCount, 0);
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    EXPECT_EQ(s.sim.OpenPipeCount(), 0);
}

TEST_F(ProtocolTest, ADownloadOfNoRecordsReadsNothing) {
    Session s(CountOnlyImage(0, 0), InstantFaults());
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
    ASSERT_TRUE(DownloadRecords(s.usb, s.io, s.store));
    EXPECT_EQ(s.rec.readWaits.size(), 1u);  // the count reply only
    EXPECT_TRUE(s.store.m_records.empty());
    EXPECT_EQ(s.store.m_nReportLineCount, 0);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
}

// A first, good download leaves tables behind; a failing second download
// must leave the result table alone, clear the report table and keep the
// pipes open.
void ExpectFailedDownload(Session& s, int expectedPackets, int expectedRecords, const char* what) {
    int packets = 0;
    int records = 0;
    DownloadHooks hooks;
    hooks.packetReceived = [&](const std::uint8_t*) { ++packets; };
    hooks.progress = [&](int, int) { ++records; };
    EXPECT_FALSE(DownloadRecords(s.usb, s.io, s.store, hooks)) << what;
    EXPECT_EQ(packets, expectedPackets) << what;
    EXPECT_EQ(records, expectedRecords) << what;
    EXPECT_EQ(s.store.m_nReportLineCount, 0) << what;
    EXPECT_TRUE(s.store.ReportLineAt(0)[ReportColumn::Record].empty()) << what;
    EXPECT_EQ(s.store.m_nLastRow, 0) << what;
    EXPECT_NE(g_hWritePipe, kNullPipe) << what;
    EXPECT_NE(g_hReadPipe, kNullPipe) << what;
}

void DownloadGoodImageFirst(Session& s) {
    ASSERT_TRUE(ReadRecordsFromImage(ThreeRecordImage(), s.store, s.tFactor));
    ASSERT_EQ(s.store.m_nReportLineCount, 3);
}

TEST_F(ProtocolTest, ADownloadThatStopsAfterAnyPacketFailsCleanly) {
    for (int cut = 0; cut < 6; ++cut) {
        const std::string what = "stops after " + std::to_string(cut) + " packets";
        Session s(Truncated(ThreeRecordImage(), cut), InstantFaults());
        DownloadGoodImageFirst(s);
        ASSERT_TRUE(s.Open());
        ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
        ExpectFailedDownload(s, cut, cut / 2, what.c_str());
        // The records decoded so far keep their new content.
        if (cut >= 2) {
            EXPECT_EQ(s.store.Slot(0).m_strCount[0], "1000") << what;
        }
        // The result table of the earlier download was not rebuilt.
        EXPECT_EQ(s.store.Row(2).m_strRecordNo, "0003") << what;
    }
}

TEST_F(ProtocolTest, AnErrorReplyAtAnyPacketFailsCleanly) {
    for (int bad = 0; bad < 6; ++bad) {
        const std::string what = "error reply at packet " + std::to_string(bad);
        Session s(WithErrorPacket(ThreeRecordImage(), bad), InstantFaults());
        DownloadGoodImageFirst(s);
        ASSERT_TRUE(s.Open());
        ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
        ExpectFailedDownload(s, bad + 1, bad / 2, what.c_str());
        // No read after the refusal.
        EXPECT_EQ(s.rec.readWaits.size(), static_cast<std::size_t>(1 + bad + 1)) << what;
    }
}

TEST_F(ProtocolTest, AMissingPacketWaitsItsHundredMillisecondsInRealTime) {
    // The instrument stops after the first packet of the second record.
    Session s(Truncated(ThreeRecordImage(), 3), SimulatorFaults{});
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DownloadRecords(s.usb, s.io, s.store));
    const double elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 99.0);
    EXPECT_LT(elapsed, 1000.0);
    EXPECT_EQ(s.store.m_nRecordCount, 3);  // the caller still knows records were reported
}

TEST_F(ProtocolTest, RefusedWriteOrImpossibleCountSendsNoReadCommand) {
    {
        SimulatorFaults faults = InstantFaults();
        Session s(ThreeRecordImage(), faults);
        ASSERT_TRUE(s.Open());
        ASSERT_TRUE(QueryRecordCount(s.usb, s.io, s.store));
        s.store.m_nReportLineCount = 7;
        s.sim.Faults().writeRefused = true;
        EXPECT_FALSE(DownloadRecords(s.usb, s.io, s.store));
        EXPECT_EQ(s.store.m_nReportLineCount, 7);  // only a sent command starts the count anew
        EXPECT_EQ(s.rec.readWaits.size(), 1u);
    }
    // Counts and wrap positions that no count reply can give are refused
    // before anything is sent: nothing is ever decoded beyond the ring.
    const std::pair<int, int> impossible[] = {{8001, 0}, {-1, 0}, {8000, 8000}, {8000, -3}};
    for (const auto& [count, wrap] : impossible) {
        Session s(MakeFullDemoImage(), InstantFaults());
        ASSERT_TRUE(s.Open());
        s.store.m_nRecordCount = count;
        s.store.m_nWrapPosition = wrap;
        EXPECT_FALSE(DownloadRecords(s.usb, s.io, s.store)) << count << " " << wrap;
        EXPECT_TRUE(s.sim.Commands().empty());
        EXPECT_LE(s.store.m_records.size(), static_cast<std::size_t>(kMaxRecords));
    }
}

TEST_F(ProtocolTest, SimulatorKeepsPipeDirectionsAndAnswersUnknownCommandsWithAnError) {
    SimulatedInstrument sim(ThreeRecordImage(), InstantFaults());
    CUsbIF usb(&sim);
    ASSERT_TRUE(OpenDeviceLink(usb));
    std::uint8_t packet[kPacketSize];
    // Transfers on the wrong pipe fail; a second open of one direction fails.
    const std::uint8_t count[] = {'@', '0', '3', 'P', '\r'};
    EXPECT_FALSE(sim.WritePipe(g_hReadPipe, count, sizeof count, 50));
    EXPECT_FALSE(sim.ReadPipe(g_hWritePipe, packet, 10));
    EXPECT_EQ(sim.OpenPipe(std::string(SimulatedInstrument::DevicePath()) + kPipeSuffix, PipeAccess::Read),
              kInvalidPipe);

    const std::uint8_t bogus[] = {'@', '0', '3', 'X', '\r'};
    ASSERT_TRUE(usb.WritePipe(bogus, sizeof bogus));
    ASSERT_TRUE(usb.ReadPipe(packet, 10));
    EXPECT_TRUE(IsErrorReply(packet));

    // A new command discards what the previous one left unread.
    const std::uint8_t read[] = {'@', '0', '7', 'R', '2', '0', '0', '0', '\r'};
    ASSERT_TRUE(usb.WritePipe(read, sizeof read));
    EXPECT_EQ(sim.PendingPackets(), 6);
    ASSERT_TRUE(usb.WritePipe(count, sizeof count));
    EXPECT_EQ(sim.PendingPackets(), 1);
    ASSERT_TRUE(usb.ReadPipe(packet, 10));
    EXPECT_EQ(packet[1], 3);
}

}  // namespace
}  // namespace oront::test
