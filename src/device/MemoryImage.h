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

// A full memory: the count packet and two packets for each of 8000 records.
constexpr std::size_t kFullMemoryImageSize = 64 * (1 + 2 * 8000);
// The largest image played: a count reply without the wrap bit can announce
// up to 0x7FFF records, and an image is played as it stands (the count check
// of the download refuses what the instrument cannot hold).
constexpr std::size_t kMaxMemoryImageSize = 64 * (1 + 2 * 0x7FFF);

// Reads an image file: a regular file of whole 64-byte packets, at most
// kMaxMemoryImageSize bytes. An empty file is an instrument that never
// answers. Otherwise false, the image is left as it was and `reason` (when
// given) says why, e.g. "its length (100 bytes) is not a multiple of 64".
// A FIFO or a device is refused without reading from it.
bool LoadMemoryImage(const std::string& path, MemoryImage& image, std::string* reason = nullptr);
// Writes an image file through OutputFile (an existing file is replaced only
// by a complete image); on failure `failure` (when given) says why, e.g.
// "Permission denied: /path/a.img".
bool SaveMemoryImage(const std::string& path, const MemoryImage& image, std::string* failure = nullptr);

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
