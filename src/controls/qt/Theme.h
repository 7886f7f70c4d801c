// Colours shared by the windows of the program.
#pragma once

#include <QColor>

namespace oront::theme {

// Background of the static texts of the main window, the message dialogs
// and the range dialog (the one shared background brush).
inline QColor Background() {
    return QColor(144, 183, 204);
}

// Text of the value labels of the main window (channel sizes and unit).
inline QColor ValueText() {
    return QColor(128, 0, 255);
}

// Text of the caption labels and of the message texts.
inline QColor CaptionText() {
    return QColor(0, 0, 0);
}

// Fill of the print preview's page window (bitmap 169 is 8 x 8 of it).
inline QColor PreviewBackground() {
    return QColor(0, 255, 255);
}

}  // namespace oront::theme
