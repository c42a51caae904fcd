#pragma once

#include "ui/kit/Appearance.h"

#include <QSizeF>

class QPainter;

namespace oxel {

// The corner marks that frame the large picture of the lightbox: 8 in from the edges, in ink at 0.85.
void drawLightboxCorners(QPainter& painter, QSizeF size, Appearance appearance);

// The corner marks of a tile's picture: 1 in from the edges when `tight`, else 8, in ink at `opacity`.
void drawTileCorners(QPainter& painter, QSizeF size, double opacity, bool tight, Appearance appearance);

} // namespace oxel
