#include "controls/qt/ShadeButtonST.h"

#include <QPainter>

#include "controls/qt/DibImage.h"

namespace oront {

namespace {
DibRgb ToDib(const QColor& c) {
    return MakeRgb(c.red(), c.green(), c.blue());
}
}  // namespace

CShadeButtonST::CShadeButtonST(QWidget* parent) : CButtonST(parent) {}
CShadeButtonST::CShadeButtonST(const QString& text, QWidget* parent) : CButtonST(text, parent) {}
CShadeButtonST::~CShadeButtonST() = default;

void CShadeButtonST::BuildShadeImages() {
    const QPalette& pal = palette();
    BuildShadeFaces(width(), height(), ToDib(pal.color(QPalette::Light)), ToDib(pal.color(QPalette::Button)),
                    ToDib(pal.color(QPalette::Dark)), m_dNormal, m_dOver);
    m_normalImage = DibToImage(m_dNormal);
    m_overImage = DibToImage(m_dOver);
    update();
}

void CShadeButtonST::PaintBackground(QPainter& painter, const QRect&) {
    // A face that could not be built is not drawn: what lies under the
    // button shows.
    if (!IsHovered()) {
        if (!m_normalImage.isNull()) painter.drawImage(0, 0, m_normalImage);
    } else if (!m_overImage.isNull()) {
        const int offset = IsPressedState() ? 1 : 0;
        painter.drawImage(offset, offset, m_overImage);
    }
}

}  // namespace oront
