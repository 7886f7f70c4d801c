// CButtonST: a flat push button that paints itself and follows the mouse.
//
// Looks:
//   idle      face in the idle background colour, no border;
//   hovered   face in the active background colour, raised one-pixel border
//             (light top and left, dark bottom and right);
//   pressed   sunken border (dark top and left, light bottom and right), the
//             icon and the caption one pixel lower right;
//   disabled  icon in its disabled rendering, caption embossed (light colour
//             one pixel lower right, dark colour on top);
//   focused   dotted focus rectangle 3 pixels inside the edge, when switched
//             on with SetFlatFocus(true).
// The one icon sits 3 pixels from the left edge, centred vertically; the
// caption is word-wrapped and centred in the rest. Without a caption the
// icon is centred.
//
// Colours come from the button's palette: "button face" = QPalette::Button,
// "button text" = QPalette::ButtonText, "button highlight" = QPalette::Light
// and "button shadow" = QPalette::Dark.
//
// Behaviour: hover is not taken while the left mouse button is held when
// the pointer arrives; it is cleared on leave, loss of focus and window
// deactivation. Disabling the button moves the keyboard focus to the next
// tab stop of its parent (the parent itself when there is none). A double
// click counts as a second press, so it emits clicked() once more. The
// "default" flag is QPushButton's default property, which the dialog
// updates as the focus moves among its push buttons; Enter in a QDialog
// clicks the default button.
#pragma once

#include <QIcon>
#include <QPushButton>

namespace oront {

class CButtonST : public QPushButton {
    Q_OBJECT
public:
    explicit CButtonST(QWidget* parent = nullptr);
    explicit CButtonST(const QString& text, QWidget* parent = nullptr);
    ~CButtonST() override;

    // Gives the button its one icon, drawn at `size` (its natural size when
    // `size` is not valid: the icon's first available size, else 32 x 32).
    // Returns 0 on success; 1 when the icon is null, which leaves the button
    // without an icon. Repaints the button.
    int SetButtonIcon(const QIcon& icon, QSize size = QSize());
    QIcon ButtonIcon() const { return m_icon; }
    QSize ButtonIconSize() const { return m_iconSize; }

    // Switches the dotted focus rectangle of the flat button on or off.
    void SetFlatFocus(bool drawFlatFocus, bool repaint = true);
    bool FlatFocus() const { return m_bDrawFlatFocus; }

    // Whether the pointer is over the button (the hover look).
    bool IsHovered() const { return m_bMouseOnButton; }
    // The button is its dialog's default push button.
    bool IsDefaultButton() const { return isDefault(); }

    // Where the icon and the caption go for the button's current rectangle
    // and pressed state (the caption's measured, centred rectangle).
    QRect IconRect() const;
    QRect CaptionRect() const;

protected:
    // Fills the face: active colour when hovered or pressed, else the
    // focused colour when focused, else the idle colour.
    virtual void PaintBackground(QPainter& painter, const QRect& rect);
    // One-pixel border on the rectangle's edge: sunken when pressed, raised
    // otherwise.
    virtual void PaintBorder(QPainter& painter, const QRect& rect);

    // Paint-time state, taken at each paint.
    bool IsPressedState() const { return m_bIsPressed; }
    bool IsFocusedState() const { return m_bIsFocused; }
    bool IsDisabledState() const { return m_bIsDisabled; }

    QColor ButtonHighlight() const;
    QColor ButtonShadow() const;

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void SetHovered(bool hovered);
    void MoveFocusToNextTabStop();
    void CaptionLayout(QRect* iconRect, QRect* captionRect) const;

    bool m_bIsFlat = true;
    bool m_bMouseOnButton = false;
    bool m_bIsPressed = false;
    bool m_bIsFocused = false;
    bool m_bIsDisabled = false;
    bool m_bDrawBorder = true;
    bool m_bDrawFlatFocus = false;
    bool m_bAlwaysTrack = true;
    QIcon m_icon;
    QSize m_iconSize;
};

}  // namespace oront
