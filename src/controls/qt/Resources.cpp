#include "controls/qt/Resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#ifdef ORONT_NO_SVG
#include <QImage>
#else
#include <QSvgRenderer>
#include <utility>
#endif

// The resource file lives in a static library: its registration must be
// referenced from code to be linked in. Q_INIT_RESOURCE must be used at
// global scope.
static void InitOrontResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)done;
}

namespace oront {

namespace {

// Rendered pictures, kept for the life of the application object and
// released with it (pixmaps must not outlive the GUI application).
QHash<int, QIcon>& IconCache() {
    static QHash<int, QIcon> cache;
    return cache;
}
// Bitmaps are kept as the pixmaps the windows paint (one copy of the
// background however many dialogs show it, and no image beside it).
QHash<int, QPixmap>& BitmapCache() {
    static QHash<int, QPixmap> cache;
    return cache;
}
// The stretched bitmaps last drawn, at the size they were drawn: windows of
// one size (a message shown again, a new main window) share the picture.
QHash<int, QPixmap>& StretchedCache() {
    static QHash<int, QPixmap> cache;
    return cache;
}
void ClearCaches() {
    IconCache().clear();
    BitmapCache().clear();
    StretchedCache().clear();
}
void RegisterCacheCleanup() {
    static const bool registered = [] {
        qAddPostRoutine(ClearCaches);
        return true;
    }();
    (void)registered;
}

QString IconPath(int id) {
    return QStringLiteral(":/res/icon%1.svg").arg(id);
}
QString BitmapPath(int id) {
    return QStringLiteral(":/res/bitmap%1.svg").arg(id);
}

#ifndef ORONT_NO_SVG
// A picture's source: the SVG data of the resource.
using Source = QByteArray;

Source ReadSource(const QString& path) {
    InitOrontResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Source();
    return file.readAll();
}

// The same picture with the key colour drawn as nothing, so that edges
// blend into transparency rather than into the key colour.
Source WithoutKey(const QString& path, const QColor& key) {
    Source svg = ReadSource(path);
    const QByteArray keyName = key.name(QColor::HexRgb).toLatin1();
    svg.replace(keyName, "none");
    svg.replace(keyName.toUpper(), "none");
    return svg;
}

QSize NaturalSize(const Source& svg) {
    if (svg.isEmpty()) return QSize();
    QSvgRenderer renderer(svg);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

// Renders SVG data at `size` on a transparent canvas.
QImage Render(const Source& svg, QSize size = QSize()) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return QImage();
    if (!size.isValid()) size = renderer.defaultSize();
    if (size.isEmpty()) return QImage();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}
#else
// A build whose Qt has no SVG module carries the pictures drawn from the
// same SVG files at build time, as PNG files at several times their size
// with that size in their text "natural-size".
struct Source {
    QImage image;
    QSize natural;
    bool isEmpty() const { return image.isNull(); }
};

Source ReadPng(QString path) {
    InitOrontResources();
    Source source;
    source.image = QImage(path);
    const QStringList size = source.image.text(QStringLiteral("natural-size")).split(QLatin1Char('x'));
    source.natural = size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : source.image.size();
    return source;
}

Source ReadSource(QString path) {
    return ReadPng(path.replace(QStringLiteral(".svg"), QStringLiteral(".png")));
}

// The picture drawn without the key colour (made at build time for the
// pictures that use the key colour).
Source WithoutKey(QString path, const QColor&) {
    return ReadPng(path.replace(QStringLiteral(".svg"), QStringLiteral(".nokey.png")));
}

QSize NaturalSize(const Source& source) {
    return source.isEmpty() ? QSize() : source.natural;
}

QImage Render(const Source& source, QSize size = QSize()) {
    if (source.isEmpty()) return QImage();
    if (!size.isValid()) size = source.natural;
    if (size.isEmpty()) return QImage();
    QImage image = source.image.size() == size
                       ? source.image
                       : source.image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
#endif

}  // namespace

QSize ResourceIconSize(int id) {
    return NaturalSize(ReadSource(IconPath(id)));
}

QIcon ResourceIcon(int id) {
    RegisterCacheCleanup();
    QHash<int, QIcon>& cache = IconCache();
    if (auto it = cache.constFind(id); it != cache.constEnd()) return *it;
    const Source svg = ReadSource(IconPath(id));
    QIcon icon;
    if (!svg.isEmpty()) {
        const QSize natural = NaturalSize(svg);
        QList<QSize> sizes{natural, natural * 2};
        if (id == res::kIconApp)
            sizes = {QSize(16, 16), QSize(24, 24),   natural,        QSize(48, 48),
                     QSize(64, 64), QSize(128, 128), QSize(256, 256)};
        for (const QSize& s : sizes) {
            const QImage image = Render(svg, s);
            if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    cache.insert(id, icon);
    return icon;
}

QImage ResourceBitmapImage(int id, QSize size) {
    return Render(ReadSource(BitmapPath(id)), size);
}

QSize ResourceBitmapSize(int id) {
    return NaturalSize(ReadSource(BitmapPath(id)));
}

bool StretchedBitmap::Paint(QPainter& painter, const QRect& rect, qreal devicePixelRatio) {
    if (!m_natural.isValid() || rect.isEmpty()) return false;
    const QSize wanted = (QSizeF(rect.size()) * devicePixelRatio).toSize().boundedTo(m_natural);
    if (m_pixmap.size() != wanted) {
        RegisterCacheCleanup();
        QPixmap& shared = StretchedCache()[m_id];
        if (shared.size() != wanted) shared = QPixmap::fromImage(ResourceBitmapImage(m_id, wanted));
        m_pixmap = shared;
    }
    if (m_pixmap.isNull()) return false;
    painter.drawPixmap(rect, m_pixmap, m_pixmap.rect());
    return true;
}

QPixmap ResourceBitmap(int id) {
    RegisterCacheCleanup();
    QHash<int, QPixmap>& cache = BitmapCache();
    if (auto it = cache.constFind(id); it != cache.constEnd()) return *it;
    QImage image = ResourceBitmapImage(id);
    const QPixmap pixmap = image.isNull() ? QPixmap() : QPixmap::fromImage(std::move(image));
    cache.insert(id, pixmap);
    return pixmap;
}

QList<QPixmap> ResourceImageList(int bitmapId, int imageWidth, const QColor& key) {
    QList<QPixmap> images;
    const Source svg = WithoutKey(BitmapPath(bitmapId), key);
    if (svg.isEmpty() || imageWidth <= 0) return images;
    // Rendered without the key-coloured background; then any pixel that
    // still has the key colour exactly is cleared.
    QImage strip = Render(svg).convertToFormat(QImage::Format_ARGB32);
    if (strip.isNull()) return images;
    const QRgb keyRgb = key.rgb() & 0xFFFFFF;
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            if (qAlpha(line[x]) == 255 && (line[x] & 0xFFFFFF) == keyRgb) line[x] = 0;
        }
    }
    for (int left = 0; left + imageWidth <= strip.width(); left += imageWidth)
        images.append(QPixmap::fromImage(strip.copy(left, 0, imageWidth, strip.height())));
    return images;
}

}  // namespace oront
