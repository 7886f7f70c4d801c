// Drawing a CCeXDib with Qt.
#pragma once

#include <QImage>

#include "controls/CeXDib.h"

class QPainter;

namespace oront {

// A top-down copy of the image: 1, 4 and 8 bits a pixel become
// Format_Indexed8 with the image's colour table, 24 and 32 bits RGB32.
// An image without a block gives a null QImage.
QImage DibToImage(const CCeXDib& dib);

// Draws the image at its own size with its top-left corner at (x, y) as a
// plain copy (no blending). Draws nothing for an image without a block.
void DrawAt(const CCeXDib& dib, QPainter& painter, int x, int y);

}  // namespace oront
