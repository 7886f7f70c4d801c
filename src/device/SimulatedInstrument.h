// A simulated instrument that plays a memory image through the transport's
// five operations.
//
// "@03P\r" is answered with the image's count packet, "@07R2000\r" with its
// record packets in order, "@03C\r" with a confirming packet, after which the
// instrument reports 0 records. A packet it does not have is real silence:
// the read waits out its full wait and fails. Any other command is answered
// with an error reply. Each command discards whatever the previous one left
// unread. Only whole 64-byte packets of the image are ever sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/MemoryImage.h"

namespace oront {

struct SimulatorFaults {
    bool noDevice = false;        // FindDevicePath fails
    bool readPipeFails = false;   // the read pipe does not open
    bool writePipeFails = false;  // the write pipe does not open
    bool writeRefused = false;    // every write fails
    bool eraseRefused = false;    // "@03C\r" answered with an error reply
    bool eraseSilent = false;     // "@03C\r" not answered at all
    bool realTimeSilence = true;  // false: a silent read fails at once (fuzzing)
};

class SimulatedInstrument : public DeviceBackend {
public:
    explicit SimulatedInstrument(MemoryImage image, SimulatorFaults faults = {});
    [[nodiscard]] std::string FailureText() const override;

    bool FindDevicePath(const Guid& interfaceClass, std::string& path) override;
    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override;
    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override;
    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override;
    int ReadPackets(PipeHandle pipe, std::uint8_t* buffer, int packets, int waitMs) override;
    void ClosePipe(PipeHandle pipe) override;

    SimulatorFaults& Faults() { return m_faults; }
    const MemoryImage& Image() const { return m_image; }
    // The path FindDevicePath reports.
    static const char* DevicePath();
    // Every command written, in order (for tests).
    const std::vector<std::string>& Commands() const { return m_commands; }
    // Pipes currently open.
    int OpenPipeCount() const { return static_cast<int>(m_pipes.size()); }
    // Packets sent so far and packets still queued for reading.
    int PacketsSent() const { return m_packetsSent; }
    int PendingPackets() const { return (m_reply ? 1 : 0) + static_cast<int>(m_endPacket - m_nextPacket); }
    bool Erased() const { return m_erased; }

private:
    // The answer to the next reads: image packets first..end-1, or a reply
    // of the instrument's own.
    void QueueImagePackets(std::size_t first, std::size_t end);
    void QueueText(const char* text);

    MemoryImage m_image;
    SimulatorFaults m_faults;
    // Packets queued for reading: the reply, then image packets
    // m_nextPacket..m_endPacket-1 (read from the image, not copied).
    std::optional<std::array<std::uint8_t, kPacketSize>> m_reply;
    std::size_t m_nextPacket = 0;
    std::size_t m_endPacket = 0;
    std::vector<std::string> m_commands;
    std::map<PipeHandle, PipeAccess> m_pipes;  // open pipes
    PipeHandle m_nextHandle = 100;
    int m_packetsSent = 0;
    bool m_erased = false;
};

}  // namespace oront
