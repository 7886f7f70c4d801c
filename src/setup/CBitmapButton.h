// A push button that shows only pictures: one for the normal, pressed,
// focused and disabled state. The caption is part of the artwork; the button
// keeps it as its text for accessibility but does not draw it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    // Loads the four pictures from SVG resources, rendered at nWidth x nHeight
    // pixels. An empty path reuses the normal picture. Returns false when the
    // normal picture cannot be loaded.
    bool LoadBitmaps(const QString& strNormal, const QString& strPressed, const QString& strFocused,
                     const QString& strDisabled, QSize size);
    // Resizes the button to its normal picture; the top-left corner stays.
    void SizeToContent();

    QSize sizeHint() const override;

    // The picture the button shows in its current state.
    const QPixmap& CurrentPicture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_bmpNormal;
    QPixmap m_bmpPressed;
    QPixmap m_bmpFocused;
    QPixmap m_bmpDisabled;
};

// Renders an SVG resource at the given size in device-independent pixels,
// sharp on high-density screens. Returns a null pixmap when it cannot be read.
QPixmap RenderSvgPicture(const QString& strPath, QSize size, qreal dDevicePixelRatio);
