#include "support/InstrumentBuilders.h"

#include <cstring>

#include "app/DownloadTables.h"
#include "device/Protocol.h"
#include "support/RecordBuilders.h"

namespace oront::test {

SimulatorFaults InstantFaults(SimulatorFaults faults) {
    faults.realTimeSilence = false;
    return faults;
}

MemoryImage ThreeRecordImage() {
    return MakeMemoryImage(3, {ManualRecord(1, 1000), ManualRecord(2, 2000), ManualRecord(3, 3000, 2150043)});
}

MemoryImage Truncated(MemoryImage image, int packets) {
    image.resize(kPacketSize * static_cast<std::size_t>(1 + packets));
    return image;
}

MemoryImage WithErrorPacket(MemoryImage image, int index) {
    std::uint8_t* packet = image.data() + kPacketSize * static_cast<std::size_t>(1 + index);
    std::memset(packet, 0, kPacketSize);
    std::memcpy(packet, "@ER\r", 4);
    return image;
}

MemoryImage CountOnlyImage(std::uint8_t hi, std::uint8_t lo) {
    MemoryImage image(kPacketSize, 0);
    image[0] = hi;
    image[1] = lo;
    return image;
}

bool ReadRecordsFromImage(const MemoryImage& image, RecordStore& store, const TFactorTable& tFactor) {
    SimulatedInstrument instrument(image, InstantFaults());
    CUsbIF usb(&instrument);
    CommandBuffers io;
    if (!OpenDeviceLink(usb) || !QueryRecordCount(usb, io, store) || !DownloadRecords(usb, io, store)) return false;
    BuildDownloadTables(store, tFactor);
    return true;
}

bool RecordingBackend::FindDevicePath(const Guid& interfaceClass, std::string& path) {
    m_guid = interfaceClass;
    if (!m_devicePath) return m_inner.FindDevicePath(interfaceClass, path);
    path = *m_devicePath;
    return true;
}

PipeHandle RecordingBackend::OpenPipe(const std::string& pipeName, PipeAccess access) {
    opened.push_back((access == PipeAccess::Read ? "R " : "W ") + pipeName);
    return m_inner.OpenPipe(pipeName, access);
}

bool RecordingBackend::WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) {
    writeWaits.push_back(waitMs);
    return m_inner.WritePipe(pipe, data, length, waitMs);
}

bool RecordingBackend::ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) {
    readWaits.push_back(waitMs);
    return m_inner.ReadPipe(pipe, buffer, waitMs);
}

void RecordingBackend::ClosePipe(PipeHandle pipe) {
    closed.push_back(pipe);
    m_inner.ClosePipe(pipe);
}

}  // namespace oront::test
