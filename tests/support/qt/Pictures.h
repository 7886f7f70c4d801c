// Pictures of widgets for the widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include "controls/qt/Resources.h"

namespace oront::test {

// The widget as it shows on screen, one 32-bit colour a pixel.
inline QImage Shot(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Expects the dialogs' background picture, stretched over the whole client
// area (with or without smoothing), at the corners of `shot`: the picture
// covers the window, no bare window colour shows there.
inline void ExpectBackgroundAtTheCorners(const QImage& shot, bool smooth) {
    QImage expected(shot.size(), QImage::Format_RGB32);
    expected.fill(Qt::black);
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        ASSERT_TRUE(StretchedBitmap(res::kBitmapBackground).Paint(painter, expected.rect(), 1.0));
    }
    const int r = shot.width() - 1;
    const int b = shot.height() - 1;
    for (const QPoint p : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)})
        EXPECT_EQ(shot.pixelColor(p), expected.pixelColor(p)) << "at " << p.x() << "," << p.y();
}

}  // namespace oront::test
