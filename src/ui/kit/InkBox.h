#pragma once

#include "ui/kit/Appearance.h"

#include <QRectF>

class QPainter;

namespace oxel {

// The box around buttons, fields, options and hints. Filled, it is solid ink behind the content.
// Otherwise it is paper with a faint border behind the content and four heavier ink corner marks
// in front of it, both dimmed by `contentAlpha`, by 0.4 when not enabled, and lighter when quiet.
struct InkBox {
    bool filled = false;
    bool enabled = true;
    double contentAlpha = 1;
    bool quiet = false;

    // The ink opacity of the border and of the corner marks of a box that is not filled.
    double borderOpacity() const;
    double cornerOpacity() const;

    // What lies behind the content: the ink ground, or paper and the border.
    void paintBehind(QPainter& painter, const QRectF& bounds, Appearance appearance) const;
    // What lies in front of it: the corner marks of a box that is not filled.
    void paintInFront(QPainter& painter, const QRectF& bounds, Appearance appearance) const;

    // The length of each arm of a corner mark.
    static constexpr qreal cornerArm = 11;
};

} // namespace oxel
