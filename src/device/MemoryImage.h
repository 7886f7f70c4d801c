// Instrument memory images: exactly the bytes an instrument sends.
//
// Bytes 0..63 are the reply packet to "@03P\r"; then come the 64-byte record
// packets it sends for "@07R2000\r", two per record (packet A, then B) in slot
// order. A packet beginning with "@ER" is an error reply. Other tools depend
// on this format; it does not change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oront {

using MemoryImage = std::vector<std::uint8_t>;

bool LoadMemoryImage(const std::string& path, MemoryImage& image);
bool SaveMemoryImage(const std::string& path, const MemoryImage& image);

// Built-in demo images, generated (not stored): a few hundred records mixing
// Auto, Manual and ISO runs in several units, and a full, wrapped memory of
// 8000 records. Deterministic: the same bytes on every call.
MemoryImage MakeDemoImage();
MemoryImage MakeFullDemoImage();

}  // namespace oront
