// The Windows device link with no instrument attached, and its overlapped
// pipe transfers against a named pipe that stands in for the driver's.
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
#include <vector>

#include "app/MainWindowLogic.h"
#include "base/Messages.h"
#include "device/DeviceLink.h"
#include "device/UsbBackend.h"

namespace oront {
namespace {

// A window that records the messages the logic shows.
class RecordingView : public MainWindowView {
public:
    std::vector<std::string> m_messages;
    int m_nQuestions = 0;
    void ShowMessage() override { m_messages.push_back(g_strMessage); }
    int Ask() override {
        ++m_nQuestions;
        return kEndCancel;
    }
    void EnableButton(int, bool) override {}
    void SetLabelText(int, const std::string&) override {}
    void ShowLabel(int, bool) override {}
    void SetFocus(int) override {}
    void SetWaitCursor(bool) override {}
    void ClearTable() override {}
    void FillTable() override {}
    void SelectFirstRow() override {}
    void Progress(int, int) override {}
    void EndDialog(int) override {}
};

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
    RecordingView view;
    MainWindowLogic logic(view, backend.get());
    logic.OnInitDialog();

    logic.OnReadRecords();
    ASSERT_EQ(view.m_messages.size(), 1u);
    EXPECT_EQ(view.m_messages[0], "Failed to connect USB device!");
    EXPECT_EQ(logic.State(), Failed);
    EXPECT_FALSE(logic.DataNotSaved());

    logic.OnDeleteRecords();
    ASSERT_EQ(view.m_messages.size(), 2u);
    EXPECT_EQ(view.m_messages[1], "Failed to connect USB device!");
    EXPECT_EQ(view.m_nQuestions, 0) << "no confirmation without an instrument";
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
}

// ---------------------------------------------------------------------------
// One server end of a named pipe; the backend opens the client end as if it
// were the driver's endpoint.
class PipeServer {
public:
    explicit PipeServer(const char* pszSuffix)
        : m_name("\\\\.\\pipe\\oront-v208-test-" + std::to_string(GetCurrentProcessId()) + "-" + pszSuffix) {
        m_hPipe = CreateNamedPipeA(m_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                   1, 4096, 4096, 0, nullptr);
    }
    ~PipeServer() {
        if (m_hPipe != INVALID_HANDLE_VALUE) CloseHandle(m_hPipe);
    }
    bool Valid() const { return m_hPipe != INVALID_HANDLE_VALUE; }
    const std::string& Name() const { return m_name; }
    void Connect() {
        // The client is already there: the call reports ERROR_PIPE_CONNECTED.
        ConnectNamedPipe(m_hPipe, nullptr);
    }
    bool Write(const void* data, DWORD length) {
        DWORD written = 0;
        return WriteFile(m_hPipe, data, length, &written, nullptr) && written == length;
    }
    std::string Read() {
        char buffer[256];
        DWORD got = 0;
        if (!ReadFile(m_hPipe, buffer, sizeof buffer, &got, nullptr)) return {};
        return std::string(buffer, got);
    }

private:
    std::string m_name;
    HANDLE m_hPipe = INVALID_HANDLE_VALUE;
};

TEST(Win32Pipes, ReadWaitsCancelsAndReadsPackets) {
    PipeServer server("in");
    ASSERT_TRUE(server.Valid());
    std::unique_ptr<DeviceBackend> backend = CreateUsbBackend();
    const PipeHandle pipe = backend->OpenPipe(server.Name(), PipeAccess::Read);
    ASSERT_NE(pipe, kInvalidPipe);
    server.Connect();

    // Nothing sent: the read gives up after its wait and cancels its transfer.
    std::uint8_t packet[kPacketSize] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(backend->ReadPipe(pipe, packet, 100));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(80));
    EXPECT_LT(waited, std::chrono::milliseconds(1900)) << "the cancelled read came back at once";

    // The link works again after the cancelled read.
    std::uint8_t sent[kPacketSize];
    for (std::size_t i = 0; i < kPacketSize; ++i) sent[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_TRUE(server.Write(sent, kPacketSize));
    EXPECT_TRUE(backend->ReadPipe(pipe, packet, 1000));
    EXPECT_EQ(std::memcmp(packet, sent, kPacketSize), 0);

    // A short packet counts; the rest of the caller's zeroed buffer stays zero.
    std::uint8_t shortPacket[kPacketSize] = {};
    ASSERT_TRUE(server.Write("@03P", 4));
    EXPECT_TRUE(backend->ReadPipe(pipe, shortPacket, 1000));
    EXPECT_EQ(std::memcmp(shortPacket, "@03P", 4), 0);
    for (std::size_t i = 4; i < kPacketSize; ++i) EXPECT_EQ(shortPacket[i], 0) << i;

    backend->ClosePipe(pipe);
}

TEST(Win32Pipes, WriteReachesTheOtherEnd) {
    PipeServer server("out");
    ASSERT_TRUE(server.Valid());
    std::unique_ptr<DeviceBackend> backend = CreateUsbBackend();
    const PipeHandle pipe = backend->OpenPipe(server.Name(), PipeAccess::Write);
    ASSERT_NE(pipe, kInvalidPipe);
    server.Connect();
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    EXPECT_TRUE(backend->WritePipe(pipe, command, sizeof command, kWriteWaitMs));
    EXPECT_EQ(server.Read(), "@03P\r");
    backend->ClosePipe(pipe);
}

TEST(Win32Pipes, MissingEndpointAndClosedHandles) {
    std::unique_ptr<DeviceBackend> backend = CreateUsbBackend();
    EXPECT_EQ(backend->OpenPipe("\\\\.\\pipe\\oront-v208-no-such-pipe\\MCHP_EP1", PipeAccess::Read), kInvalidPipe);
    std::uint8_t packet[kPacketSize] = {};
    const std::uint8_t command[] = {'@'};
    for (PipeHandle closed : {kNullPipe, kInvalidPipe}) {
        EXPECT_FALSE(backend->ReadPipe(closed, packet, 10));
        EXPECT_FALSE(backend->WritePipe(closed, command, sizeof command, 10));
        backend->ClosePipe(closed);  // harmless
    }
}

}  // namespace
}  // namespace oront
