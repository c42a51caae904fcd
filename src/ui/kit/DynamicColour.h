#pragma once

#include "ui/kit/Appearance.h"

#include <QColor>

namespace oxel {

// A colour with a light and a dark variant, resolved when it is drawn.
struct DynamicColour {
    QColor light;
    QColor dark;

    QColor resolve(Appearance appearance) const { return appearance == Appearance::dark ? dark : light; }
};

// The colour `amount` of the way from `from` to `to`, alpha included.
inline QColor mixed(const QColor& from, const QColor& to, qreal amount)
{
    const auto mix = [amount](float a, float b) { return a + (b - a) * float(amount); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()), mix(from.blueF(), to.blueF()),
                            mix(from.alphaF(), to.alphaF()));
}

} // namespace oxel
