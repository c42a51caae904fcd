#include "ui/kit/InkBox.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

namespace oxel {

namespace {

double dimming(bool enabled)
{
    return enabled ? 1.0 : 0.4;
}

} // namespace

double InkBox::borderOpacity() const
{
    return contentAlpha * dimming(enabled) * (quiet ? 0.22 : 0.45);
}

double InkBox::cornerOpacity() const
{
    return contentAlpha * dimming(enabled) * (quiet ? 0.5 : 1.0);
}

void InkBox::paintBehind(QPainter& painter, const QRectF& bounds, Appearance appearance) const
{
    if (filled) {
        fillRect(painter, bounds, Palette::ink().resolve(appearance));
        return;
    }
    fillRect(painter, bounds, Palette::paper().resolve(appearance));
    strokeBorderInside(painter, bounds, Palette::ink(borderOpacity()).resolve(appearance), fineLine);
}

void InkBox::paintInFront(QPainter& painter, const QRectF& bounds, Appearance appearance) const
{
    if (filled) return;
    const QColor colour = Palette::ink(cornerOpacity()).resolve(appearance);
    const qreal l = bounds.left(), t = bounds.top(), r = bounds.right(), b = bounds.bottom(), a = cornerArm;
    strokePath(painter, {{l, t + a}, {l, t}, {l + a, t}}, colour, markLine);
    strokePath(painter, {{r - a, t}, {r, t}, {r, t + a}}, colour, markLine);
    strokePath(painter, {{r, b - a}, {r, b}, {r - a, b}}, colour, markLine);
    strokePath(painter, {{l + a, b}, {l, b}, {l, b - a}}, colour, markLine);
}

} // namespace oxel
