#include "ui/kit/DrawnCrosshair.h"

#include "ui/kit/Strokes.h"

#include <QPainter>

#include <cmath>

namespace oxel {

DrawnCrosshair::DrawnCrosshair(qreal side, DynamicColour colour, QWidget* parent)
    : QWidget(parent), side_(std::max<qreal>(side, 0)), colour_(std::move(colour))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const int pixels = int(std::ceil(side_));
    setFixedSize(pixels, pixels);
}

void DrawnCrosshair::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor colour = colour_.resolve(appearanceOf(*this));
    const qreal side = side_;
    strokePath(painter, {{side / 2, 0}, {side / 2, side}}, colour, boldLine);
    strokePath(painter, {{0, side / 2}, {side, side / 2}}, colour, boldLine);
}

} // namespace oxel
