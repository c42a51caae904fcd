#pragma once

#include "ui/Appearance.h"

#include <QColor>

namespace oxel {

// A colour with a light and a dark variant, resolved when it is drawn.
struct DynamicColour {
    QColor light;
    QColor dark;

    QColor resolve(Appearance appearance) const { return appearance == Appearance::dark ? dark : light; }
};

} // namespace oxel
