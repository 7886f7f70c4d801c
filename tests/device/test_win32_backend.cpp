// The Windows backend's overlapped transfers, run against a named pipe that
// stands in for the vendor driver's endpoint (Windows and Wine only).
#ifdef _WIN32

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "device/DeviceLink.h"
#include "device/Protocol.h"
#include "device/UsbBackend.h"

namespace oront::test {
namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Two instances of one named pipe: the write pipe is connected to the first,
// the read pipe to the second.
class Win32BackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = "\\\\.\\pipe\\oront-device-test-" + std::to_string(GetCurrentProcessId());
        m_backend = CreateUsbBackend();
        // One instance at a time, so that each client meets a known instance.
        m_servers[0] = NewInstance();
        m_write = m_backend->OpenPipe(m_name, PipeAccess::Write);
        m_servers[1] = NewInstance();
        m_read = m_backend->OpenPipe(m_name, PipeAccess::Read);
        ASSERT_NE(m_servers[0], INVALID_HANDLE_VALUE);
        ASSERT_NE(m_servers[1], INVALID_HANDLE_VALUE);
        ASSERT_NE(m_write, kInvalidPipe);
        ASSERT_NE(m_read, kInvalidPipe);
    }
    HANDLE NewInstance() {
        return CreateNamedPipeA(m_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 2, 256,
                                256, 0, nullptr);
    }
    void TearDown() override {
        if (m_backend) {
            m_backend->ClosePipe(m_write);
            m_backend->ClosePipe(m_read);
        }
        for (HANDLE server : m_servers) CloseHandle(server);
    }

    void ServerSends(const char* bytes, DWORD length) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(m_servers[1], bytes, length, &written, nullptr));
    }

    std::string m_name;
    HANDLE m_servers[2]{};
    std::unique_ptr<DeviceBackend> m_backend;
    PipeHandle m_write = kNullPipe;
    PipeHandle m_read = kNullPipe;
};

TEST_F(Win32BackendTest, WritesACommandAndReadsShortAndFullPackets) {
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    ASSERT_TRUE(m_backend->WritePipe(m_write, command, sizeof command, kWriteWaitMs));
    char received[64]{};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(m_servers[0], received, sizeof received, &got, nullptr));
    EXPECT_EQ(std::string(received, got), "@03P\r");

    ServerSends("\x1F\x40", 2);
    std::uint8_t packet[kPacketSize];
    std::memset(packet, 0, sizeof packet);
    ASSERT_TRUE(m_backend->ReadPipe(m_read, packet, 300));
    EXPECT_EQ(packet[0], 0x1F);
    EXPECT_EQ(packet[1], 0x40);
    for (std::size_t i = 2; i < kPacketSize; ++i) ASSERT_EQ(packet[i], 0);
}

TEST_F(Win32BackendTest, ATimedOutReadIsCancelledAndLosesNoLaterPacket) {
    std::uint8_t packet[kPacketSize]{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_backend->ReadPipe(m_read, packet, 120));
    EXPECT_GE(MillisecondsSince(start), 110.0);
    for (std::uint8_t b : packet) ASSERT_EQ(b, 0);

    // The cancelled read took nothing: the next packet goes to the next read.
    ServerSends("@03C\r", 5);
    ASSERT_TRUE(m_backend->ReadPipe(m_read, packet, 300));
    EXPECT_EQ(std::memcmp(packet, "@03C\r", 5), 0);
}

TEST_F(Win32BackendTest, ClosedOrWrongPipesFailAndNoInterfaceIsFound) {
    std::uint8_t packet[kPacketSize]{};
    EXPECT_FALSE(m_backend->ReadPipe(kNullPipe, packet, 10));
    EXPECT_FALSE(m_backend->ReadPipe(kInvalidPipe, packet, 10));
    EXPECT_FALSE(m_backend->WritePipe(kInvalidPipe, packet, 5, 10));
    EXPECT_EQ(m_backend->OpenPipe("\\\\.\\pipe\\oront-no-such-pipe", PipeAccess::Read), kInvalidPipe);
    // No device exposes this interface class.
    const Guid none{0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::string path;
    EXPECT_FALSE(m_backend->FindDevicePath(none, path));
}

// The driver's interface path, played by a pipe-name prefix, so the link
// appends "\MCHP_EP1" itself.
class PipePathBackend : public DeviceBackend {
public:
    PipePathBackend(DeviceBackend& inner, std::string path) : m_inner(inner), m_path(std::move(path)) {}
    bool FindDevicePath(const Guid&, std::string& path) override {
        path = m_path;
        return true;
    }
    PipeHandle OpenPipe(const std::string& name, PipeAccess access) override { return m_inner.OpenPipe(name, access); }
    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override {
        return m_inner.WritePipe(pipe, data, length, waitMs);
    }
    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override {
        return m_inner.ReadPipe(pipe, buffer, waitMs);
    }
    void ClosePipe(PipeHandle pipe) override { m_inner.ClosePipe(pipe); }

private:
    DeviceBackend& m_inner;
    std::string m_path;
};

TEST(Win32LinkTest, CountQueryThroughTheLinkOverOverlappedPipes) {
    const std::string path = "\\\\.\\pipe\\oront-link-test-" + std::to_string(GetCurrentProcessId());
    const std::string name = path + "\\MCHP_EP1";
    auto backend = CreateUsbBackend();
    PipePathBackend link(*backend, path);
    CUsbIF usb(&link);
    HANDLE servers[2];
    for (HANDLE& server : servers) {
        server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 2, 256,
                                  256, 0, nullptr);
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
    EXPECT_TRUE(counted);
    EXPECT_EQ(store.m_nRecordCount, 8000);
    EXPECT_EQ(store.m_nWrapPosition, 5);
    usb.ClosePipes();
    for (HANDLE server : servers) CloseHandle(server);
}

}  // namespace
}  // namespace oront::test

#endif  // _WIN32
