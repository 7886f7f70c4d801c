// Instrument memories and the simulated instrument for the tests, the
// benchmarks and the fuzz targets: memory images, "Read Records" from an
// image, and a backend that records how the device link drives the
// transport.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront::test {

// The faults with silence that fails at once instead of waiting out the
// read's full wait.
SimulatorFaults InstantFaults(SimulatorFaults faults = {});

// Three Manual records (channel 1 counting 1000, 2000 and 3000); the last one
// carries serial number 2150043.
MemoryImage ThreeRecordImage();
// The image cut after `packets` record packets.
MemoryImage Truncated(MemoryImage image, int packets);
// Record packet `index` replaced by an error reply.
MemoryImage WithErrorPacket(MemoryImage image, int index);
// The count reply (bytes hi, lo) alone.
MemoryImage CountOnlyImage(std::uint8_t hi, std::uint8_t lo);

// "Read Records" from the simulated instrument playing `image` without
// real-time waits: the link opened, the count queried, the records
// downloaded and the tables of the download built. False at the first step
// that fails.
bool ReadRecordsFromImage(const MemoryImage& image, RecordStore& store, const TFactorTable& tFactor = {});

// Passes every call on to another backend and notes how the link drives it.
// With a device path given, FindDevicePath reports that path instead (a
// pipe-name prefix standing in for the driver's interface path).
class RecordingBackend : public DeviceBackend {
public:
    explicit RecordingBackend(DeviceBackend& inner, std::optional<std::string> devicePath = std::nullopt)
        : m_inner(inner), m_devicePath(std::move(devicePath)) {}

    bool FindDevicePath(const Guid& interfaceClass, std::string& path) override;
    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override;
    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override;
    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override;
    void ClosePipe(PipeHandle pipe) override;
    const Guid& LastGuid() const { return m_guid; }

    std::vector<std::string> opened;  // "R name" or "W name"
    std::vector<PipeHandle> closed;
    std::vector<int> writeWaits;
    std::vector<int> readWaits;

private:
    DeviceBackend& m_inner;
    std::optional<std::string> m_devicePath;
    Guid m_guid{};
};

}  // namespace oront::test
