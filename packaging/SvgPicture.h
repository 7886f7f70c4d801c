// The build-time tools' one way of drawing an SVG picture: at `size` on a
// transparent canvas, antialiased.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

inline QImage DrawSvg(QSvgRenderer& renderer, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}
