// Every window of the program opens within the available area of its
// screen (the screen less task bars and panels), whatever the scale factor:
// a window larger than the area is made as large as the area, its content
// scrolling where its layout needs more room, and one that stands partly
// outside (a remembered place on a screen that has changed) is moved in,
// its title bar first, so that its buttons can always be reached.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace oront {

// Fits every window of the application when it is shown (an event filter on
// the application object). Call once, after the QApplication exists.
void InstallWindowFit();

// Fits `window` (a top-level widget) into `area` in screen coordinates,
// leaving room for a window frame of `frame`: the client area it may take is
// `area` less `frame`.
void FitWindowInto(QWidget* window, const QRect& area, const QMargins& frame);

// The frame the window system adds around `window`: what it reports once
// the window has been shown, else an estimate from the style's title bar.
QMargins WindowFrameOf(const QWidget* window);

}  // namespace oront
