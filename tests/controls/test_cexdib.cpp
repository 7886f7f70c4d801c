// The palette image block and the shading arithmetic of the skinned buttons.
#include <gtest/gtest.h>

#include <cstring>

#include "controls/CeXDib.h"

using namespace oront;

namespace {

std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

TEST(CeXDibBlock, HeaderPaletteAndRowsOfAnEightBitImage) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(10, 3, 8));
    ASSERT_TRUE(dib.HasImage());
    EXPECT_EQ(dib.RowLength(), 12);  // 10 bytes rounded up to 4
    EXPECT_EQ(dib.PaletteSize(), 256);
    EXPECT_EQ(dib.BlockSize(), 40u + 256u * 4u + 12u * 3u);

    const std::uint8_t* h = dib.Block();
    EXPECT_EQ(U32(h + 0), 40u);
    EXPECT_EQ(U32(h + 4), 10u);
    EXPECT_EQ(U32(h + 8), 3u);  // positive: bottom-up rows
    EXPECT_EQ(U16(h + 12), 1);
    EXPECT_EQ(U16(h + 14), 8);
    EXPECT_EQ(U32(h + 16), 0u);
    EXPECT_EQ(U32(h + 20), 36u);
    for (int off = 24; off < 40; off += 4) EXPECT_EQ(U32(h + off), 0u) << off;

    // Palette entries are blue, green, red, 0.
    dib.SetPaletteEntry(5, MakeRgb(1, 2, 3));
    EXPECT_EQ(h[40 + 20], 3);
    EXPECT_EQ(h[40 + 21], 2);
    EXPECT_EQ(h[40 + 22], 1);
    EXPECT_EQ(h[40 + 23], 0);
    EXPECT_EQ(dib.PaletteEntry(5), MakeRgb(1, 2, 3));

    // The top row of the picture is the last row of the block.
    dib.SetPixelIndex(4, 0, 77);
    dib.SetPixelIndex(6, 2, 99);
    const std::uint8_t* pixels = h + 40 + 1024;
    EXPECT_EQ(pixels[2 * 12 + 4], 77);
    EXPECT_EQ(pixels[0 * 12 + 6], 99);
    EXPECT_EQ(dib.PixelIndex(4, 0), 77);
    EXPECT_EQ(dib.PixelIndex(6, 2), 99);
}

TEST(CeXDibBlock, RowLengthAndPaletteByDepth) {
    struct Case {
        int width, bpp, row, colors;
    } cases[] = {{33, 1, 8, 2}, {32, 1, 4, 2}, {9, 4, 8, 16}, {3, 24, 12, 0}, {5, 32, 20, 0}, {7, 16, 16, 0}};
    for (const Case& c : cases) {
        CCeXDib dib;
        ASSERT_TRUE(dib.CreateImage(c.width, 2, c.bpp)) << c.bpp;
        EXPECT_EQ(dib.RowLength(), c.row) << c.width << "x" << c.bpp;
        EXPECT_EQ(dib.PaletteSize(), c.colors) << c.bpp;
        EXPECT_EQ(dib.BlockSize(), static_cast<std::size_t>(40 + 4 * c.colors + 2 * c.row));
        EXPECT_EQ(U32(dib.Block() + 20), static_cast<std::uint32_t>(2 * c.row));
    }
}

TEST(CeXDibBlock, RefusedSizesLeaveNoBlock) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(4, 4, 8));
    EXPECT_FALSE(dib.CreateImage(0, 4, 8));
    EXPECT_FALSE(dib.HasImage());  // the old block was freed first
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_FALSE(dib.CreateImage(4, -1, 8));
    EXPECT_FALSE(dib.CreateImage(4, 4, 7));
    // Larger than the 32-bit image size field can describe.
    EXPECT_FALSE(dib.CreateImage(70000, 70000, 8));
    EXPECT_FALSE(dib.HasImage());
    // Accessors on an empty image are harmless.
    dib.TintPalette(MakeRgb(1, 2, 3), 50);
    dib.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(dib.PixelIndex(0, 0), 0);
    EXPECT_EQ(dib.PaletteEntry(0), DibRgb{});
    EXPECT_EQ(dib.Pixels(), nullptr);
}

TEST(CeXDibTint, BlendsWithIntegerDivisionAndClampsThePercentage) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(2, 2, 4));
    dib.SetPaletteEntry(0, MakeRgb(0, 100, 255));
    dib.SetPaletteEntry(1, MakeRgb(33, 66, 99));

    CCeXDib half;
    half.CopyFrom(dib);
    half.TintPalette(MakeRgb(255, 0, 10), 50);
    // (255*50 + 0*50)/100 = 127, (0*50 + 100*50)/100 = 50, (10*50+255*50)/100 = 132
    EXPECT_EQ(half.PaletteEntry(0), MakeRgb(127, 50, 132));
    EXPECT_EQ(half.PaletteEntry(1), MakeRgb(144, 33, 54));

    CCeXDib third;
    third.CopyFrom(dib);
    third.TintPalette(MakeRgb(200, 200, 200), 33);
    // (200*33 + 0*67)/100 = 66; (200*33 + 100*67)/100 = 133; (200*33+255*67)/100 = 236.85 -> 236
    EXPECT_EQ(third.PaletteEntry(0), MakeRgb(66, 133, 236));

    CCeXDib full, over;
    full.CopyFrom(dib);
    over.CopyFrom(dib);
    full.TintPalette(MakeRgb(12, 34, 56), 100);
    over.TintPalette(MakeRgb(12, 34, 56), 200);
    EXPECT_EQ(std::memcmp(full.Block(), over.Block(), full.BlockSize()), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(over.PaletteEntry(i), MakeRgb(12, 34, 56));

    // A negative percentage leaves the palette as it was instead of
    // producing out-of-range channels.
    CCeXDib negative;
    negative.CopyFrom(dib);
    negative.TintPalette(MakeRgb(255, 255, 255), -50);
    EXPECT_EQ(std::memcmp(negative.Block(), dib.Block(), dib.BlockSize()), 0);
}

TEST(CeXDibCopy, CopiesTheWholeBlockAndStaysIndependent) {
    CCeXDib a;
    ASSERT_TRUE(a.CreateImage(5, 4, 8));
    a.SetPaletteEntry(200, MakeRgb(9, 8, 7));
    a.SetPixelIndex(1, 1, 200);
    CCeXDib b;
    ASSERT_TRUE(b.CreateImage(1, 1, 1));
    ASSERT_TRUE(b.CopyFrom(a));
    ASSERT_EQ(b.BlockSize(), a.BlockSize());
    EXPECT_EQ(std::memcmp(a.Block(), b.Block(), a.BlockSize()), 0);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.RowLength(), 8);
    a.SetPixelIndex(1, 1, 3);
    EXPECT_EQ(b.PixelIndex(1, 1), 200);

    CCeXDib empty;
    EXPECT_FALSE(b.CopyFrom(empty));
    EXPECT_FALSE(b.HasImage());

    a.FreeImage();
    EXPECT_FALSE(a.HasImage());
    EXPECT_EQ(a.Header().size, 0u);
    EXPECT_EQ(a.Height(), 0);
    EXPECT_EQ(a.BlockSize(), 0u);
}

TEST(ShadeFaces, PaletteRampBeforeTheTint) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(4, 4, 8));
    const DibRgb hi = MakeRgb(250, 240, 230);
    const DibRgb face = MakeRgb(200, 150, 100);
    const DibRgb lo = MakeRgb(10, 20, 30);
    FillShadePalette(dib, hi, face, lo);
    EXPECT_EQ(dib.PaletteEntry(0), lo);
    // ((128-64)*lo + 64*face)/128
    EXPECT_EQ(dib.PaletteEntry(64), MakeRgb(105, 85, 65));
    // ((128-1)*lo + face)/128: 10*127+200 = 1470 -> 11; 20*127+150 = 2690 -> 21; 30*127+100 = 3910 -> 30
    EXPECT_EQ(dib.PaletteEntry(1), MakeRgb(11, 21, 30));
    // Entry 128 comes from the second ramp: (127*face + hi)/128.
    EXPECT_EQ(dib.PaletteEntry(128), MakeRgb(200, 150, 101));
    // 127 + 64 = 191: (64*face + 64*hi)/128
    EXPECT_EQ(dib.PaletteEntry(191), MakeRgb(225, 195, 165));
    EXPECT_EQ(dib.PaletteEntry(255), hi);
}

TEST(ShadeFaces, PixelsRunFromTheBrightLeftWithSmallNoise) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(10, 6, 8));
    FillShadePixels(dib);
    for (int x = 0; x < 10; ++x) {
        const int base = 223 * (10 - x) / 10;
        for (int y = 0; y < 6; ++y) {
            const int v = dib.PixelIndex(x, y);
            EXPECT_GE(v, base) << x << "," << y;
            EXPECT_LE(v, base + 32) << x << "," << y;
        }
    }
}

TEST(ShadeFaces, IdleFaceIsPlainLightGreyAndHoverFacePlainHighlight) {
    const DibRgb hi = MakeRgb(255, 255, 255);
    const DibRgb face = MakeRgb(240, 240, 240);
    const DibRgb lo = MakeRgb(160, 160, 160);
    CCeXDib normal, hover;
    ASSERT_TRUE(BuildShadeFaces(72, 24, hi, face, lo, normal, hover));
    EXPECT_EQ(normal.Width(), 72);
    EXPECT_EQ(normal.Height(), 24);
    EXPECT_EQ(normal.BitsPerPixel(), 8);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(normal.PaletteEntry(i), MakeRgb(246, 246, 246)) << i;
        ASSERT_EQ(hover.PaletteEntry(i), hi) << i;
    }
    // Same pixels in both faces; only the palettes differ.
    ASSERT_EQ(normal.BlockSize(), hover.BlockSize());
    const std::size_t pixelOffset = 40 + 1024;
    EXPECT_EQ(std::memcmp(normal.Block() + pixelOffset, hover.Block() + pixelOffset, normal.BlockSize() - pixelOffset),
              0);
    EXPECT_EQ(std::memcmp(normal.Block(), hover.Block(), 40), 0);

    CCeXDib n2, h2;
    EXPECT_FALSE(BuildShadeFaces(0, 10, hi, face, lo, n2, h2));
    EXPECT_FALSE(n2.HasImage());
    EXPECT_FALSE(h2.HasImage());
}
