// Build-time tool for builds whose Qt has no SVG module: renders the
// program's SVG pictures into PNG files at SCALE times their own size, each
// carrying that size as the text "natural-size" ("32x32"), so that the
// program shows them at the size the SVG gives.
//   render_svg SCALE OUT_DIR INPUT.svg... [--key RRGGBB]
//   render_svg --ico OUT.ico INPUT.svg     a Windows icon of the picture at
//                                         16 to 256 pixels (PNG entries)
// With --key, a picture that uses the key colour is also written without it
// (the colour drawn as nothing) as NAME.nokey.png, for image strips whose
// key-coloured background becomes transparent.
#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>

#include "SvgPicture.h"

namespace {

bool Write(const QByteArray& svg, int scale, const QString& out) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return false;
    const QSize natural = renderer.defaultSize();
    QImage image = DrawSvg(renderer, natural * scale);
    image.setText(QStringLiteral("natural-size"), QStringLiteral("%1x%2").arg(natural.width()).arg(natural.height()));
    return image.save(out, "PNG");
}

// An ICO file: the header, one directory entry per size, then each size's
// PNG data (Windows Vista and later read PNG entries).
bool WriteIco(const QByteArray& svg, const QString& out) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return false;
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    QList<QByteArray> pngs;
    for (int size : sizes) {
        const QImage image = DrawSvg(renderer, QSize(size, size));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) return false;
        pngs.append(png);
    }
    QByteArray ico;
    auto put16 = [&](int v) { ico.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto put32 = [&](qint64 v) { put16(int(v & 0xFFFF)), put16(int((v >> 16) & 0xFFFF)); };
    put16(0), put16(1), put16(int(pngs.size()));
    qint64 offset = 6 + 16 * pngs.size();
    for (int i = 0; i < pngs.size(); ++i) {
        const int size = sizes[i] == 256 ? 0 : sizes[i];  // 0 means 256
        ico.append(char(size)).append(char(size)).append(char(0)).append(char(0));
        put16(1), put16(32), put32(pngs[i].size()), put32(offset);
        offset += pngs[i].size();
    }
    for (const QByteArray& png : pngs) ico.append(png);
    QFile file(out);
    return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--ico") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (!file.open(QIODevice::ReadOnly) || !WriteIco(file.readAll(), QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "%s: cannot make %s from %s\n", argv[0], argv[2], argv[3]);
            return 1;
        }
        return 0;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SCALE OUT_DIR INPUT.svg... [--key RRGGBB]\n", argv[0]);
        return 2;
    }
    const int scale = QByteArray(argv[1]).toInt();
    if (scale < 1 || scale > 16) {
        std::fprintf(stderr, "%s: bad scale %s\n", argv[0], argv[1]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QByteArray key;
    int last = argc;
    if (argc >= 6 && std::strcmp(argv[argc - 2], "--key") == 0) {
        key = QByteArray("#") + QByteArray(argv[argc - 1]).toLower();
        last = argc - 2;
    }
    for (int i = 3; i < last; ++i) {
        const QString input = QString::fromLocal8Bit(argv[i]);
        QFile file(input);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[i]);
            return 1;
        }
        QByteArray svg = file.readAll();
        const QString base = outDir + QLatin1Char('/') + QFileInfo(input).completeBaseName();
        if (!Write(svg, scale, base + QStringLiteral(".png"))) {
            std::fprintf(stderr, "%s: cannot render %s\n", argv[0], argv[i]);
            return 1;
        }
        if (!key.isEmpty() && (svg.contains(key) || svg.contains(key.toUpper()))) {
            svg.replace(key, "none");
            svg.replace(key.toUpper(), "none");
            if (!Write(svg, scale, base + QStringLiteral(".nokey.png"))) return 1;
        }
    }
    return 0;
}
