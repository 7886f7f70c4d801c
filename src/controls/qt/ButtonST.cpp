#include "controls/qt/ButtonST.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPainter>

namespace oront {

namespace {
constexpr int kIconGap = 3;     // icon distance from the left edge, and from the caption
constexpr int kFocusInset = 3;  // focus rectangle distance from the edge
constexpr int kTextFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
}  // namespace

CButtonST::CButtonST(QWidget* parent) : CButtonST(QString(), parent) {}

CButtonST::CButtonST(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setMouseTracking(true);
    setFlat(true);
    // Nothing is erased behind the button: its faces cover it.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

CButtonST::~CButtonST() = default;

int CButtonST::SetButtonIcon(const QIcon& icon, QSize size) {
    m_icon = QIcon();
    m_iconSize = QSize();
    int result = 1;
    if (!icon.isNull()) {
        if (!size.isValid()) {
            const QList<QSize> sizes = icon.availableSizes();
            size = sizes.isEmpty() ? QSize(32, 32) : sizes.first();
        }
        m_icon = icon;
        m_iconSize = size;
        result = 0;
    }
    update();
    return result;
}

void CButtonST::SetFlatFocus(bool drawFlatFocus, bool repaint) {
    m_bDrawFlatFocus = drawFlatFocus;
    if (repaint) update();
}

QColor CButtonST::ButtonHighlight() const {
    return palette().color(QPalette::Light);
}
QColor CButtonST::ButtonShadow() const {
    return palette().color(QPalette::Dark);
}

void CButtonST::PaintBackground(QPainter& painter, const QRect& rect) {
    // Active (hovered or pressed), focused and idle looks all use the face
    // colour in this program.
    painter.fillRect(rect, palette().color(QPalette::Button));
}

void CButtonST::PaintBorder(QPainter& painter, const QRect& rect) {
    const QColor topLeft = m_bIsPressed ? ButtonShadow() : ButtonHighlight();
    const QColor bottomRight = m_bIsPressed ? ButtonHighlight() : ButtonShadow();
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    painter.fillRect(QRect(QPoint(l, t), QPoint(r - 1, t)), topLeft);
    painter.fillRect(QRect(QPoint(l, t), QPoint(l, b - 1)), topLeft);
    painter.fillRect(QRect(QPoint(r, t), QPoint(r, b)), bottomRight);
    painter.fillRect(QRect(QPoint(l, b), QPoint(r, b)), bottomRight);
}

void CButtonST::CaptionLayout(QRect* iconRect, QRect* captionRect) const {
    const QRect r = rect();
    QRect c = r;
    QRect icon;
    const QString caption = text();
    if (!m_icon.isNull()) {
        const int w = m_iconSize.width();
        const int h = m_iconSize.height();
        int left;
        if (!caption.isEmpty()) {
            left = r.left() + kIconGap;
            c.setLeft(c.left() + w + kIconGap);
        } else {
            left = r.left() + (r.width() - w) / 2;
        }
        const int top = r.top() + (r.height() - h) / 2;
        icon = QRect(left, top, w, h);
        if (m_bIsPressed) icon.translate(1, 1);
    }
    if (iconRect) *iconRect = icon;
    if (!captionRect) return;
    if (caption.isEmpty()) {
        *captionRect = QRect();
        return;
    }
    if (m_bIsPressed) c.translate(1, 1);
    const QRect measured =
        fontMetrics().boundingRect(QRect(0, 0, qMax(1, c.width()), 0x7FFF), kTextFlags & ~Qt::AlignHCenter, caption);
    *captionRect = QRect(c.left() + (c.width() - measured.width()) / 2, c.top() + (c.height() - measured.height()) / 2,
                         measured.width(), measured.height());
}

QRect CButtonST::IconRect() const {
    QRect icon;
    CaptionLayout(&icon, nullptr);
    return icon;
}

QRect CButtonST::CaptionRect() const {
    QRect caption;
    CaptionLayout(nullptr, &caption);
    return caption;
}

void CButtonST::paintEvent(QPaintEvent*) {
    m_bIsPressed = isDown();
    m_bIsFocused = hasFocus();
    m_bIsDisabled = !isEnabled();

    QPainter painter(this);
    const QRect r = rect();
    PaintBackground(painter, r);
    if (m_bDrawBorder && (m_bIsPressed || m_bMouseOnButton)) PaintBorder(painter, r);

    QRect iconRect, captionRect;
    CaptionLayout(&iconRect, &captionRect);
    if (!m_icon.isNull()) {
        const QPixmap pixmap =
            m_icon.pixmap(m_iconSize, devicePixelRatioF(), m_bIsDisabled ? QIcon::Disabled : QIcon::Normal);
        painter.drawPixmap(iconRect, pixmap);
    }

    if (captionRect.isValid()) {
        // The measured rectangle is centred in the caption area; the lines
        // are wrapped at the caption area's width and centred on it.
        const int captionLeft =
            r.left() + (m_icon.isNull() ? 0 : m_iconSize.width() + kIconGap) + (m_bIsPressed ? 1 : 0);
        const QRect lines(captionLeft, captionRect.top(), r.right() + (m_bIsPressed ? 1 : 0) - captionLeft + 1,
                          captionRect.height());
        painter.setFont(font());
        if (m_bIsDisabled) {
            painter.setPen(ButtonHighlight());
            painter.drawText(lines.translated(1, 1), kTextFlags, text());
            painter.setPen(ButtonShadow());
            painter.drawText(lines, kTextFlags, text());
        } else {
            painter.setPen(palette().color(QPalette::ButtonText));
            painter.drawText(lines, kTextFlags, text());
        }
    }

    if (m_bIsFocused && m_bDrawFlatFocus) {
        // Dotted rectangle: every other pixel along the edge.
        const QRect f = r.adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset);
        if (f.width() > 0 && f.height() > 0) {
            const QColor dot = palette().color(QPalette::ButtonText);
            for (int x = f.left(); x <= f.right(); x += 2) {
                painter.fillRect(x, f.top(), 1, 1, dot);
                painter.fillRect(x, f.bottom(), 1, 1, dot);
            }
            for (int y = f.top(); y <= f.bottom(); y += 2) {
                painter.fillRect(f.left(), y, 1, 1, dot);
                painter.fillRect(f.right(), y, 1, 1, dot);
            }
        }
    }
}

void CButtonST::SetHovered(bool hovered) {
    if (m_bMouseOnButton == hovered) return;
    m_bMouseOnButton = hovered;
    update();
}

void CButtonST::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if (!m_bIsFlat || !isEnabled()) return;
    if (!m_bAlwaysTrack && !isActiveWindow()) return;
    // Arriving with the left button already held does not light it up.
    if ((event->buttons() & Qt::LeftButton) && !m_bMouseOnButton) return;
    SetHovered(rect().contains(event->position().toPoint()));
}

void CButtonST::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    if (!m_bIsFlat || !isEnabled()) return;
    if (!m_bAlwaysTrack && !isActiveWindow()) return;
    if ((QGuiApplication::mouseButtons() & Qt::LeftButton) && !m_bMouseOnButton) return;
    SetHovered(true);
}

void CButtonST::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    SetHovered(false);
}

void CButtonST::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    SetHovered(false);
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is one more press: the release that follows clicks.
    mousePressEvent(event);
}

void CButtonST::MoveFocusToNextTabStop() {
    QWidget* parent = parentWidget();
    if (!parent) return;
    QWidget* top = window();
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (w->window() != top || !parent->isAncestorOf(w)) continue;
        if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(top)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    parent->setFocus(Qt::OtherFocusReason);
}

void CButtonST::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    switch (event->type()) {
        case QEvent::EnabledChange:
            // Only when this button itself is disabled, not when a parent is.
            if (!isEnabled() && testAttribute(Qt::WA_ForceDisabled)) {
                MoveFocusToNextTabStop();
                SetHovered(false);
            }
            break;
        case QEvent::ActivationChange:
            if (!isActiveWindow()) SetHovered(false);
            break;
        default:
            break;
    }
}

bool CButtonST::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide) SetHovered(false);
    return QPushButton::event(event);
}

}  // namespace oront
