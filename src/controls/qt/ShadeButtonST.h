// CShadeButtonST: the skinned push button of every window of the program.
//
// A CButtonST whose face is one of two pictures built once by
// BuildShadeImages() from the button's size at that moment: the normal face
// (plain RGB(246, 246, 246)) and the hover face (plain "button highlight",
// QPalette::Light). The hover face is drawn one pixel lower right while the
// button is pressed.
//
// Set-up, in this order, once the button has its final geometry:
//   auto* ok = new CShadeButtonST("OK", dialog);
//   ok->setObjectName("1");
//   ok->setGeometry(du.Rect(82, 48, 50, 14));
//   ok->SetButtonIcon(ResourceIcon(res::kIconOk));
//   ok->BuildShadeImages();
//   ok->SetFlatFocus(true);
// A later change of size does not rebuild the faces.
#pragma once

#include <QImage>

#include "controls/CeXDib.h"
#include "controls/qt/ButtonST.h"

namespace oront {

class CShadeButtonST : public CButtonST {
    Q_OBJECT
public:
    explicit CShadeButtonST(QWidget* parent = nullptr);
    explicit CShadeButtonST(const QString& text, QWidget* parent = nullptr);
    ~CShadeButtonST() override;

    // Builds the normal and hover faces for the button's current size from
    // its palette's Light, Button and Dark colours.
    void BuildShadeImages();

    const CCeXDib& NormalFace() const { return m_dNormal; }
    const CCeXDib& HoverFace() const { return m_dOver; }

protected:
    // Normal face at (0, 0) when not hovered; hover face at (1, 1) when
    // hovered and pressed, at (0, 0) when only hovered.
    void PaintBackground(QPainter& painter, const QRect& rect) override;

private:
    CCeXDib m_dNormal;
    CCeXDib m_dOver;
    // The faces as drawable pictures, made once when they are built.
    QImage m_normalImage;
    QImage m_overImage;
};

}  // namespace oront
