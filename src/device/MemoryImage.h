// Instrument memory images: exactly the bytes an instrument sends.
//
// Bytes 0..63 are the reply packet to "@03P\r"; then come the 64-byte record
// packets it sends for "@07R2000\r", two per record (packet A, then B) in slot
// order. A packet beginning with "@ER" is an error reply. Other tools depend
// on this format; it does not change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "records/RecordFrame.h"

namespace oront {

using MemoryImage = std::vector<std::uint8_t>;

// The largest image: the count packet and two packets for each of 8000
// records.
constexpr std::size_t kMaxMemoryImageSize = 64 * (1 + 2 * 8000);

// Reads an image file. It must hold whole 64-byte packets, at least the
// count packet and at most kMaxMemoryImageSize bytes; otherwise false and
// the image is left as it was.
bool LoadMemoryImage(const std::string& path, MemoryImage& image);
bool SaveMemoryImage(const std::string& path, const MemoryImage& image);

// The count packet for a reply value (bytes 0-1 big-endian, the rest zero)
// followed by the record frames of the given records, in slot order.
MemoryImage MakeMemoryImage(std::uint16_t countValue, const std::vector<RawRecord>& slots);

// The serial number of the demo instrument and the slot of the oldest record
// in the full demo memory.
constexpr std::uint32_t kDemoSerialNumber = 2150042;
constexpr int kFullDemoWrapPosition = 2717;

// Built-in demo images, generated (not stored): a few hundred records mixing
// Auto, Manual and ISO runs in several units, and a full, wrapped memory of
// 8000 records. Deterministic: the same bytes on every call.
MemoryImage MakeDemoImage();
MemoryImage MakeFullDemoImage();

}  // namespace oront
