// The Windows backend: its overlapped pipe transfers against a named pipe
// that stands in for the vendor driver's endpoint, and the device link and
// the main window's logic with no instrument attached (Windows and Wine
// only).
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindowLogic.h"
#include "device/DeviceLink.h"
#include "device/Protocol.h"
#include "device/UsbBackend.h"
#include "support/InstrumentBuilders.h"
#include "support/RecordingWindow.h"
#include "support/TestEnvironment.h"
#include "support/gtest/DeviceTest.h"

namespace oront::test {
namespace {

// A server instance of a named pipe in message mode, as the driver's
// endpoint delivers whole packets.
HANDLE NewPipeInstance(const std::string& name) {
    return CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 2, 256, 256, 0,
                            nullptr);
}

// Two instances of one named pipe: the write pipe is connected to the first,
// the read pipe to the second.
class Win32BackendTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        m_name = "\\\\.\\pipe\\oront-device-test-" + std::to_string(GetCurrentProcessId());
        m_backend = CreateUsbBackend();
        // One instance at a time, so that each client meets a known instance.
        m_servers[0] = NewPipeInstance(m_name);
        m_write = m_backend->OpenPipe(m_name, PipeAccess::Write);
        m_servers[1] = NewPipeInstance(m_name);
        m_read = m_backend->OpenPipe(m_name, PipeAccess::Read);
        ASSERT_NE(m_servers[0], INVALID_HANDLE_VALUE);
        ASSERT_NE(m_servers[1], INVALID_HANDLE_VALUE);
        ASSERT_NE(m_write, kInvalidPipe);
        ASSERT_NE(m_read, kInvalidPipe);
    }
    void TearDown() override {
        if (m_backend) {
            m_backend->ClosePipe(m_write);
            m_backend->ClosePipe(m_read);
        }
        for (HANDLE server : m_servers) CloseHandle(server);
        DeviceTest::TearDown();
    }

    // The instrument's side: a packet on the read pipe, a command from the
    // write pipe.
    void ServerSends(const void* bytes, DWORD length) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(m_servers[1], bytes, length, &written, nullptr));
        ASSERT_EQ(written, length);
    }
    std::string ServerReceives() {
        char received[256];
        DWORD got = 0;
        if (!ReadFile(m_servers[0], received, sizeof received, &got, nullptr)) return {};
        return std::string(received, got);
    }

    std::string m_name;
    HANDLE m_servers[2]{};
    std::unique_ptr<DeviceBackend> m_backend;
    PipeHandle m_write = kNullPipe;
    PipeHandle m_read = kNullPipe;
};

TEST_F(Win32BackendTest, WritesACommandAndReadsFullAndShortPackets) {
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    ASSERT_TRUE(m_backend->WritePipe(m_write, command, sizeof command, kWriteWaitMs));
    EXPECT_EQ(ServerReceives(), "@03P\r");

    std::uint8_t sent[kPacketSize];
    for (std::size_t i = 0; i < kPacketSize; ++i) sent[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ServerSends(sent, kPacketSize);
    std::uint8_t packet[kPacketSize]{};
    ASSERT_TRUE(m_backend->ReadPipe(m_read, packet, 1000));
    EXPECT_EQ(std::memcmp(packet, sent, kPacketSize), 0);

    // A short packet counts; the rest of the caller's zeroed buffer stays zero.
    ServerSends("\x1F\x40", 2);
    std::memset(packet, 0, sizeof packet);
    ASSERT_TRUE(m_backend->ReadPipe(m_read, packet, 300));
    EXPECT_EQ(packet[0], 0x1F);
    EXPECT_EQ(packet[1], 0x40);
    for (std::size_t i = 2; i < kPacketSize; ++i) ASSERT_EQ(packet[i], 0) << i;
}

TEST_F(Win32BackendTest, ATimedOutReadWaitsItsTimeIsCancelledAndLosesNoLaterPacket) {
    // Nothing sent: the read gives up after its wait and cancels its transfer.
    std::uint8_t packet[kPacketSize]{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_backend->ReadPipe(m_read, packet, 120));
    const double waited = MillisecondsSince(start);
    EXPECT_GE(waited, 110.0);
    EXPECT_LT(waited, 1900.0) << "the read outlived its wait";
    for (std::uint8_t b : packet) ASSERT_EQ(b, 0);

    // The cancelled read took nothing: the next packet goes to the next read.
    ServerSends("@03C\r", 5);
    ASSERT_TRUE(m_backend->ReadPipe(m_read, packet, 300));
    EXPECT_EQ(std::memcmp(packet, "@03C\r", 5), 0);
}

TEST_F(Win32BackendTest, ClosedOrMissingPipesFailAndNoInterfaceIsFound) {
    std::uint8_t packet[kPacketSize]{};
    for (PipeHandle closed : {kNullPipe, kInvalidPipe}) {
        EXPECT_FALSE(m_backend->ReadPipe(closed, packet, 10));
        EXPECT_FALSE(m_backend->WritePipe(closed, packet, 5, 10));
        m_backend->ClosePipe(closed);  // harmless
    }
    EXPECT_EQ(m_backend->OpenPipe("\\\\.\\pipe\\oront-no-such-pipe", PipeAccess::Read), kInvalidPipe);
    EXPECT_EQ(m_backend->OpenPipe("\\\\.\\pipe\\oront-no-such-pipe\\MCHP_EP1", PipeAccess::Write), kInvalidPipe);
    // No device exposes this interface class.
    const Guid none{0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::string path;
    EXPECT_FALSE(m_backend->FindDevicePath(none, path));
}

TEST(Win32NoInstrument, LinkFailsAndBothPipesStayClosed) {
    std::unique_ptr<DeviceBackend> backend = CreateUsbBackend();
    std::string path;
    EXPECT_FALSE(backend->FindDevicePath(kInstrumentInterfaceClass, path));

    CUsbIF usb(backend.get());
    EXPECT_FALSE(OpenDeviceLink(usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
}

TEST(Win32NoInstrument, ReadAndDeleteShowTheConnectMessage) {
    std::unique_ptr<DeviceBackend> backend = CreateUsbBackend();
    RecordingWindow window;
    MainWindowLogic logic(window, backend.get());
    logic.OnInitDialog();

    logic.OnReadRecords();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "Failed to connect USB device!");
    EXPECT_EQ(logic.State(), Failed);
    EXPECT_FALSE(logic.DataNotSaved());

    logic.OnDeleteRecords();
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1], "Failed to connect USB device!");
    EXPECT_TRUE(window.questions.empty()) << "no confirmation without an instrument";
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
}

// The count query through the link, over the backend's overlapped pipes; the
// driver's interface path is played by a pipe-name prefix, so that the link
// appends "\MCHP_EP1" itself.
TEST(Win32LinkTest, CountQueryThroughTheLinkOverOverlappedPipes) {
    const std::string path = "\\\\.\\pipe\\oront-link-test-" + std::to_string(GetCurrentProcessId());
    const std::string name = path + "\\MCHP_EP1";
    auto backend = CreateUsbBackend();
    RecordingBackend link(*backend, path);
    CUsbIF usb(&link);
    HANDLE servers[2];
    for (HANDLE& server : servers) {
        server = NewPipeInstance(name);
        ASSERT_NE(server, INVALID_HANDLE_VALUE);
    }
    // The instrument answers on whichever instance did not carry the command.
    std::thread instrument([&] {
        for (int poll = 0; poll < 500; ++poll) {
            for (int k = 0; k < 2; ++k) {
                DWORD available = 0;
                if (!PeekNamedPipe(servers[k], nullptr, 0, nullptr, &available, nullptr) || available == 0) continue;
                char command[64];
                DWORD got = 0;
                DWORD written = 0;
                if (ReadFile(servers[k], command, sizeof command, &got, nullptr) &&
                    std::string(command, got) == "@03P\r") {
                    WriteFile(servers[1 - k], "\x80\x05", 2, &written, nullptr);
                }
                return;
            }
            Sleep(2);
        }
    });
    g_hWritePipe = g_hReadPipe = kNullPipe;
    const bool open = OpenDeviceLink(usb);
    CommandBuffers io;
    RecordStore store;
    const bool counted = open && QueryRecordCount(usb, io, store);
    instrument.join();
    EXPECT_TRUE(open);
    EXPECT_EQ(std::string(usb.m_szPath[1]), name);
    EXPECT_EQ(link.opened, (std::vector<std::string>{"W " + name, "R " + name}));
    EXPECT_TRUE(counted);
    EXPECT_EQ(store.m_nRecordCount, 8000);
    EXPECT_EQ(store.m_nWrapPosition, 5);
    usb.ClosePipes();
    for (HANDLE server : servers) CloseHandle(server);
}

}  // namespace
}  // namespace oront::test

#endif  // _WIN32
