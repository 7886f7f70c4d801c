#include "device/DeviceLink.h"

#include <algorithm>
#include <cstring>

namespace oront {

PipeHandle g_hWritePipe = kNullPipe;
PipeHandle g_hReadPipe = kNullPipe;

namespace {

bool IsOpen(PipeHandle pipe) {
    return pipe != kNullPipe && pipe != kInvalidPipe;
}

// Closes one process-wide handle if it is set and nulls it. An invalid handle
// (an open that failed) holds no resource, so it is only forgotten.
void CloseAndNull(DeviceBackend* backend, PipeHandle& pipe) {
    if (pipe == kNullPipe) return;
    if (backend != nullptr && pipe != kInvalidPipe) backend->ClosePipe(pipe);
    pipe = kNullPipe;
}

}  // namespace

CUsbIF::CUsbIF(DeviceBackend* backend) : m_pBackend(backend) {
    std::memset(m_szPath[0], 0, sizeof m_szPath[0]);
}

CUsbIF::~CUsbIF() = default;

bool CUsbIF::FindDevicePath() {
    if (m_pBackend == nullptr) return false;
    std::string path;
    if (!m_pBackend->FindDevicePath(m_guid, path)) return false;
    // The path is copied into three fixed buffers. A path that does not fit
    // (or that holds a NUL byte, which would cut it short) cannot name the
    // instrument's pipes: it is refused rather than truncated into the name
    // of some other file.
    if (path.empty() || path.size() >= kPathBufferSize || path.find('\0') != std::string::npos) return false;
    for (auto& copy : m_szPath) {
        std::memset(copy, 0, sizeof copy);
        std::memcpy(copy, path.data(), path.size());
    }
    return true;
}

PipeHandle CUsbIF::OpenPipeFromCopy(int copy, PipeAccess access) {
    if (m_pBackend == nullptr) return kInvalidPipe;
    char* buffer = m_szPath[copy];
    const void* end = std::memchr(buffer, 0, kPathBufferSize);
    const std::size_t pathLength =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : kPathBufferSize;
    const std::size_t suffixLength = std::strlen(kPipeSuffix);
    // The pipe name must fit the buffer with its terminating NUL; a name that
    // would be cut short is a failure to open, never a shortened name.
    if (pathLength == 0 || pathLength + suffixLength >= kPathBufferSize) return kInvalidPipe;
    std::memcpy(buffer + pathLength, kPipeSuffix, suffixLength + 1);
    const PipeHandle pipe = m_pBackend->OpenPipe(std::string(buffer, pathLength + suffixLength), access);
    return pipe == kNullPipe ? kInvalidPipe : pipe;
}

PipeHandle CUsbIF::OpenReadPipe() {
    return OpenPipeFromCopy(1, PipeAccess::Read);
}

PipeHandle CUsbIF::OpenWritePipe() {
    return OpenPipeFromCopy(2, PipeAccess::Write);
}

bool CUsbIF::WritePipe(const std::uint8_t* data, std::size_t length) {
    if (m_pBackend == nullptr || !IsOpen(g_hWritePipe) || data == nullptr) return false;
    return m_pBackend->WritePipe(g_hWritePipe, data, length, kWriteWaitMs);
}

bool CUsbIF::ReadPipe(std::uint8_t* buffer64, int waitMs) {
    if (buffer64 == nullptr) return false;
    std::memset(buffer64, 0, kPacketSize);
    if (m_pBackend == nullptr || !IsOpen(g_hReadPipe)) return false;
    return m_pBackend->ReadPipe(g_hReadPipe, buffer64, waitMs < 0 ? 0 : waitMs);
}

int CUsbIF::ReadPackets(std::uint8_t* buffer, int packets, int waitMs) {
    if (buffer == nullptr || packets <= 0) return 0;
    std::memset(buffer, 0, static_cast<std::size_t>(packets) * kPacketSize);
    if (m_pBackend == nullptr || !IsOpen(g_hReadPipe)) return 0;
    return std::clamp(m_pBackend->ReadPackets(g_hReadPipe, buffer, packets, waitMs < 0 ? 0 : waitMs), 0, packets);
}

void CUsbIF::ClosePipes() {
    CloseAndNull(m_pBackend, g_hWritePipe);
    CloseAndNull(m_pBackend, g_hReadPipe);
}

bool OpenDeviceLink(CUsbIF& usb) {
    usb.ClosePipes();
    usb.m_guid = kInstrumentInterfaceClass;
    if (!usb.FindDevicePath()) return false;
    g_hWritePipe = usb.OpenWritePipe();
    g_hReadPipe = usb.OpenReadPipe();
    if (g_hWritePipe == kInvalidPipe || g_hReadPipe == kInvalidPipe) {
        usb.ClosePipes();
        return false;
    }
    return true;
}

}  // namespace oront
