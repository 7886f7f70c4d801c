// The artwork by resource number, image lists cut from strips, and dialog
// units.
#include <gtest/gtest.h>

#include <QPainter>

#include "controls/qt/DialogUnits.h"
#include "controls/qt/DibImage.h"
#include "controls/qt/Resources.h"
#include "controls/qt/Theme.h"

using namespace oront;

namespace {
const int kIcons[] = {res::kIconApp,          res::kIconCancel,  res::kIconDeleteRecords, res::kIconOk,
                      res::kIconDataPrint,    res::kIconQuit,    res::kIconReadRecords,   res::kIconSaveAll,
                      res::kIconSaveSelected, res::kIconMessage, res::kIconPrintPreview};

bool IsKey(QRgb p) {
    return qAlpha(p) == 255 && qRed(p) == 255 && qGreen(p) == 0 && qBlue(p) == 255;
}
}  // namespace

TEST(Artwork, EveryIconExistsAt32x32) {
    for (int id : kIcons) {
        const QIcon icon = ResourceIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_EQ(ResourceIconSize(id), QSize(32, 32)) << id;
        EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32))) << id;
        const QImage image = icon.pixmap(32, 32).toImage();
        // Not empty, and with a transparent surround.
        int opaque = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 100) << id;
        EXPECT_EQ(qAlpha(image.pixel(0, 31)), 0) << id;
    }
    EXPECT_TRUE(ResourceIcon(999).isNull());
    EXPECT_FALSE(ResourceIconSize(999).isValid());
    EXPECT_TRUE(ResourceBitmap(999).isNull());
    EXPECT_TRUE(ResourceImageList(999, 16).isEmpty());
}

TEST(Artwork, BitmapsHaveTheirSizes) {
    EXPECT_EQ(ResourceBitmap(res::kBitmapBackground).size(), QSize(1024, 768));
    EXPECT_EQ(ResourceBitmap(res::kBitmapRowImages).size(), QSize(96, 16));
    EXPECT_EQ(ResourceBitmap(res::kBitmapHeaderImages).size(), QSize(48, 16));
    EXPECT_EQ(ResourceBitmap(res::kBitmapPreviewToolbar).size(), QSize(112, 15));
    const QImage cyan = ResourceBitmapImage(res::kBitmapPreviewBrush);
    ASSERT_EQ(cyan.size(), QSize(8, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(cyan.pixel(x, y), qRgb(0, 255, 255));

    // The background stays in the tones of the label colour, so labels on
    // it do not stand out as patches.
    const QImage bg = ResourceBitmapImage(res::kBitmapBackground);
    const QColor mid = bg.pixelColor(512, 384);
    const QColor label = theme::Background();
    EXPECT_LT(
        std::abs(mid.red() - label.red()) + std::abs(mid.green() - label.green()) + std::abs(mid.blue() - label.blue()),
        60);
}

// A background is drawn from a picture of the size it is shown, never
// larger than the bitmap: a small window does not keep the 1024 x 768 one.
TEST(Artwork, AStretchedBitmapIsRenderedAtTheSizeShownUpToItsOwn) {
    StretchedBitmap background(res::kBitmapBackground);
    const auto paint = [&background](QSize size, qreal ratio) {
        QImage shot(size, QImage::Format_ARGB32_Premultiplied);
        shot.fill(Qt::black);
        QPainter painter(&shot);
        EXPECT_TRUE(background.Paint(painter, shot.rect(), ratio));
        return shot;
    };
    const QImage small = paint(QSize(300, 200), 1.0);
    EXPECT_EQ(small, ResourceBitmapImage(res::kBitmapBackground, QSize(300, 200)));
    // Larger than the bitmap: the bitmap itself, stretched.
    QImage stretched(QSize(1500, 1000), QImage::Format_ARGB32_Premultiplied);
    stretched.fill(Qt::black);
    QPainter(&stretched).drawPixmap(stretched.rect(), ResourceBitmap(res::kBitmapBackground));
    EXPECT_EQ(paint(QSize(1500, 1000), 1.0), stretched);
    EXPECT_EQ(paint(QSize(300, 200), 1.0), small) << "back to the first size";
    StretchedBitmap none(999);
    QImage blank(QSize(10, 10), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&blank);
    EXPECT_FALSE(none.Paint(painter, blank.rect(), 1.0));
}

TEST(Artwork, StripsAreMagentaKeyedAndCutIntoTransparentImages) {
    const QImage strip = ResourceBitmapImage(res::kBitmapRowImages);
    EXPECT_TRUE(IsKey(strip.pixel(0, 0)));
    EXPECT_TRUE(IsKey(strip.pixel(95, 15)));

    const QList<QPixmap> rows = ResourceImageList(res::kBitmapRowImages, 16);
    ASSERT_EQ(rows.size(), 6);
    for (int i = 0; i < rows.size(); ++i) {
        const QImage image = rows[i].toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(16, 16)) << i;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << i;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) ASSERT_FALSE(IsKey(image.pixel(x, y))) << i << " " << x << "," << y;
    }
    // Group boxes are green; the status mark is red.
    const QColor expanded = rows[res::kRowImageExpanded].toImage().pixelColor(4, 4);
    EXPECT_GT(expanded.green(), expanded.red() + 40);
    const QColor collapsed = rows[res::kRowImageCollapsed].toImage().pixelColor(4, 4);
    EXPECT_GT(collapsed.green(), collapsed.red() + 40);
    const QColor mark = rows[res::kRowImageStatus].toImage().pixelColor(7, 4);
    EXPECT_GT(mark.red(), mark.green() + 80);

    EXPECT_EQ(ResourceImageList(res::kBitmapHeaderImages, 16).size(), 3);
    const QList<QPixmap> tools = ResourceImageList(res::kBitmapPreviewToolbar, 16);
    ASSERT_EQ(tools.size(), 7);
    EXPECT_EQ(tools[0].size(), QSize(16, 15));
}

// Screens with twice the dots get the icons drawn at twice the size, not
// stretched: whole 64 x 64 pictures with a transparent surround, which stand
// out on the idle button face.
TEST(Artwork, EveryIconExistsAt64x64) {
    for (int id : kIcons) {
        const QIcon icon = ResourceIcon(id);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(64, 64))) << id;
        const QImage image = icon.pixmap(64, 64).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(64, 64)) << id;
        int opaque = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, 400) << id;
        EXPECT_EQ(qAlpha(image.pixel(0, 63)), 0) << id;

        QImage face(64, 64, QImage::Format_RGB32);
        face.fill(QColor(246, 246, 246));
        QPainter(&face).drawImage(0, 0, image);
        int changed = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) changed += face.pixelColor(x, y) != QColor(246, 246, 246);
        EXPECT_GT(changed, 400) << id;
    }
}

TEST(DialogUnitsTest, ConvertsEachValueWithRounding) {
    const DialogUnits du(6, 15);
    EXPECT_EQ(du.Rect(6, 218, 72, 16), QRect(9, 409, 108, 30));  // 218*15/8 = 408.75
    EXPECT_EQ(du.X(1), 2);                                       // 1.5 rounds up
    EXPECT_EQ(du.Y(4), 8);                                       // 7.5 rounds up
    EXPECT_EQ(du.Size(435, 259), QSize(653, 486));

    const QFont font = DialogFont(QStringLiteral("Arial"), 9);
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(DialogFont(QStringLiteral("Arial"), 10).pixelSize(), 13);
    const DialogUnits arial(font);
    const QFontMetrics fm(font);
    EXPECT_EQ(arial.BaseY(), fm.height());
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_LE(std::abs(arial.BaseX() * 52 - letters), 26);
    EXPECT_GE(arial.BaseX(), 4);
    EXPECT_LE(arial.BaseX(), 8);
}

TEST(DibImageTest, EightBitImageBecomesIndexedTopDown) {
    CCeXDib dib;
    ASSERT_TRUE(dib.CreateImage(3, 2, 8));
    dib.SetPaletteEntry(1, MakeRgb(10, 20, 30));
    dib.SetPaletteEntry(2, MakeRgb(200, 100, 50));
    dib.SetPixelIndex(0, 0, 1);
    dib.SetPixelIndex(2, 1, 2);
    const QImage image = DibToImage(dib);
    ASSERT_EQ(image.format(), QImage::Format_Indexed8);
    EXPECT_EQ(image.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(image.pixel(2, 1), qRgb(200, 100, 50));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));

    QImage target(5, 5, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter p(&target);
    DrawAt(dib, p, 2, 3);
    p.end();
    EXPECT_EQ(target.pixel(2, 3), qRgb(10, 20, 30));
    EXPECT_EQ(target.pixel(4, 4), qRgb(200, 100, 50));
    EXPECT_EQ(target.pixel(1, 3), qRgb(255, 255, 255));

    EXPECT_TRUE(DibToImage(CCeXDib()).isNull());
}
