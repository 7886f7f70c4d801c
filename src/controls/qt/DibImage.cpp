#include "controls/qt/DibImage.h"

#include <QPainter>

namespace oront {

QImage DibToImage(const CCeXDib& dib) {
    if (!dib.HasImage()) return QImage();
    const int w = dib.Width();
    const int h = dib.Height();
    const int bpp = dib.BitsPerPixel();
    if (dib.PaletteSize() > 0) {
        QImage image(w, h, QImage::Format_Indexed8);
        if (image.isNull()) return image;
        QList<QRgb> table;
        table.reserve(dib.PaletteSize());
        for (int i = 0; i < dib.PaletteSize(); ++i) {
            const DibRgb c = dib.PaletteEntry(i);
            table.append(qRgb(c.red, c.green, c.blue));
        }
        image.setColorTable(table);
        const int mask = (1 << bpp) - 1;
        const int perByte = 8 / bpp;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* src = dib.ScanLine(y);
            uchar* dst = image.scanLine(y);
            for (int x = 0; x < w; ++x) {
                const int byte = src[x / perByte];
                const int shift = 8 - bpp * (x % perByte + 1);
                dst[x] = static_cast<uchar>((byte >> shift) & mask);
            }
        }
        return image;
    }
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) return image;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = dib.ScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (bpp == 16) {  // 5-5-5, blue in the low bits
                const int v = src[2 * x] | (src[2 * x + 1] << 8);
                dst[x] = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
            } else {
                const std::uint8_t* p = src + x * (bpp / 8);
                dst[x] = qRgb(p[2], p[1], p[0]);
            }
        }
    }
    return image;
}

void DrawAt(const CCeXDib& dib, QPainter& painter, int x, int y) {
    const QImage image = DibToImage(dib);
    if (image.isNull()) return;
    const QPainter::CompositionMode old = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, image);
    painter.setCompositionMode(old);
}

}  // namespace oront
