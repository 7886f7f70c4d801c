// CUsbIF and OpenDeviceLink: finding the instrument, opening and closing the
// two pipes, and the bounds of the pipe names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "device/Protocol.h"
#include "device/UsbBackend.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/DeviceTest.h"

namespace oront::test {
namespace {

// A backend whose interface path and open results the test chooses.
class PathBackend : public DeviceBackend {
public:
    bool FindDevicePath(const Guid&, std::string& out) override {
        if (!found) return false;
        out = path;
        return true;
    }
    PipeHandle OpenPipe(const std::string& name, PipeAccess access) override {
        names.push_back(name);
        return access == PipeAccess::Read ? readResult : writeResult;
    }
    bool WritePipe(PipeHandle, const std::uint8_t*, std::size_t, int) override {
        ++transfers;
        return true;
    }
    bool ReadPipe(PipeHandle, std::uint8_t*, int) override {
        ++transfers;
        return true;
    }
    void ClosePipe(PipeHandle pipe) override { closed.push_back(pipe); }

    bool found = true;
    std::string path = "\\\\?\\usb#vid_04d8&pid_000c#1#{5354fa28-6d14-4e35-a1f5-75bb54e6030f}";
    PipeHandle readResult = 21;
    PipeHandle writeResult = 22;
    std::vector<std::string> names;
    std::vector<PipeHandle> closed;
    int transfers = 0;
};

using LinkTest = DeviceTest;

TEST_F(LinkTest, OpensWritePipeThenReadPipeOnTheInstrumentsEndpoint) {
    SimulatedInstrument sim(ThreeRecordImage());
    RecordingBackend rec(sim);
    CUsbIF usb(&rec);
    ASSERT_TRUE(OpenDeviceLink(usb));
    EXPECT_NE(g_hWritePipe, kNullPipe);
    EXPECT_NE(g_hReadPipe, kNullPipe);
    EXPECT_NE(g_hWritePipe, kInvalidPipe);
    EXPECT_NE(g_hReadPipe, kInvalidPipe);
    const std::string name = std::string(SimulatedInstrument::DevicePath()) + "\\MCHP_EP1";
    EXPECT_EQ(rec.opened, (std::vector<std::string>{"W " + name, "R " + name}));
    const Guid& g = rec.LastGuid();
    EXPECT_EQ(g.data1, 0x5354FA28u);
    EXPECT_EQ(g.data2, 0x6D14);
    EXPECT_EQ(g.data3, 0x4E35);
    EXPECT_EQ(g.data4[0], 0xA1);
    EXPECT_EQ(g.data4[7], 0x0F);
    // Copy 1 stays the plain path; copies 2 and 3 became the pipe names.
    EXPECT_STREQ(usb.m_szPath[0], SimulatedInstrument::DevicePath());
    EXPECT_EQ(std::string(usb.m_szPath[1]), name);
    EXPECT_EQ(std::string(usb.m_szPath[2]), name);

    // Opening again closes the old pipes first and never doubles the suffix.
    const PipeHandle oldWrite = g_hWritePipe;
    const PipeHandle oldRead = g_hReadPipe;
    ASSERT_TRUE(OpenDeviceLink(usb));
    EXPECT_EQ(rec.closed, (std::vector<PipeHandle>{oldWrite, oldRead}));
    EXPECT_EQ(rec.opened.back(), "R " + name);
    EXPECT_EQ(sim.OpenPipeCount(), 2);
}

TEST_F(LinkTest, FailuresToOpenLeaveBothHandlesNullAndNothingOpen) {
    SimulatedInstrument sim(ThreeRecordImage());
    CUsbIF usb(&sim);
    ASSERT_TRUE(OpenDeviceLink(usb));

    // No instrument: the old pipes are closed and nothing new is opened.
    sim.Faults().noDevice = true;
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    EXPECT_EQ(sim.OpenPipeCount(), 0);
    sim.Faults().noDevice = false;

    // The write pipe opens but the read pipe does not: both closed again.
    sim.Faults().readPipeFails = true;
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    EXPECT_EQ(sim.OpenPipeCount(), 0);
    sim.Faults().readPipeFails = false;

    // The write pipe fails: the read pipe is still tried, then closed.
    sim.Faults().writePipeFails = true;
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    EXPECT_EQ(sim.OpenPipeCount(), 0);
    sim.Faults().writePipeFails = false;

    EXPECT_TRUE(OpenDeviceLink(usb));

    // No backend at all (a platform without USB support).
    CUsbIF none;
    EXPECT_FALSE(OpenDeviceLink(none));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
}

TEST_F(LinkTest, ABackendReturningANullHandleCountsAsAFailedOpen) {
    PathBackend backend;
    backend.readResult = kNullPipe;
    CUsbIF usb(&backend);
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    EXPECT_EQ(backend.closed, (std::vector<PipeHandle>{22}));
}

TEST_F(LinkTest, OverLongPathsFailInsteadOfBeingTruncated) {
    PathBackend backend;
    CUsbIF usb(&backend);
    const std::size_t suffix = std::strlen(kPipeSuffix);

    // Exactly fits: path + suffix + NUL = 256 bytes.
    backend.path = std::string(kPathBufferSize - 1 - suffix, 'a');
    ASSERT_TRUE(OpenDeviceLink(usb));
    ASSERT_EQ(backend.names.size(), 2u);
    EXPECT_EQ(backend.names[0], backend.path + "\\MCHP_EP1");

    // One byte more: the pipe name would not fit; nothing is opened.
    backend.names.clear();
    backend.path = std::string(kPathBufferSize - suffix, 'a');
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_TRUE(backend.names.empty());
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);

    // A path that does not fit the path buffer itself is not taken.
    backend.path = std::string(300, 'b');
    EXPECT_FALSE(usb.FindDevicePath());
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_TRUE(backend.names.empty());

    // Empty paths and paths with a NUL byte name no device.
    backend.path.clear();
    EXPECT_FALSE(OpenDeviceLink(usb));
    backend.path = std::string("dev\0ice", 7);
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_TRUE(backend.names.empty());
}

TEST_F(LinkTest, ClosePipesTwiceAndTransfersWithoutPipesAreHarmless) {
    PathBackend backend;
    CUsbIF usb(&backend);
    ASSERT_TRUE(OpenDeviceLink(usb));
    usb.ClosePipes();
    usb.ClosePipes();
    EXPECT_EQ(backend.closed, (std::vector<PipeHandle>{22, 21}));  // write pipe first
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);

    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    std::uint8_t buffer[kPacketSize];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_FALSE(usb.WritePipe(command, sizeof command));
    EXPECT_FALSE(usb.ReadPipe(buffer, 10));
    EXPECT_EQ(backend.transfers, 0);
    for (std::uint8_t b : buffer) ASSERT_EQ(b, 0);
}

TEST_F(LinkTest, ATimedOutReadWaitsItsTimeAndLeavesAZeroFilledBuffer) {
    SimulatedInstrument sim(CountOnlyImage(0, 3));
    RecordingBackend rec(sim);
    CUsbIF usb(&rec);
    ASSERT_TRUE(OpenDeviceLink(usb));
    std::uint8_t buffer[kPacketSize];
    std::memset(buffer, 0xAA, sizeof buffer);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(usb.ReadPipe(buffer, 120));
    EXPECT_GE(MillisecondsSince(start), 119.0);
    for (std::uint8_t b : buffer) ASSERT_EQ(b, 0);
    EXPECT_EQ(rec.readWaits, (std::vector<int>{120}));

    // The link still works: a command and its answer.
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    EXPECT_TRUE(usb.WritePipe(command, sizeof command));
    EXPECT_EQ(rec.writeWaits, (std::vector<int>{50}));
    EXPECT_TRUE(usb.ReadPipe(buffer, 120));
    EXPECT_EQ(buffer[1], 3);
}

TEST(UsbIdTest, EnvironmentOverridesTheInstrumentIdOnlyWhenWellFormed) {
    struct Case {
        const char* value;
        std::uint16_t vendor, product;
    };
    const Case cases[] = {
        {nullptr, 0x04D8, 0x000C},     {"1234:abcd", 0x1234, 0xABCD},  {"04d8:000D", 0x04D8, 0x000D},
        {"1234", 0x04D8, 0x000C},      {"12345:0001", 0x04D8, 0x000C}, {"0x12:0001", 0x04D8, 0x000C},
        {"12g4:0001", 0x04D8, 0x000C}, {"1234:", 0x04D8, 0x000C},      {"-123:0001", 0x04D8, 0x000C},
    };
    for (const Case& c : cases) {
        SetEnvironment("ORONT_USB_ID", c.value);
        const UsbId id = UsbIdFromEnvironment();
        EXPECT_EQ(id.vendor, c.vendor) << (c.value ? c.value : "(unset)");
        EXPECT_EQ(id.product, c.product) << (c.value ? c.value : "(unset)");
    }
    SetEnvironment("ORONT_USB_ID", nullptr);
}

}  // namespace
}  // namespace oront::test
