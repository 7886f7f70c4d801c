// The instrument's pipes through the vendor driver on Windows.
//
// The driver exposes a device interface of the instrument's class; its path
// plus "\MCHP_EP1" names the endpoint pair, opened once for reading and once
// for writing with overlapped I/O. Every transfer has its own manual-reset
// event, waits for at most the caller's time, and is cancelled when the time
// runs out. A cancelled transfer is waited for before the call returns, so
// the driver never writes into memory that the call no longer owns.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "device/UsbBackend.h"

namespace oront {

namespace {

constexpr DWORD kMaxInterfaceIndex = 127;
// How long a cancelled transfer may take to come back from the driver.
constexpr DWORD kCancelWaitMs = 2000;

HANDLE ToHandle(PipeHandle pipe) {
    return reinterpret_cast<HANDLE>(pipe);
}

bool IsOpen(PipeHandle pipe) {
    return pipe != kNullPipe && ToHandle(pipe) != INVALID_HANDLE_VALUE;
}

GUID ToGuid(const Guid& g) {
    GUID guid{};
    guid.Data1 = g.data1;
    guid.Data2 = g.data2;
    guid.Data3 = g.data3;
    std::memcpy(guid.Data4, g.data4, sizeof guid.Data4);
    return guid;
}

// The memory of one overlapped transfer: it must stay valid until the driver
// has finished with it.
struct Overlapped {
    OVERLAPPED ov{};
    std::vector<std::uint8_t> buffer;

    Overlapped() = default;
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    ~Overlapped() {
        if (ov.hEvent != nullptr) CloseHandle(ov.hEvent);
    }
};

enum class Outcome { Completed, Failed };

// Waits for a started transfer at most waitMs. Timed out: cancels it and
// waits until the driver has given it back.
// `moved`: the bytes the transfer moved, also one that timed out or failed.
Outcome FinishTransfer(HANDLE file, std::unique_ptr<Overlapped>& io, int waitMs, DWORD* moved = nullptr) {
    DWORD transferred = 0;
    if (moved != nullptr) *moved = 0;
    const DWORD wait = WaitForSingleObject(io->ov.hEvent, static_cast<DWORD>(waitMs < 0 ? 0 : waitMs));
    if (wait == WAIT_OBJECT_0) {
        const bool done = GetOverlappedResult(file, &io->ov, &transferred, TRUE) != 0;
        if (moved != nullptr) *moved = transferred;
        return done ? Outcome::Completed : Outcome::Failed;
    }
    CancelIo(file);
    if (WaitForSingleObject(io->ov.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
        GetOverlappedResult(file, &io->ov, &transferred, FALSE);
        if (moved != nullptr) *moved = transferred;
    } else {
        // The driver still holds the transfer: its memory is deliberately
        // left allocated rather than freed under the driver's feet.
        static_cast<void>(io.release());
    }
    return Outcome::Failed;
}

class Win32Backend final : public DeviceBackend {
public:
    bool FindDevicePath(const Guid& interfaceClass, std::string& path) override {
        const GUID guid = ToGuid(interfaceClass);
        HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) return false;
        bool found = false;
        for (DWORD index = 0; index < kMaxInterfaceIndex && !found; ++index) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
                if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
                continue;  // a failed step is skipped
            }
            DWORD required = 0;
            SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
            if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
            // DWORD elements keep the detail structure aligned.
            std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) {
                // The path ends at its NUL within the bytes the system filled.
                const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
                const void* end = std::memchr(detail->DevicePath, 0, room);
                const std::size_t length =
                    end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - detail->DevicePath)
                                   : room;
                path.assign(detail->DevicePath, length);
                found = true;
            }
        }
        SetupDiDestroyDeviceInfoList(set);
        m_failure = found ? std::string() : "no device of the instrument's driver is present";
        return found;
    }

    [[nodiscard]] std::string FailureText() const override { return m_failure; }

    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override {
        const DWORD desired = access == PipeAccess::Read ? GENERIC_READ : GENERIC_WRITE;
        HANDLE file = CreateFileA(pipeName.c_str(), desired, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE || file == nullptr) {
            m_failure = "the instrument's pipe cannot be opened (system error " + std::to_string(GetLastError()) + ")";
            return kInvalidPipe;
        }
        return reinterpret_cast<PipeHandle>(file);
    }

    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override {
        if (!IsOpen(pipe) || length > MAXDWORD) return false;
        HANDLE file = ToHandle(pipe);
        PurgeComm(file, PURGE_TXCLEAR | PURGE_RXCLEAR);  // result ignored: the driver may not support it
        auto io = std::make_unique<Overlapped>();
        io->ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (io->ov.hEvent == nullptr) return false;
        io->buffer.assign(data, data + length);
        DWORD written = 0;
        if (WriteFile(file, io->buffer.data(), static_cast<DWORD>(length), &written, &io->ov)) return true;
        if (GetLastError() != ERROR_IO_PENDING) return false;
        return FinishTransfer(file, io, waitMs) == Outcome::Completed;
    }

    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override {
        if (!IsOpen(pipe)) return false;
        HANDLE file = ToHandle(pipe);
        auto io = std::make_unique<Overlapped>();
        io->ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (io->ov.hEvent == nullptr) return false;
        io->buffer.assign(kPacketSize, 0);
        DWORD got = 0;
        bool ok = false;
        if (ReadFile(file, io->buffer.data(), static_cast<DWORD>(kPacketSize), &got, &io->ov)) {
            ok = true;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            ok = FinishTransfer(file, io, waitMs) == Outcome::Completed;
        }
        // A shorter packet counts as a packet; its missing bytes stay zero.
        if (ok) std::memcpy(buffer, io->buffer.data(), kPacketSize);
        return ok;
    }

    int ReadPackets(PipeHandle pipe, std::uint8_t* buffer, int packets, int waitMs) override {
        // One read of the driver's pipe for all of them: it ends with the
        // packets that arrived when it is full, at a short packet, a
        // time-out or a failure.
        if (!IsOpen(pipe) || packets <= 0) return 0;
        HANDLE file = ToHandle(pipe);
        auto io = std::make_unique<Overlapped>();
        io->ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (io->ov.hEvent == nullptr) return 0;
        const auto size = static_cast<DWORD>(static_cast<std::size_t>(packets) * kPacketSize);
        io->buffer.assign(size, 0);
        DWORD got = 0;
        if (!ReadFile(file, io->buffer.data(), size, &got, &io->ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return 0;
            FinishTransfer(file, io, waitMs * packets, &got);
            if (!io) return 0;  // the driver still holds it
        }
        got = std::min<DWORD>(got, size);
        std::memcpy(buffer, io->buffer.data(), got);
        return static_cast<int>((got + kPacketSize - 1) / kPacketSize);
    }

    void ClosePipe(PipeHandle pipe) override {
        if (IsOpen(pipe)) CloseHandle(ToHandle(pipe));
    }

private:
    std::string m_failure;  // why the last find or open failed
};

}  // namespace

std::unique_ptr<DeviceBackend> CreateUsbBackend() {
    return std::make_unique<Win32Backend>();
}

}  // namespace oront
