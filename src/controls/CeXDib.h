// A device-independent palette image held in one memory block, and the
// shading of the skinned buttons that is built from it.
//
// Layout of the block (all integers little-endian):
//   header, 40 bytes: header size 40, width, height (positive: rows are
//     stored bottom-up), planes 1, bits per pixel, compression 0, image size
//     (row length x height), then four fields of 0;
//   palette: 2, 16 or 256 entries for 1, 4 or 8 bits per pixel (none for
//     other depths), each entry blue, green, red, 0;
//   pixels: height rows of ((width x bits per pixel + 31) / 32) x 4 bytes.
//
// The class is free of any window system: drawing the block lives in
// controls/qt/DibImage.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace oront {

// One colour, 8 bits a channel.
struct DibRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const DibRgb&, const DibRgb&) = default;
};

constexpr DibRgb MakeRgb(int r, int g, int b) {
    return DibRgb{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}

// The header fields as stored at the start of the block.
struct DibHeader {
    std::uint32_t size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};

class CCeXDib {
public:
    static constexpr int kHeaderSize = 40;

    CCeXDib() = default;
    ~CCeXDib() { FreeImage(); }
    CCeXDib(const CCeXDib&) = delete;
    CCeXDib& operator=(const CCeXDib&) = delete;

    // Frees what the image held and allocates a new block for the given size
    // and depth. Palette and pixels start zeroed. Returns false (and leaves
    // the image without a block) when the size is not positive, the depth is
    // not one of 1, 4, 8, 16, 24, 32, or the block cannot be allocated.
    bool CreateImage(int width, int height, int bitsPerPixel);

    // Blends every palette entry towards `colour`:
    //   channel = (colour channel x p + old channel x (100 - p)) / 100
    // with integer division and p clamped to 0..100. Does nothing when the
    // image has no block or no palette.
    void TintPalette(DibRgb colour, int percent);

    // Makes this image an exact copy (header, palette and pixels) of `other`.
    // Copying an empty image leaves this one empty.
    bool CopyFrom(const CCeXDib& other);

    // Deletes the block and clears the header.
    void FreeImage();

    bool HasImage() const { return m_pBlock != nullptr; }
    int Width() const { return static_cast<int>(m_header.width); }
    int Height() const { return static_cast<int>(m_header.height); }
    int BitsPerPixel() const { return m_header.bitCount; }
    // Bytes of one pixel row (a multiple of 4).
    int RowLength() const { return m_nLineWidth; }
    // Number of palette entries (0, 2, 16 or 256).
    int PaletteSize() const { return m_nColors; }
    const DibHeader& Header() const { return m_header; }

    // The whole block: header, palette, pixels.
    const std::uint8_t* Block() const { return m_pBlock.get(); }
    std::size_t BlockSize() const { return m_nBlockSize; }
    // Start of the pixel rows (the bottom row first).
    std::uint8_t* Pixels();
    const std::uint8_t* Pixels() const;
    // Start of the pixel row `y`, counted from the top of the picture.
    const std::uint8_t* ScanLine(int y) const;

    // Palette access; an index out of range reads black and writes nothing.
    DibRgb PaletteEntry(int index) const;
    void SetPaletteEntry(int index, DibRgb colour);

    // Palette index of an 8-bit image at (x, y), y counted from the top.
    // Out of range (or another depth) reads 0 and writes nothing.
    std::uint8_t PixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, std::uint8_t index);

private:
    std::uint8_t* PaletteData() const;

    std::unique_ptr<std::uint8_t[]> m_pBlock;
    std::size_t m_nBlockSize = 0;
    DibHeader m_header;
    int m_nLineWidth = 0;
    int m_nColors = 0;
};

// ---------------------------------------------------------------------------
// Shading of the skinned buttons.

// The idle face colour of every skinned button.
constexpr DibRgb kShadeIdleColour = MakeRgb(246, 246, 246);

// The 256-entry ramp of an 8-bit image: entries 0..128 run from `lo` to
// `face`, entries 128..255 from `face` to `hi` (entry 128 is written twice;
// the second value wins). Every channel uses integer division by 128.
void FillShadePalette(CCeXDib& image, DibRgb hi, DibRgb face, DibRgb lo);

// Fills an 8-bit image with the horizontal shading and noise: column x gets
// 223 x (w - x) / w plus a fresh pseudo-random value of 0..32 per pixel.
void FillShadePixels(CCeXDib& image);

// Builds both faces of a shaded button of w x h pixels: `normal` gets the
// ramp, tinted fully to kShadeIdleColour; `hover` is a copy tinted fully to
// `hi`. Returns false when the images could not be created.
bool BuildShadeFaces(int width, int height, DibRgb hi, DibRgb face, DibRgb lo, CCeXDib& normal, CCeXDib& hover);

}  // namespace oront
