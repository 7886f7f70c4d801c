// Arbitrary instrument answers through the count query and the download:
// the input is a memory image (count reply, then record packets) played by
// the simulated instrument without real-time waits. A second download from
// a shortened copy of the image reuses the store, as a second press of
// "Read Records" does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/DownloadTables.h"
#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"
#include "support/InstrumentBuilders.h"

namespace {

using namespace oront;

void Check(bool condition) {
    if (!condition) std::abort();
}

void ReadRecords(const MemoryImage& image, RecordStore& store) {
    SimulatedInstrument sim(image, test::InstantFaults());
    CUsbIF usb(&sim);
    CommandBuffers io;
    Check(OpenDeviceLink(usb));
    if (!QueryRecordCount(usb, io, store)) {
        Check(store.m_nRecordCount == 0);
        usb.ClosePipes();
        return;
    }
    Check(store.m_nRecordCount >= 0 && store.m_nRecordCount <= kMaxRecords);
    Check(store.m_nWrapPosition >= 0 && store.m_nWrapPosition < kMaxRecords);
    int packets = 0;
    DownloadHooks hooks;
    hooks.packetReceived = [&](const std::uint8_t*) { ++packets; };
    const bool ok = DownloadRecords(usb, io, store, hooks);
    Check(packets <= 2 * store.m_nRecordCount);
    Check(store.m_records.size() <= static_cast<std::size_t>(kMaxRecords));
    if (ok) {
        Check(packets == 2 * store.m_nRecordCount);
        Check(g_hReadPipe == kNullPipe && g_hWritePipe == kNullPipe);
        BuildDownloadTables(store, TFactorTable{});
        Check(store.m_nLastRow < static_cast<int>(store.m_rows.size()));
    } else {
        Check(store.m_nReportLineCount == 0);
    }
    usb.ClosePipes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxMemoryImageSize) return 0;
    MemoryImage image(data, data + size);
    RecordStore store;
    ReadRecords(image, store);
    image.resize(image.size() / 2);
    ReadRecords(image, store);
    return 0;
}
