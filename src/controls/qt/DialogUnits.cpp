#include "controls/qt/DialogUnits.h"

#include <QFontMetrics>

namespace oront {

namespace {
// a x b / c rounded to the nearest integer, halves away from zero (c > 0).
int MulDiv(int a, int b, int c) {
    if (c <= 0) return 0;
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>((2 * p + (p >= 0 ? c : -c)) / (2LL * c));
}
}  // namespace

QFont DialogFont(const QString& family, int pointSize) {
    QFont font(family);
    font.setPixelSize(MulDiv(pointSize, 96, 72));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (width / 26 + 1) / 2;
    m_baseY = fm.height();
}

int DialogUnits::X(int units) const {
    return MulDiv(units, m_baseX, 4);
}
int DialogUnits::Y(int units) const {
    return MulDiv(units, m_baseY, 8);
}

}  // namespace oront
