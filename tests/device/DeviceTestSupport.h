// Helpers shared by the device-link tests: small instrument memories and a
// backend wrapper that records how the link drives the transport.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "records/RecordFrame.h"
#include "records/RecordStore.h"

namespace oront::test {

inline RawRecord ManualRecord(std::uint8_t minute, std::uint32_t ch1, std::uint32_t serial = 2150042) {
    RawRecord r;
    r.mode = 1;
    r.location = 7;
    r.point = 1;
    r.cyclesPerPoint = 1;
    r.cycle = 1;
    r.year = 15;
    r.month = 3;
    r.day = 7;
    r.hour = 8;
    r.minute = minute;
    r.sampleMinutes = 1;
    r.counts = {ch1, ch1 / 2, ch1 / 10, 0, 0, 0};
    r.serialNumber = serial;
    return r;
}

// Three Manual records; the last one carries serial number 2150043.
inline MemoryImage ThreeRecordImage() {
    return MakeMemoryImage(3, {ManualRecord(1, 1000), ManualRecord(2, 2000), ManualRecord(3, 3000, 2150043)});
}

// The image cut after `packets` record packets.
inline MemoryImage Truncated(MemoryImage image, int packets) {
    image.resize(kPacketSize * static_cast<std::size_t>(1 + packets));
    return image;
}

// Record packet `index` replaced by an error reply.
inline MemoryImage WithErrorPacket(MemoryImage image, int index) {
    std::uint8_t* packet = image.data() + kPacketSize * static_cast<std::size_t>(1 + index);
    std::memset(packet, 0, kPacketSize);
    std::memcpy(packet, "@ER\r", 4);
    return image;
}

inline MemoryImage CountOnlyImage(std::uint8_t hi, std::uint8_t lo) {
    MemoryImage image(kPacketSize, 0);
    image[0] = hi;
    image[1] = lo;
    return image;
}

// Passes every call on to a simulated instrument and notes the waits.
class RecordingBackend : public DeviceBackend {
public:
    explicit RecordingBackend(DeviceBackend& inner) : m_inner(inner) {}
    bool FindDevicePath(const Guid& interfaceClass, std::string& path) override {
        m_guid = interfaceClass;
        return m_inner.FindDevicePath(interfaceClass, path);
    }
    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override {
        opened.push_back((access == PipeAccess::Read ? "R " : "W ") + pipeName);
        return m_inner.OpenPipe(pipeName, access);
    }
    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override {
        writeWaits.push_back(waitMs);
        return m_inner.WritePipe(pipe, data, length, waitMs);
    }
    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override {
        readWaits.push_back(waitMs);
        return m_inner.ReadPipe(pipe, buffer, waitMs);
    }
    void ClosePipe(PipeHandle pipe) override {
        closed.push_back(pipe);
        m_inner.ClosePipe(pipe);
    }
    const Guid& LastGuid() const { return m_guid; }

    std::vector<std::string> opened;
    std::vector<PipeHandle> closed;
    std::vector<int> writeWaits;
    std::vector<int> readWaits;

private:
    DeviceBackend& m_inner;
    Guid m_guid{};
};

// Every test starts and ends with the process-wide pipes closed.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { g_hWritePipe = g_hReadPipe = kNullPipe; }
    void TearDown() override { g_hWritePipe = g_hReadPipe = kNullPipe; }
};

inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace oront::test
