// The memory-image loader (--simulate IMAGE, the window's image files) on
// arbitrary files: a refused file gives a reason and leaves the image as it
// was; an accepted one is the file's bytes, and "Read Records" from it gives
// the same records as decoding its frames directly, each slot once in the
// result table.
//
// Input: byte 0 bit 0 set: the rest cut to whole 64-byte packets (so that
// most inputs load); clear: the rest as it stands. The rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Check.h"
#include "TempFile.h"
#include "app/DownloadTables.h"
#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"
#include "support/InstrumentBuilders.h"
#include "support/StoreBuilders.h"

namespace {

using namespace oront;

// Every row but group and summary rows shows a record (a record of an
// unknown mode too, with an empty kind).
bool IsRecordRow(const ResultRow& row) {
    return row.m_strKind != kind::kSummary && row.m_strKind != kind::kGroupExpanded &&
           row.m_strKind != kind::kGroupCollapsed;
}

// "Read Records" from the image, then the same frames decoded directly.
void Replay(const MemoryImage& image) {
    RecordStore store;
    SimulatedInstrument sim(image, test::InstantFaults());
    CUsbIF usb(&sim);
    CommandBuffers io;
    FUZZ_CHECK(OpenDeviceLink(usb));
    const bool ok = QueryRecordCount(usb, io, store) && DownloadRecords(usb, io, store);
    usb.ClosePipes();
    if (!ok) return;
    const int count = store.m_nRecordCount;
    FUZZ_CHECK(image.size() >= 64 + 128 * static_cast<std::size_t>(count));
    std::vector<Frame> frames(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < frames.size(); ++i)
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(64 + 128 * i), 128, frames[i].begin());
    RecordStore direct;
    test::PrepareDownload(direct, count, store.m_nWrapPosition);
    test::DecodeFrames(direct, frames);
    FUZZ_CHECK(store.m_records.size() == static_cast<std::size_t>(count));
    FUZZ_CHECK(store.m_nSerialNumber == direct.m_nSerialNumber);
    for (std::size_t i = 0; i < frames.size(); ++i)
        FUZZ_CHECK(test::Fields(store.m_records[i]) == test::Fields(direct.m_records[i]));

    BuildDownloadTables(store, TFactorTable{});
    FUZZ_CHECK(test::TableDisagreement(store).empty());
    std::vector<bool> seen(static_cast<std::size_t>(count));
    int records = 0;
    for (int r = 0; r <= store.m_nLastRow && r < static_cast<int>(store.m_rows.size()); ++r) {
        const ResultRow& row = store.m_rows[static_cast<std::size_t>(r)];
        if (!IsRecordRow(row)) continue;
        FUZZ_CHECK(row.m_nSlot >= 0 && row.m_nSlot < count && !seen[static_cast<std::size_t>(row.m_nSlot)]);
        seen[static_cast<std::size_t>(row.m_nSlot)] = true;
        ++records;
    }
    FUZZ_CHECK(records == count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 65536) return 0;
    std::size_t length = size - 1;
    if (data[0] & 1) length -= length % 64;
    const std::uint8_t* file = data + 1;
    static const std::string path = oront::fuzz::TempFolder() + "/image.v208img";
    oront::fuzz::WriteWholeFile(path, file, length);

    MemoryImage image{0xA5};  // what a refusal must leave as it was
    std::string reason;
    if (!LoadMemoryImage(path, image, &reason)) {
        FUZZ_CHECK(!reason.empty() && image == MemoryImage{0xA5});
        FUZZ_CHECK(length % 64 != 0);
        return 0;
    }
    FUZZ_CHECK(reason.empty() && image.size() == length && std::equal(image.begin(), image.end(), file));
    Replay(image);
    return 0;
}
