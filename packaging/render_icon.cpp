// Build-time tool: renders an SVG icon into square PNG files.
//   render_icon INPUT.svg SIZE OUTPUT.png [SIZE OUTPUT.png ...]
#include <QGuiApplication>
#include <cstdio>

#include "SvgPicture.h"

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s INPUT.svg SIZE OUTPUT.png [SIZE OUTPUT.png ...]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        bool bOk = false;
        const int nSize = QByteArray(argv[i]).toInt(&bOk);
        if (!bOk || nSize <= 0 || nSize > 4096) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        const QImage image = DrawSvg(renderer, QSize(nSize, nSize));
        if (!image.save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
