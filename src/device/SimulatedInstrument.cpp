#include "device/SimulatedInstrument.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace oront {

namespace {

bool SameGuid(const Guid& a, const Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace

SimulatedInstrument::SimulatedInstrument(MemoryImage image, SimulatorFaults faults)
    : m_image(std::move(image)), m_faults(faults) {}

const char* SimulatedInstrument::DevicePath() {
    return "\\\\?\\usb#vid_04d8&pid_000c#simulated#{5354fa28-6d14-4e35-a1f5-75bb54e6030f}";
}

std::string SimulatedInstrument::FailureText() const {
    return m_faults.noDevice ? "no instrument is attached" : std::string();
}

bool SimulatedInstrument::FindDevicePath(const Guid& interfaceClass, std::string& path) {
    if (m_faults.noDevice || !SameGuid(interfaceClass, kInstrumentInterfaceClass)) return false;
    path = DevicePath();
    return true;
}

PipeHandle SimulatedInstrument::OpenPipe(const std::string& pipeName, PipeAccess access) {
    if (m_faults.noDevice || pipeName != std::string(DevicePath()) + kPipeSuffix) return kInvalidPipe;
    if (access == PipeAccess::Read && m_faults.readPipeFails) return kInvalidPipe;
    if (access == PipeAccess::Write && m_faults.writePipeFails) return kInvalidPipe;
    // Pipes are opened without sharing: a second open of one direction fails.
    for (const auto& [handle, openAccess] : m_pipes) {
        if (openAccess == access) return kInvalidPipe;
    }
    const PipeHandle handle = m_nextHandle++;
    m_pipes.emplace(handle, access);
    return handle;
}

void SimulatedInstrument::QueueImagePackets(std::size_t first, std::size_t end) {
    m_nextPacket = first;
    m_endPacket = std::max(first, end);
}

void SimulatedInstrument::QueueText(const char* text) {
    std::array<std::uint8_t, kPacketSize> packet{};
    std::memcpy(packet.data(), text, std::min(std::strlen(text), packet.size()));
    m_reply = packet;
}

bool SimulatedInstrument::WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int /*waitMs*/) {
    auto it = m_pipes.find(pipe);
    if (it == m_pipes.end() || it->second != PipeAccess::Write || m_faults.writeRefused) return false;
    const std::string command(reinterpret_cast<const char*>(data), length);
    m_commands.push_back(command);
    // A new command starts a new answer.
    m_reply.reset();
    m_nextPacket = m_endPacket = 0;

    const std::size_t packets = m_image.size() / kPacketSize;
    if (command == "@03P\r") {
        if (m_erased) {
            QueueText("");  // count 00 00
        } else if (packets >= 1) {
            QueueImagePackets(0, 1);
        }
    } else if (command == "@07R2000\r") {
        if (!m_erased) QueueImagePackets(1, packets);
    } else if (command == "@03C\r") {
        if (m_faults.eraseRefused) {
            QueueText("@ER\r");
        } else if (!m_faults.eraseSilent) {
            QueueText("@03C\r");
            m_erased = true;
        }
    } else {
        QueueText("@ER\r");
    }
    return true;
}

bool SimulatedInstrument::ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) {
    auto it = m_pipes.find(pipe);
    if (it == m_pipes.end() || it->second != PipeAccess::Read) return false;
    if (m_reply) {
        std::memcpy(buffer, m_reply->data(), kPacketSize);
        m_reply.reset();
    } else if (m_nextPacket < m_endPacket) {
        std::memcpy(buffer, m_image.data() + m_nextPacket++ * kPacketSize, kPacketSize);
    } else {
        // Nothing to send: the read waits out its wait, as on the wire.
        if (m_faults.realTimeSilence && waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return false;
    }
    ++m_packetsSent;
    return true;
}

int SimulatedInstrument::ReadPackets(PipeHandle pipe, std::uint8_t* buffer, int packets, int waitMs) {
    // The packets that are waiting, as one transfer takes them; only when
    // none is does the request wait (for as long as its packets would).
    int got = 0;
    while (got < packets && ReadPipe(pipe, buffer + static_cast<std::size_t>(got) * kPacketSize, 0)) ++got;
    if (got == 0 && packets > 0 && ReadPipe(pipe, buffer, waitMs * packets)) got = 1;
    return got;
}

void SimulatedInstrument::ClosePipe(PipeHandle pipe) {
    m_pipes.erase(pipe);
}

}  // namespace oront
