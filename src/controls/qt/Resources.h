// The program's pictures, addressed by their resource numbers.
//
// Icons and bitmaps are SVG files compiled into the program as
// ":/res/icon<id>.svg" and ":/res/bitmap<id>.svg". Each has a natural size
// (the SVG's width and height): icons 32 x 32, bitmaps as listed below.
// Rendered pictures are cached; everything here runs on the GUI thread.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QRect>
#include <QSize>

class QPainter;

namespace oront {

namespace res {
// Icons, 32 x 32.
inline constexpr int kIconApp = 128;            // window and program icon
inline constexpr int kIconCancel = 134;         // "Cancel"
inline constexpr int kIconDeleteRecords = 135;  // "Delete Records"
inline constexpr int kIconOk = 136;             // "OK"
inline constexpr int kIconDataPrint = 137;      // "Data Print"
inline constexpr int kIconQuit = 139;           // "Quit"
inline constexpr int kIconReadRecords = 140;    // "Read Records"
inline constexpr int kIconSaveAll = 141;        // "Save All"
inline constexpr int kIconSaveSelected = 142;   // "Save Selected"
inline constexpr int kIconMessage = 162;        // message dialogs
inline constexpr int kIconPrintPreview = 165;   // print preview frame
// Bitmaps.
inline constexpr int kBitmapBackground = 144;      // 1024 x 768 window background
inline constexpr int kBitmapRowImages = 145;       // 96 x 16: six 16-pixel row images
inline constexpr int kBitmapHeaderImages = 147;    // 48 x 16: three 16-pixel header images
inline constexpr int kBitmapPreviewToolbar = 166;  // 112 x 15: seven 16 x 15 toolbar buttons
inline constexpr int kBitmapPreviewBrush = 169;    // 8 x 8 cyan

// Images of bitmap 145.
inline constexpr int kRowImageExpanded = 0;   // green box with a minus sign
inline constexpr int kRowImageCollapsed = 1;  // green box with a plus sign
inline constexpr int kRowImageTicked = 2;     // box with a tick
inline constexpr int kRowImageEmpty = 3;      // empty box
inline constexpr int kRowImageRecord = 4;     // number sign
inline constexpr int kRowImageStatus = 5;     // red exclamation mark
// Images of bitmap 166, in toolbar order.
inline constexpr int kToolTopPage = 0;
inline constexpr int kToolPrePage = 1;
inline constexpr int kToolNextPage = 2;
inline constexpr int kToolLastPage = 3;
inline constexpr int kToolPrint = 4;
inline constexpr int kToolPrintSetup = 5;
inline constexpr int kToolExit = 6;
}  // namespace res

// The colour that the image-list bitmaps use for "transparent".
inline QColor TransparentKey() {
    return QColor(255, 0, 255);
}

// The icon with the given number, with pixmaps at its natural size (and a
// few others, for the task bar and high-density screens). A null QIcon
// when there is no such icon.
QIcon ResourceIcon(int id);

// The natural size of icon `id` (32 x 32); an invalid size when missing.
QSize ResourceIconSize(int id);

// The bitmap with the given number at its natural pixel size; a null
// pixmap when there is no such bitmap. ResourceBitmapImage renders it anew,
// at its natural size or at `size`.
QPixmap ResourceBitmap(int id);
QImage ResourceBitmapImage(int id, QSize size = QSize());
// The natural size of bitmap `id`; an invalid size when missing.
QSize ResourceBitmapSize(int id);

// A bitmap stretched over a window (the dialogs' backgrounds), drawn at the
// size it is shown but never with more pixels than the bitmap has. It is
// rendered again only when that size changes: kept at its natural size, the
// 1024 x 768 background alone took 3 MB in every window that showed it.
class StretchedBitmap {
public:
    explicit StretchedBitmap(int id) : m_id(id), m_natural(ResourceBitmapSize(id)) {}
    // False (nothing painted) when there is no such bitmap.
    bool Paint(QPainter& painter, const QRect& rect, qreal devicePixelRatio);

private:
    int m_id;
    QSize m_natural;
    QPixmap m_pixmap;
};

// Cuts bitmap `bitmapId` into images of `imageWidth` pixels (its full
// height), from the left, with the key colour made transparent. Pictures
// keep their anti-aliased edges against the transparency.
QList<QPixmap> ResourceImageList(int bitmapId, int imageWidth, const QColor& key = TransparentKey());

}  // namespace oront
