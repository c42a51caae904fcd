#include "ui/kit/PictureCorners.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

namespace oxel {

namespace {

constexpr qreal arm = 18;

void drawCorners(QPainter& painter, QSizeF size, qreal inset, const QColor& colour)
{
    const qreal i = inset, r = size.width() - inset, b = size.height() - inset;
    strokePath(painter, {{i + arm, i}, {i, i}, {i, i + arm}}, colour, markLine);
    strokePath(painter, {{r - arm, i}, {r, i}, {r, i + arm}}, colour, markLine);
    strokePath(painter, {{i + arm, b}, {i, b}, {i, b - arm}}, colour, markLine);
    strokePath(painter, {{r - arm, b}, {r, b}, {r, b - arm}}, colour, markLine);
}

} // namespace

void drawLightboxCorners(QPainter& painter, QSizeF size, Appearance appearance)
{
    drawCorners(painter, size, 8, Palette::ink(0.85).resolve(appearance));
}

void drawTileCorners(QPainter& painter, QSizeF size, double opacity, bool tight, Appearance appearance)
{
    drawCorners(painter, size, tight ? 1 : 8, Palette::ink(opacity).resolve(appearance));
}

} // namespace oxel
