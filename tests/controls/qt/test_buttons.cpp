// The skinned button's looks, checked on the pixels of grabbed images, and
// its mouse, keyboard and focus behaviour.
#include <gtest/gtest.h>

#include <QDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"

using namespace oront;

namespace {

const QColor kIdle(246, 246, 246);
const QColor kLight(255, 250, 205);  // distinct roles, so each colour tells where it came from
const QColor kDark(90, 100, 110);
const QColor kFace(225, 225, 225);
const QColor kText(0, 0, 0);

QPalette TestPalette() {
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Light, kLight);
    pal.setColor(QPalette::Dark, kDark);
    pal.setColor(QPalette::Button, kFace);
    pal.setColor(QPalette::ButtonText, kText);
    return pal;
}

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

bool IsGrey(const QColor& c, int tolerance = 10) {
    return std::abs(c.red() - c.green()) <= tolerance && std::abs(c.green() - c.blue()) <= tolerance;
}

// A window with three skinned buttons in tab order and a plain pad widget.
struct ButtonRig {
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    CShadeButtonST* a;
    CShadeButtonST* b;
    CShadeButtonST* c;
    QWidget* pad;

    ButtonRig() {
        host->setPalette(TestPalette());
        host->resize(420, 200);
        a = Make("Read Records", res::kIconReadRecords, QRect(10, 10, 108, 30));
        b = Make("Save All", res::kIconSaveAll, QRect(130, 10, 108, 30));
        c = Make("Quit", res::kIconQuit, QRect(250, 10, 108, 30));
        pad = new QWidget(host.get());
        pad->setGeometry(10, 100, 100, 60);
        host->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(host.get()));
    }
    CShadeButtonST* Make(const char* text, int icon, const QRect& geometry) {
        auto* button = new CShadeButtonST(QString::fromLatin1(text), host.get());
        button->setGeometry(geometry);
        EXPECT_EQ(button->SetButtonIcon(ResourceIcon(icon)), 0);
        button->BuildShadeImages();
        button->SetFlatFocus(true);
        return button;
    }
};

QImage Grab(QWidget* w) {
    QApplication::processEvents();
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(ShadeButton, IdleLookFlatFaceIconAtLeftAndCentredCaption) {
    ButtonRig rig;
    rig.pad->setFocus();
    CShadeButtonST* b = rig.a;
    const QImage img = Grab(b);
    const int w = b->width(), h = b->height();
    // Plain face everywhere the icon and caption leave free, edges included:
    // no border.
    for (const QPoint p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1), QPoint(w - 2, h / 2),
                           QPoint(1, h / 2), QPoint(2, h / 2)})
        EXPECT_EQ(At(img, p.x(), p.y()), kIdle) << p.x() << "," << p.y();

    // Icon: 3 pixels from the left edge, centred vertically.
    EXPECT_EQ(b->ButtonIconSize(), QSize(32, 32));
    const QRect icon = b->IconRect();
    EXPECT_EQ(icon, QRect(3, (h - 32) / 2, 32, 32));
    int iconPixels = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (At(img, x, y) != kIdle && x < icon.left()) ++iconPixels;
    EXPECT_EQ(iconPixels, 0) << "nothing is drawn left of the icon";
    EXPECT_NE(At(img, icon.center().x(), h / 2), kIdle);

    // Caption: centred in the area right of the icon, in the text colour.
    const QRect caption = b->CaptionRect();
    const int areaLeft = 32 + 3;  // the caption area starts after the icon width + 3
    EXPECT_LE(std::abs((caption.left() - areaLeft) - (w - 1 - caption.right())), 1)
        << caption.left() << " " << caption.right() << " " << w << " " << b->font().family().toStdString();
    EXPECT_LE(std::abs(caption.top() - (h - 1 - caption.bottom())), 1);
    int darkest = 255;
    for (int y = caption.top(); y <= caption.bottom(); ++y)
        for (int x = caption.left(); x <= caption.right(); ++x) darkest = std::min(darkest, At(img, x, y).value());
    EXPECT_LT(darkest, 60);
}

TEST(ShadeButton, HoverShowsHighlightFaceWithRaisedBorderAndLeaveRestores) {
    ButtonRig rig;
    CShadeButtonST* b = rig.a;
    const int w = b->width(), h = b->height();
    QTest::mouseMove(b, QPoint(w / 2, h / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->IsHovered(); }));
    const QImage img = Grab(b);
    EXPECT_EQ(At(img, w - 3, 2), kLight) << "hover face";
    EXPECT_EQ(At(img, w / 2, 0), kLight) << "top edge raised";
    EXPECT_EQ(At(img, 0, h / 2 + 1), kLight) << "left edge raised";
    EXPECT_EQ(At(img, w / 2, h - 1), kDark) << "bottom edge";
    EXPECT_EQ(At(img, w - 1, h / 2), kDark) << "right edge";

    QTest::mouseMove(rig.host.get(), QPoint(200, 150));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !b->IsHovered(); }));
    const QImage idle = Grab(b);
    EXPECT_EQ(At(idle, w / 2, 0), kIdle);
    EXPECT_EQ(At(idle, w - 1, h / 2), kIdle);
}

TEST(ShadeButton, PressedShowsSunkenBorderAndShiftsFaceIconAndCaption) {
    ButtonRig rig;
    CShadeButtonST* b = rig.a;
    const int w = b->width(), h = b->height();
    QSignalSpy clicked(b, &QPushButton::clicked);
    b->SetFlatFocus(false);  // compare faces without the focus rectangle
    QTest::mouseMove(b, QPoint(w / 2, h / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->IsHovered(); }));
    const QImage hover = Grab(b);
    const QRect icon = b->IconRect();
    const QRect caption = b->CaptionRect();

    QTest::mousePress(b, Qt::LeftButton, {}, QPoint(w / 2, h / 2));
    ASSERT_TRUE(b->isDown());
    EXPECT_TRUE(b->hasFocus()) << "a click puts the focus on the button";
    const QImage pressed = Grab(b);
    EXPECT_EQ(At(pressed, w / 2, 0), kDark) << "top edge sunken";
    EXPECT_EQ(At(pressed, 0, h / 2), kDark) << "left edge sunken";
    EXPECT_EQ(At(pressed, w / 2, h - 1), kLight);
    EXPECT_EQ(At(pressed, w - 1, h / 2), kLight);
    EXPECT_EQ(At(pressed, w - 3, 2), kLight) << "the hover face, one pixel lower right";
    EXPECT_EQ(b->IconRect(), icon.translated(1, 1));
    EXPECT_EQ(b->CaptionRect(), caption.translated(1, 1));
    // The caption's pixels moved by exactly one pixel right and down.
    const QRect textArea = caption.adjusted(-1, -1, 1, 1).intersected(b->rect().adjusted(1, 1, -2, -2));
    EXPECT_EQ(hover.copy(textArea), pressed.copy(textArea.translated(1, 1)));

    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(w / 2, h / 2));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(ShadeButton, DisabledGreysTheIconEmbossesTheTextAndPassesTheFocusOn) {
    ButtonRig rig;
    CShadeButtonST* b = rig.b;
    const QImage normal = Grab(b);
    const QRect icon = b->IconRect().intersected(b->rect());
    bool colourful = false;
    for (int y = icon.top(); y <= icon.bottom(); ++y)
        for (int x = icon.left(); x <= icon.right(); ++x) colourful |= !IsGrey(At(normal, x, y));
    ASSERT_TRUE(colourful) << "the enabled icon has colour";

    rig.a->setFocus();
    b->setEnabled(false);
    // Disabling moves the focus to the next tab stop even when the button
    // did not have it.
    EXPECT_EQ(rig.host->focusWidget(), rig.c);

    const QImage img = Grab(b);
    for (int y = icon.top(); y <= icon.bottom(); ++y)
        for (int x = icon.left(); x <= icon.right(); ++x)
            ASSERT_TRUE(IsGrey(At(img, x, y), 24)) << "disabled icon is grey at " << x << "," << y;
    const QRect caption = b->CaptionRect();
    int light = 0, shadow = 0, black = 0;
    for (int y = caption.top(); y <= caption.bottom() + 1; ++y) {
        for (int x = caption.left(); x <= caption.right() + 1; ++x) {
            const QColor c = At(img, x, y);
            light += c == kLight;
            shadow += c == kDark;
            black += c.value() < 40;
        }
    }
    EXPECT_GT(light, 0) << "highlight copy one pixel lower right";
    EXPECT_GT(shadow, 0) << "shadow copy on top";
    EXPECT_EQ(black, 0) << "no text in the normal text colour";

    // No hover while disabled.
    QTest::mouseMove(b, b->rect().center());
    QApplication::processEvents();
    EXPECT_FALSE(b->IsHovered());

    // Disabling the focused button moves the focus on (wrapping round).
    rig.c->setFocus();
    rig.c->setEnabled(false);
    EXPECT_EQ(rig.host->focusWidget(), rig.a);
    // With no tab stop left the parent itself takes the focus.
    rig.a->setEnabled(false);
    EXPECT_EQ(rig.host->focusWidget(), rig.host.get());
}

TEST(ShadeButton, HoveredButtonLosesHoverWhenDisabled) {
    ButtonRig rig;
    QTest::mouseMove(rig.b, rig.b->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.b->IsHovered(); }));
    rig.b->setEnabled(false);
    EXPECT_FALSE(rig.b->IsHovered());
}

TEST(ShadeButton, FocusRectangleIsDotted3PixelsInsideWhenSwitchedOn) {
    ButtonRig rig;
    CShadeButtonST* b = rig.c;
    const int w = b->width(), h = b->height();
    b->setFocus();
    ASSERT_TRUE(b->hasFocus());
    const QImage img = Grab(b);
    // Right edge of the focus rectangle: every other pixel dotted.
    int dots = 0;
    for (int y = 3; y <= h - 4; ++y) {
        const bool dark = At(img, w - 4, y).value() < 60;
        dots += dark;
        EXPECT_EQ(dark, (y - 3) % 2 == 0) << "y " << y;
        EXPECT_EQ(At(img, w - 3, y), kIdle) << "outside the rectangle";
        if (y > 3 && y < h - 4) {
            EXPECT_EQ(At(img, w - 5, y), kIdle) << "inside the rectangle";
        }
    }
    EXPECT_GT(dots, 5);
    // Top and bottom edges, right of the caption: dots from the left corner.
    EXPECT_LT(At(img, w - 5, 3).value(), 60);
    EXPECT_EQ(At(img, w - 6, 3), kIdle);
    EXPECT_LT(At(img, w - 5, h - 4).value(), 60);
    EXPECT_EQ(At(img, w - 5, 2), kIdle);
    EXPECT_EQ(At(img, w - 5, h - 3), kIdle);

    b->SetFlatFocus(false);
    const QImage plain = Grab(b);
    for (int y = 3; y <= h - 4; ++y) EXPECT_EQ(At(plain, w - 4, y), kIdle);
}

TEST(ShadeButton, ArrivingWithTheLeftButtonHeldDoesNotHover) {
    ButtonRig rig;
    CShadeButtonST* b = rig.a;
    // A drag that started elsewhere: the move arrives with the button held.
    QMouseEvent drag(QEvent::MouseMove, QPointF(20, 15), b->mapToGlobal(QPointF(20, 15)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(b, &drag);
    EXPECT_FALSE(b->IsHovered());
    // The same through the mouse: press on the pad, move onto the button.
    QTest::mousePress(rig.pad, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(b, QPoint(30, 15));
    QApplication::processEvents();
    EXPECT_FALSE(b->IsHovered());
    EXPECT_EQ(Grab(b).pixelColor(b->width() - 3, 2), kIdle);
    QTest::mouseRelease(rig.pad, Qt::LeftButton, {}, QPoint(5, 5));
    // A plain move lights it up.
    QMouseEvent move(QEvent::MouseMove, QPointF(22, 15), b->mapToGlobal(QPointF(22, 15)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    EXPECT_TRUE(b->IsHovered());
}

TEST(ShadeButton, HoverClearedOnFocusLossAndDeactivation) {
    ButtonRig rig;
    CShadeButtonST* b = rig.a;
    QTest::mouseMove(b, b->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->IsHovered(); }));
    b->setFocus();
    rig.b->setFocus();
    EXPECT_FALSE(b->IsHovered()) << "focus loss";

    QTest::mouseMove(rig.b, rig.b->rect().center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.b->IsHovered(); }));
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.host->isActiveWindow(); }));
    EXPECT_FALSE(rig.b->IsHovered()) << "window deactivated";
}

TEST(ShadeButton, DoubleClickCountsAsTwoPresses) {
    ButtonRig rig;
    QSignalSpy clicked(rig.a, &QPushButton::clicked);
    // What a double click delivers: press, release, double click, release.
    const QPoint centre = rig.a->rect().center();
    QTest::mouseClick(rig.a, Qt::LeftButton, {}, centre);
    QTest::mouseDClick(rig.a, Qt::LeftButton, {}, centre);
    QTest::mouseRelease(rig.a, Qt::LeftButton, {}, centre);
    EXPECT_EQ(clicked.count(), 2);

    // The double-click message alone is a press: its release clicks.
    clicked.clear();
    const QPointF p(20, 15);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, p, rig.a->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(rig.a, &dbl);
    EXPECT_TRUE(rig.a->isDown());
    QMouseEvent up(QEvent::MouseButtonRelease, p, rig.a->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(rig.a, &up);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(ShadeButton, IconIsCentredWithoutCaption) {
    QWidget host;
    host.setPalette(TestPalette());
    auto* b = new CShadeButtonST(&host);
    b->setGeometry(0, 0, 61, 40);
    ASSERT_EQ(b->SetButtonIcon(ResourceIcon(res::kIconOk)), 0);
    b->BuildShadeImages();
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    EXPECT_EQ(b->IconRect(), QRect((61 - 32) / 2, (40 - 32) / 2, 32, 32));
    const QImage img = Grab(b);
    int left = 61, right = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 61; ++x)
            if (At(img, x, y) != kIdle) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, 0);
    EXPECT_LE(std::abs(left - (60 - right)), 2) << left << " " << right;
}

TEST(ShadeButton, NullIconIsRefusedAndLeavesNoIcon) {
    CShadeButtonST b(QStringLiteral("OK"));
    EXPECT_EQ(b.SetButtonIcon(ResourceIcon(res::kIconOk)), 0);
    EXPECT_EQ(b.SetButtonIcon(QIcon()), 1);
    EXPECT_TRUE(b.ButtonIcon().isNull());
    EXPECT_FALSE(b.IconRect().isValid());
}

TEST(ShadeButton, EnterClicksTheDefaultButtonOfADialog) {
    QDialog dialog;
    auto* ok = new CShadeButtonST(QStringLiteral("OK"), &dialog);
    ok->setGeometry(10, 10, 80, 24);
    auto* cancel = new CShadeButtonST(QStringLiteral("Cancel"), &dialog);
    cancel->setGeometry(100, 10, 80, 24);
    ok->setDefault(true);
    EXPECT_TRUE(ok->IsDefaultButton());
    QSignalSpy okClicked(ok, &QPushButton::clicked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(okClicked.count(), 1);
    // The focused push button becomes the default one.
    cancel->setFocus();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancel->hasFocus(); }));
    EXPECT_TRUE(cancel->IsDefaultButton());
    EXPECT_FALSE(ok->IsDefaultButton());
}

TEST(ShadeButton, LooksSideBySideInTheApplicationPalette) {
    // Idle, hovered, pressed, disabled and focused, side by side on the
    // window background colour.
    QWidget host;
    QPalette pal = host.palette();
    pal.setColor(QPalette::Window, QColor(144, 183, 204));
    host.setPalette(pal);
    host.setAutoFillBackground(true);
    host.resize(5 * 118 + 10, 50);
    std::vector<CShadeButtonST*> buttons;
    const char* texts[] = {"Read Records", "Save All", "Data Print", "Delete Records", "Quit"};
    const int icons[] = {res::kIconReadRecords, res::kIconSaveAll, res::kIconDataPrint, res::kIconDeleteRecords,
                         res::kIconQuit};
    for (int i = 0; i < 5; ++i) {
        auto* b = new CShadeButtonST(QString::fromLatin1(texts[i]), &host);
        b->setGeometry(10 + i * 118, 10, 108, 30);
        b->SetButtonIcon(ResourceIcon(icons[i]));
        b->BuildShadeImages();
        b->SetFlatFocus(true);
        buttons.push_back(b);
    }
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    auto hover = [](CShadeButtonST* b) {
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 15), b->mapToGlobal(QPointF(20, 15)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(b, &move);
    };
    hover(buttons[1]);
    hover(buttons[2]);
    buttons[2]->setDown(true);
    buttons[3]->setEnabled(false);
    buttons[4]->setFocus();
    EXPECT_TRUE(buttons[1]->IsHovered());
    const QImage looks = Grab(&host);
    const auto at = [&looks](const CShadeButtonST* b, int x, int y) {
        return looks.pixel(b->mapTo(b->parentWidget(), QPoint(x, y)));
    };
    const int w = buttons[0]->width(), h = buttons[0]->height();
    const QPalette bp = buttons[0]->palette();
    EXPECT_EQ(at(buttons[0], w - 3, 2), kIdle.rgb()) << "idle face";
    EXPECT_EQ(at(buttons[1], w - 3, 2), bp.color(QPalette::Light).rgb()) << "hover face";
    EXPECT_EQ(at(buttons[1], w / 2, h - 1), bp.color(QPalette::Dark).rgb()) << "hover: bottom edge";
    EXPECT_EQ(at(buttons[2], w / 2, 0), bp.color(QPalette::Dark).rgb()) << "pressed: top edge sunken";
    EXPECT_EQ(at(buttons[3], w - 3, 2), kIdle.rgb()) << "disabled face";
    EXPECT_LT(qGray(at(buttons[4], w - 4, 3)), 60) << "focus rectangle";
    EXPECT_EQ(looks.pixelColor(5, 5), QColor(144, 183, 204)) << "the window between the buttons";
}
