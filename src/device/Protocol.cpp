#include "device/Protocol.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "records/RecordFrame.h"
#include "records/TableBuild.h"

namespace oront {

namespace {

constexpr std::string_view kCountCommand = "@03P\r";
constexpr std::string_view kReadCommand = "@07R2000\r";
constexpr std::string_view kEraseCommand = "@03C\r";

constexpr unsigned kWrapBit = 0x8000;

// Copies the command into the command buffer (at most 64 bytes) and writes
// exactly the command's own bytes.
bool SendCommand(CUsbIF& usb, CommandBuffers& io, std::string_view command) {
    const std::size_t length = command.size() < kPacketSize ? command.size() : kPacketSize;
    std::memset(io.m_command, 0, sizeof io.m_command);
    std::memcpy(io.m_command, command.data(), length);
    return usb.WritePipe(io.m_command, length);
}

// Reads one reply packet; no packet in time, or an error reply, fails.
bool ReceiveReply(CUsbIF& usb, CommandBuffers& io, int waitMs) {
    std::memset(io.m_reply, 0, sizeof io.m_reply);
    if (!usb.ReadPipe(io.m_reply, waitMs)) return false;
    return !IsErrorReply(io.m_reply);
}

bool Exchange(CUsbIF& usb, CommandBuffers& io, std::string_view command, int waitMs) {
    if (!SendCommand(usb, io, command)) return false;
    return ReceiveReply(usb, io, waitMs);
}

}  // namespace

bool IsErrorReply(const std::uint8_t* packet) {
    return packet != nullptr && packet[0] == '@' && packet[1] == 'E' && packet[2] == 'R';
}

bool QueryRecordCount(CUsbIF& usb, CommandBuffers& io, RecordStore& store) {
    store.m_nRecordCount = 0;
    if (!Exchange(usb, io, kCountCommand, kCountWaitMs)) return false;
    const unsigned value = (static_cast<unsigned>(io.m_reply[0]) << 8) | io.m_reply[1];
    if ((value & kWrapBit) != 0) {
        // The ring of records has wrapped; the low bits name the slot of the
        // oldest record, which must be one of the ring's slots.
        const int wrapPosition = static_cast<int>(value & ~kWrapBit);
        if (wrapPosition >= kMaxRecords) return false;
        store.m_nRecordCount = kMaxRecords;
        store.m_nWrapPosition = wrapPosition;
        return true;
    }
    // More records than the ring holds cannot be stored by the instrument:
    // such a reply is malformed and nothing is downloaded for it.
    if (value > static_cast<unsigned>(kMaxRecords)) return false;
    store.m_nRecordCount = static_cast<int>(value);
    store.m_nWrapPosition = 0;
    return true;
}

bool EraseRecords(CUsbIF& usb, CommandBuffers& io) {
    return Exchange(usb, io, kEraseCommand, kEraseWaitMs);
}

bool DownloadRecords(CUsbIF& usb, CommandBuffers& io, RecordStore& store, const DownloadHooks& hooks) {
    // The count and wrap position come from the count query; values outside
    // the ring would make the decoder or the rotation leave the slots.
    const int count = store.m_nRecordCount;
    if (count < 0 || count > kMaxRecords || store.m_nWrapPosition < 0 || store.m_nWrapPosition >= kMaxRecords) {
        return false;
    }

    ResetForDownload(store);
    if (!SendCommand(usb, io, kReadCommand)) return false;
    store.m_nReportLineCount = 0;

    // The slots grow with the records that actually arrive, so that a count
    // the instrument does not follow up costs nothing.
    const auto slotsNeeded = static_cast<std::size_t>(count);
    FrameDecoder decoder;
    decoder.Reset();
    const int packets = 2 * count;
    // The packets are read in large requests, as many as are still expected
    // up to kPacketsPerRead, and then taken one by one as before: the cancel
    // asked before each, the error reply, the progress and the dump after
    // each. A request that brings fewer brings those (the next one asks for
    // the rest); one that brings none is a missing packet.
    std::vector<std::uint8_t> batch(static_cast<std::size_t>(std::min(packets, kPacketsPerRead)) * kPacketSize);
    int inBatch = 0;
    int taken = 0;
    for (int i = 0; i < packets; ++i) {
        if (hooks.cancelled && hooks.cancelled()) {
            usb.ClosePipes();
            return false;
        }
        if (taken == inBatch) {
            inBatch = usb.ReadPackets(batch.data(), std::min(packets - i, kPacketsPerRead), kPacketWaitMs);
            taken = 0;
            if (inBatch == 0) return false;
        }
        std::memcpy(io.m_reply, batch.data() + static_cast<std::size_t>(taken++) * kPacketSize, kPacketSize);
        if (hooks.packetReceived) hooks.packetReceived(io.m_reply);
        if (IsErrorReply(io.m_reply)) return false;
        const auto index = static_cast<std::size_t>(i / 2);
        if (store.m_records.size() <= index) {
            store.m_records.resize(std::min(slotsNeeded, std::max(index + 1, 2 * store.m_records.size())));
        }
        MeasurementRecord& slot = store.m_records[index];
        if (i % 2 == 0) {
            decoder.DecodePacketA(io.m_reply, slot);
        } else {
            store.m_nSerialNumber = decoder.DecodePacketB(io.m_reply, slot);
            if (hooks.progress) hooks.progress(i / 2 + 1, count);
        }
    }

    if (store.m_records.size() < slotsNeeded) store.m_records.resize(slotsNeeded);
    usb.ClosePipes();
    return true;
}

}  // namespace oront
