#pragma once

#include <QEasingCurve>

#include <chrono>

class QVariantAnimation;

namespace oxel {

// The interface's animations: the platform's ease curves, and one switch that makes every
// animation instant (tests and screenshots see the end state at once).
class Motion {
public:
    // Cubic Bezier curves (0.42, 0, 0.58, 1), (0, 0, 0.58, 1) and (0.42, 0, 1, 1).
    static QEasingCurve easeInOut();
    static QEasingCurve easeOut();
    static QEasingCurve easeIn();

    static void setInstant(bool instant);
    static bool instant();

    // Runs `animation` from its start to its end value over `duration` on `curve`; when animations
    // are instant it is set to its end value at once.
    static void run(QVariantAnimation& animation, std::chrono::milliseconds duration, const QEasingCurve& curve);
};

} // namespace oxel
