// A simulated instrument that plays a memory image through the transport's
// five operations.
//
// "@03P\r" is answered with the image's count packet, "@07R2000\r" with its
// record packets in order, "@03C\r" with a confirming packet, after which the
// instrument reports 0 records. A packet it does not have is real silence:
// the read waits out its full wait and fails.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/MemoryImage.h"

namespace oront {

struct SimulatorFaults {
    bool noDevice = false;          // FindDevicePath fails
    bool readPipeFails = false;     // the read pipe does not open
    bool writePipeFails = false;    // the write pipe does not open
    bool writeRefused = false;      // every write fails
    bool eraseRefused = false;      // "@03C\r" answered with an error reply
    bool eraseSilent = false;       // "@03C\r" not answered at all
    bool realTimeSilence = true;    // false: a silent read fails at once (fuzzing)
};

class SimulatedInstrument : public DeviceBackend {
public:
    explicit SimulatedInstrument(MemoryImage image, SimulatorFaults faults = {});

    bool FindDevicePath(const Guid& interfaceClass, std::string& path) override;
    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override;
    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override;
    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override;
    void ClosePipe(PipeHandle pipe) override;

    SimulatorFaults& Faults() { return m_faults; }
    // Every command written, in order (for tests).
    const std::vector<std::string>& Commands() const { return m_commands; }
    int OpenPipeCount() const { return m_openPipes; }
    bool Erased() const { return m_erased; }

private:
    MemoryImage m_image;
    SimulatorFaults m_faults;
    std::deque<std::vector<std::uint8_t>> m_pending;  // packets queued for reading
    std::vector<std::string> m_commands;
    int m_openPipes = 0;
    PipeHandle m_nextHandle = 100;
    bool m_erased = false;
};

}  // namespace oront
