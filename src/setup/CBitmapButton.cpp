#include "setup/CBitmapButton.h"

#include <QPainter>
#include <QtMath>
#ifdef ORONT_NO_SVG
#include <QImage>
#else
#include <QSvgRenderer>
#endif

QPixmap RenderSvgPicture(const QString& strPath, QSize size, qreal dDevicePixelRatio) {
    if (size.isEmpty()) return {};
    const QSize pixels(qCeil(size.width() * dDevicePixelRatio), qCeil(size.height() * dDevicePixelRatio));
#ifdef ORONT_NO_SVG
    // Without Qt's SVG module the pictures come drawn at build time, as PNG
    // files at twice their size beside the SVG's name.
    QImage image(QString(strPath).replace(QStringLiteral(".svg"), QStringLiteral(".png")));
    if (image.isNull()) return {};
    QPixmap picture = QPixmap::fromImage(
        image.size() == pixels ? image : image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
#else
    QSvgRenderer renderer(strPath);
    if (!renderer.isValid()) return {};
    QPixmap picture(pixels);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
#endif
    picture.setDevicePixelRatio(dDevicePixelRatio);
    return picture;
}

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

bool CBitmapButton::LoadBitmaps(const QString& strNormal, const QString& strPressed, const QString& strFocused,
                                const QString& strDisabled, QSize size) {
    const qreal dRatio = devicePixelRatioF();
    m_bmpNormal = RenderSvgPicture(strNormal, size, dRatio);
    if (m_bmpNormal.isNull()) return false;
    auto load = [&](const QString& strPath) {
        QPixmap picture = strPath.isEmpty() ? QPixmap() : RenderSvgPicture(strPath, size, dRatio);
        return picture.isNull() ? m_bmpNormal : picture;
    };
    m_bmpPressed = load(strPressed);
    m_bmpFocused = load(strFocused);
    m_bmpDisabled = load(strDisabled);
    update();
    return true;
}

void CBitmapButton::SizeToContent() {
    if (!m_bmpNormal.isNull()) resize(m_bmpNormal.deviceIndependentSize().toSize());
}

QSize CBitmapButton::sizeHint() const {
    return m_bmpNormal.isNull() ? QSize(16, 16) : m_bmpNormal.deviceIndependentSize().toSize();
}

const QPixmap& CBitmapButton::CurrentPicture() const {
    if (!isEnabled()) return m_bmpDisabled;
    if (isDown()) return m_bmpPressed;
    if (hasFocus()) return m_bmpFocused;
    return m_bmpNormal;
}

void CBitmapButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& picture = CurrentPicture();
    if (!picture.isNull()) painter.drawPixmap(0, 0, picture);
}
