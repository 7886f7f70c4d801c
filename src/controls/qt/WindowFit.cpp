#include "controls/qt/WindowFit.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace oront {
namespace {

constexpr const char* kScrolls = "oront-content-scrolls";

// The window's content moves into a scroll area that takes the window's
// place: the layout (and with it every widget it holds) is taken off the
// window and set on the scroll area's widget.
void MakeContentScroll(QWidget* window) {
    QLayout* layout = window->layout();
    if (layout == nullptr || window->property(kScrolls).toBool()) return;
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("scrolledContent"));
    content->setLayout(layout);
    auto* scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("contentScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    window->setProperty(kScrolls, true);
}

bool IsFittedWindow(const QWidget* widget) {
    if (!widget->isWindow()) return false;
    switch (widget->windowType()) {
        case Qt::Window:
        case Qt::Dialog:
        case Qt::Sheet:
        case Qt::Tool:
            return true;
        default:  // menus, tool tips, splash screens, the desktop
            return false;
    }
}

class WindowFitFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* window = static_cast<QWidget*>(watched);
            if (IsFittedWindow(window) && !window->isMaximized() && !window->isFullScreen()) {
                QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
                if (screen == nullptr) screen = window->screen();
                if (screen == nullptr) screen = QGuiApplication::primaryScreen();
                if (screen != nullptr) FitWindowInto(window, screen->availableGeometry(), WindowFrameOf(window));
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void InstallWindowFit() {
    static WindowFitFilter* filter = nullptr;
    if (filter != nullptr || qApp == nullptr) return;
    filter = new WindowFitFilter(qApp);
    qApp->installEventFilter(filter);
}

QMargins WindowFrameOf(const QWidget* window) {
    QMargins known;
    if (const QWindow* handle = window->windowHandle()) known = handle->frameMargins();
    // Before the window system has framed the window it reports nothing:
    // a title bar of the style's height (at least two lines of text) and
    // thin borders are assumed.
    const int title = std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                               2 * window->fontMetrics().height());
    const QMargins assumed(4, title, 4, 4);
    return QMargins(std::max(known.left(), assumed.left()), std::max(known.top(), assumed.top()),
                    std::max(known.right(), assumed.right()), std::max(known.bottom(), assumed.bottom()));
}

void FitWindowInto(QWidget* window, const QRect& area, const QMargins& frame) {
    const QRect room = area.marginsRemoved(frame);
    if (room.width() <= 0 || room.height() <= 0) return;
    QSize size = window->size();
    if (size.width() > room.width() || size.height() > room.height()) {
        // What the layout needs beyond the room scrolls; a window without a
        // layout is made smaller than its smallest size.
        const QSize needed = window->minimumSizeHint();
        if (needed.width() > room.width() || needed.height() > room.height()) MakeContentScroll(window);
        window->setMinimumSize(window->minimumSize().boundedTo(room.size()));
        size = size.boundedTo(room.size());
    }
    QRect placed(window->geometry().topLeft(), size);
    if (placed.right() > room.right()) placed.moveRight(room.right());
    if (placed.bottom() > room.bottom()) placed.moveBottom(room.bottom());
    if (placed.left() < room.left()) placed.moveLeft(room.left());
    if (placed.top() < room.top()) placed.moveTop(room.top());
    if (placed != window->geometry()) window->setGeometry(placed);
}

}  // namespace oront
