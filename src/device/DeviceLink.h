// The device link: the transport's five operations, the CUsbIF object that
// owns the instrument's path, and the process-wide pipe handles.
//
// The instrument exposes one bulk endpoint pair, opened as two pipes: a read
// pipe and a write pipe. A backend supplies the five operations (find, open,
// write within a wait, read one 64-byte packet within a wait, close); the
// logic above it never knows which backend it talks to.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace oront {

using PipeHandle = std::intptr_t;
constexpr PipeHandle kNullPipe = 0;      // closed
constexpr PipeHandle kInvalidPipe = -1;  // an open that failed

constexpr std::size_t kPacketSize = 64;
constexpr int kWriteWaitMs = 50;
constexpr std::size_t kPathBufferSize = 256;
constexpr const char* kPipeSuffix = "\\MCHP_EP1";

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
// {5354FA28-6D14-4E35-A1F5-75BB54E6030F}
constexpr Guid kInstrumentInterfaceClass{0x5354FA28, 0x6D14, 0x4E35, {0xA1, 0xF5, 0x75, 0xBB, 0x54, 0xE6, 0x03, 0x0F}};

enum class PipeAccess { Read, Write };

// The five operations of the transport.
class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // Finds the first present device interface of the class and writes its
    // path. The path must fit kPathBufferSize - 1 bytes together with the
    // pipe suffix; CUsbIF checks that.
    virtual bool FindDevicePath(const Guid& interfaceClass, std::string& path) = 0;
    // Opens "<path>\MCHP_EP1" for reading or writing, without sharing;
    // kInvalidPipe on failure (never kNullPipe).
    virtual PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) = 0;
    // Writes the bytes; true when the write completed within waitMs.
    virtual bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) = 0;
    // Reads one packet of up to 64 bytes into buffer (already zeroed by the
    // caller); true when a read completed within waitMs. A read that times
    // out has cancelled its transfer before it returns.
    virtual bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) = 0;
    // Reads up to `packets` packets of 64 bytes in one request into buffer
    // (already zeroed by the caller), waiting at most `packets` times waitMs
    // in all: the number of packets that arrived (the last one may be
    // short), 0 when none did. A backend without larger reads reads one.
    virtual int ReadPackets(PipeHandle pipe, std::uint8_t* buffer, int packets, int waitMs) {
        return packets > 0 && ReadPipe(pipe, buffer, waitMs) ? 1 : 0;
    }
    // Closes a pipe this backend opened; unknown handles are ignored.
    virtual void ClosePipe(PipeHandle pipe) = 0;
    // Why the last FindDevicePath or OpenPipe failed, in words, where the
    // backend can tell ("no USB device with the id 04D8:000C is attached");
    // empty otherwise.
    [[nodiscard]] virtual std::string FailureText() const { return {}; }
};

// Process-wide pipe handles; kNullPipe when closed.
extern PipeHandle g_hWritePipe;
extern PipeHandle g_hReadPipe;

class CUsbIF {
public:
    explicit CUsbIF(DeviceBackend* backend = nullptr);
    virtual ~CUsbIF();

    void SetBackend(DeviceBackend* backend) { m_pBackend = backend; }
    DeviceBackend* Backend() const { return m_pBackend; }

    bool FindDevicePath();
    PipeHandle OpenReadPipe();
    PipeHandle OpenWritePipe();
    bool WritePipe(const std::uint8_t* data, std::size_t length);  // waits at most 50 ms
    bool ReadPipe(std::uint8_t* buffer64, int waitMs);             // zero-fills first
    // Up to `packets` packets (buffer holds packets x 64 bytes, zero-filled
    // first): the number that arrived.
    int ReadPackets(std::uint8_t* buffer, int packets, int waitMs);
    void ClosePipes();

    Guid m_guid{};
    // Copy 1 stays the plain path, copy 2 becomes the read-pipe name, copy 3
    // the write-pipe name.
    char m_szPath[3][kPathBufferSize]{};

private:
    PipeHandle OpenPipeFromCopy(int copy, PipeAccess access);
    DeviceBackend* m_pBackend;
};

// Closes any old pipes, finds the instrument and opens the write pipe, then
// the read pipe. True when both are open; on failure both handles are null.
bool OpenDeviceLink(CUsbIF& usb);

}  // namespace oront
