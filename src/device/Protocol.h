// The instrument's command protocol: "@03P\r" (record count), "@07R2000\r"
// (all records) and "@03C\r" (erase), with their waits and reply checks.
#pragma once

#include <cstdint>
#include <functional>

#include "device/DeviceLink.h"
#include "records/RecordStore.h"

namespace oront {

constexpr int kCountWaitMs = 300;
constexpr int kEraseWaitMs = 2000;
constexpr int kPacketWaitMs = 100;
// The most record packets one read requests (4 KiB).
constexpr int kPacketsPerRead = 64;

// The exchange buffers of the main window.
struct CommandBuffers {
    std::uint8_t m_command[kPacketSize]{};
    std::uint8_t m_reply[kPacketSize]{};
};

// A packet whose bytes 0..2 are "@ER" is a refusal.
bool IsErrorReply(const std::uint8_t* packet);

// Sets m_nRecordCount (first to 0) and m_nWrapPosition. A count above 8000
// without the wrap bit, or a wrap position of 8000 or more, is a malformed
// reply and fails.
bool QueryRecordCount(CUsbIF& usb, CommandBuffers& io, RecordStore& store);

bool EraseRecords(CUsbIF& usb, CommandBuffers& io);

struct DownloadHooks {
    // Called after every record received: (records received, record count).
    std::function<void(int, int)> progress;
    // Called with every packet as it arrives (the dump command records them).
    std::function<void(const std::uint8_t*)> packetReceived;
    // Asked before every packet is read: true ends the download there (a
    // user's cancel request).
    std::function<bool()> cancelled;
};

// Resets the store for a download (ResetForDownload), receives
// 2 x m_nRecordCount packets, decodes them into the slots (m_records,
// m_nSerialNumber) and closes the pipes. A missing packet or an error reply
// fails at once and leaves the pipes open. A cancelled download fails too,
// and closes the pipes, so that the packets the instrument is still sending
// go with them. The tables are not built here: after a complete download the
// caller builds them from the slots.
bool DownloadRecords(CUsbIF& usb, CommandBuffers& io, RecordStore& store, const DownloadHooks& hooks = {});

}  // namespace oront
