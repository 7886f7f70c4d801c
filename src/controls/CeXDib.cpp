#include "controls/CeXDib.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <random>

namespace oront {

namespace {

void PutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    PutU16(p, v & 0xFFFF);
    PutU16(p + 2, v >> 16);
}

// Writes the header fields into the first 40 bytes of a block.
void StoreHeader(std::uint8_t* p, const DibHeader& h) {
    PutU32(p + 0, h.size);
    PutU32(p + 4, static_cast<std::uint32_t>(h.width));
    PutU32(p + 8, static_cast<std::uint32_t>(h.height));
    PutU16(p + 12, h.planes);
    PutU16(p + 14, h.bitCount);
    PutU32(p + 16, h.compression);
    PutU32(p + 20, h.sizeImage);
    PutU32(p + 24, static_cast<std::uint32_t>(h.xPelsPerMeter));
    PutU32(p + 28, static_cast<std::uint32_t>(h.yPelsPerMeter));
    PutU32(p + 32, h.clrUsed);
    PutU32(p + 36, h.clrImportant);
}

int PaletteEntriesFor(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

// The noise of the shading: a generator that is never seeded, so every run
// of the program draws the same sequence, giving values of 0..32767.
std::minstd_rand& ShadeNoise() {
    static std::minstd_rand generator;
    return generator;
}

}  // namespace

bool CCeXDib::CreateImage(int width, int height, int bitsPerPixel) {
    FreeImage();
    const int colors = PaletteEntriesFor(bitsPerPixel);
    const bool depthOk = colors > 0 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
    if (width <= 0 || height <= 0 || !depthOk) return false;

    // The image size is a 32-bit header field; larger pictures are refused
    // instead of writing a truncated size.
    const long long lineWidth = ((static_cast<long long>(width) * bitsPerPixel + 31) / 32) * 4;
    const long long imageSize = lineWidth * height;
    const long long blockSize = kHeaderSize + colors * 4LL + imageSize;
    if (imageSize > std::numeric_limits<std::int32_t>::max() || lineWidth > std::numeric_limits<int>::max())
        return false;

    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(blockSize)]);
    if (!block) return false;
    std::memset(block.get(), 0, static_cast<std::size_t>(blockSize));

    DibHeader header;
    header.size = kHeaderSize;
    header.width = width;
    header.height = height;
    header.planes = 1;
    header.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
    header.compression = 0;
    header.sizeImage = static_cast<std::uint32_t>(imageSize);
    StoreHeader(block.get(), header);

    m_pBlock = std::move(block);
    m_nBlockSize = static_cast<std::size_t>(blockSize);
    m_header = header;
    m_nLineWidth = static_cast<int>(lineWidth);
    m_nColors = colors;
    return true;
}

void CCeXDib::TintPalette(DibRgb colour, int percent) {
    if (!m_pBlock || m_nColors == 0) return;
    const int p = std::clamp(percent, 0, 100);
    std::uint8_t* entry = PaletteData();
    auto blend = [p](int c, int old) { return static_cast<std::uint8_t>((c * p + old * (100 - p)) / 100); };
    for (int i = 0; i < m_nColors; ++i, entry += 4) {
        entry[0] = blend(colour.blue, entry[0]);
        entry[1] = blend(colour.green, entry[1]);
        entry[2] = blend(colour.red, entry[2]);
    }
}

bool CCeXDib::CopyFrom(const CCeXDib& other) {
    if (&other == this) return HasImage();
    if (!other.HasImage()) {
        FreeImage();
        return false;
    }
    if (!CreateImage(other.Width(), other.Height(), other.BitsPerPixel())) return false;
    std::memcpy(m_pBlock.get(), other.m_pBlock.get(), m_nBlockSize);
    return true;
}

void CCeXDib::FreeImage() {
    m_pBlock.reset();
    m_nBlockSize = 0;
    m_header = DibHeader{};
    m_nLineWidth = 0;
    m_nColors = 0;
}

std::uint8_t* CCeXDib::PaletteData() const {
    return m_pBlock ? m_pBlock.get() + kHeaderSize : nullptr;
}

std::uint8_t* CCeXDib::Pixels() {
    return m_pBlock ? m_pBlock.get() + kHeaderSize + m_nColors * 4 : nullptr;
}

const std::uint8_t* CCeXDib::Pixels() const {
    return m_pBlock ? m_pBlock.get() + kHeaderSize + m_nColors * 4 : nullptr;
}

const std::uint8_t* CCeXDib::ScanLine(int y) const {
    if (!m_pBlock || y < 0 || y >= Height()) return nullptr;
    return Pixels() + static_cast<std::size_t>(Height() - 1 - y) * static_cast<std::size_t>(m_nLineWidth);
}

DibRgb CCeXDib::PaletteEntry(int index) const {
    if (!m_pBlock || index < 0 || index >= m_nColors) return DibRgb{};
    const std::uint8_t* e = PaletteData() + index * 4;
    return DibRgb{e[2], e[1], e[0]};
}

void CCeXDib::SetPaletteEntry(int index, DibRgb colour) {
    if (!m_pBlock || index < 0 || index >= m_nColors) return;
    std::uint8_t* e = PaletteData() + index * 4;
    e[0] = colour.blue;
    e[1] = colour.green;
    e[2] = colour.red;
    e[3] = 0;
}

std::uint8_t CCeXDib::PixelIndex(int x, int y) const {
    if (BitsPerPixel() != 8 || x < 0 || x >= Width()) return 0;
    const std::uint8_t* row = ScanLine(y);
    return row ? row[x] : 0;
}

void CCeXDib::SetPixelIndex(int x, int y, std::uint8_t index) {
    if (BitsPerPixel() != 8 || x < 0 || x >= Width()) return;
    const std::uint8_t* row = ScanLine(y);
    if (row) const_cast<std::uint8_t*>(row)[x] = index;
}

// ---------------------------------------------------------------------------

void FillShadePalette(CCeXDib& image, DibRgb hi, DibRgb face, DibRgb lo) {
    if (image.PaletteSize() != 256) return;
    auto mix = [](int from, int to, int i) { return static_cast<std::uint8_t>(((128 - i) * from + i * to) / 128); };
    for (int i = 0; i <= 128; ++i) {
        image.SetPaletteEntry(
            i, DibRgb{mix(lo.red, face.red, i), mix(lo.green, face.green, i), mix(lo.blue, face.blue, i)});
    }
    for (int i = 1; i <= 128; ++i) {
        image.SetPaletteEntry(
            i + 127, DibRgb{mix(face.red, hi.red, i), mix(face.green, hi.green, i), mix(face.blue, hi.blue, i)});
    }
}

void FillShadePixels(CCeXDib& image) {
    if (image.BitsPerPixel() != 8) return;
    const int w = image.Width();
    const int h = image.Height();
    for (int x = 0; x < w; ++x) {
        const int base = 223 * (w - x) / w;
        for (int y = 0; y < h; ++y) {
            const int r = static_cast<int>(ShadeNoise()() % 32768U) / 1023;
            image.SetPixelIndex(x, y, static_cast<std::uint8_t>(base + r));
        }
    }
}

bool BuildShadeFaces(int width, int height, DibRgb hi, DibRgb face, DibRgb lo, CCeXDib& normal, CCeXDib& hover) {
    if (!normal.CreateImage(width, height, 8)) {
        hover.FreeImage();
        return false;
    }
    FillShadePalette(normal, hi, face, lo);
    normal.TintPalette(kShadeIdleColour, 100);
    FillShadePixels(normal);
    if (!hover.CopyFrom(normal)) return false;
    // The hover tint asks for 200 %, which the tint clamps to 100 %.
    hover.TintPalette(hi, 200);
    return true;
}

}  // namespace oront
