// Placing controls in dialog units, as dialog templates do.
//
// A dialog unit is a quarter of the dialog font's average character width
// horizontally and an eighth of its character height vertically. The
// average width is that of "A".."Z" "a".."z" divided by 52 and rounded, the
// height is the font's line height, as the Windows dialog manager computes
// them. Every coordinate and size is converted on its own, rounded to the
// nearest pixel.
//
//   const QFont font = DialogFont("Arial", 9);
//   const DialogUnits du(font);
//   dialog->setFont(font);
//   dialog->setFixedSize(du.Size(435, 259));
//   button->setGeometry(du.Rect(6, 218, 72, 16));
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace oront {

// A dialog font of `pointSize` points as a dialog template asks for it: its
// pixel size is pointSize x 96 / 72 rounded (Arial 9 point = 12 pixels,
// 10 point = 13 pixels), independent of the screen's reported resolution.
QFont DialogFont(const QString& family, int pointSize);

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    // Base units in pixels: average character width and character height.
    DialogUnits(int baseWidth, int baseHeight) : m_baseX(baseWidth), m_baseY(baseHeight) {}

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    // Horizontal and vertical dialog units to pixels.
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace oront
