#include "ui/kit/Motion.h"

#include <QPointF>
#include <QVariantAnimation>

#include <atomic>

namespace oxel {

namespace {

std::atomic<bool> animationsInstant{false};

QEasingCurve bezier(qreal x1, qreal y1, qreal x2, qreal y2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1, 1));
    return curve;
}

} // namespace

QEasingCurve Motion::easeInOut()
{
    return bezier(0.42, 0, 0.58, 1);
}

QEasingCurve Motion::easeOut()
{
    return bezier(0, 0, 0.58, 1);
}

QEasingCurve Motion::easeIn()
{
    return bezier(0.42, 0, 1, 1);
}

void Motion::setInstant(bool instant)
{
    animationsInstant = instant;
}

bool Motion::instant()
{
    return animationsInstant;
}

void Motion::run(QVariantAnimation& animation, std::chrono::milliseconds duration, const QEasingCurve& curve)
{
    animation.stop();
    animation.setEasingCurve(curve);
    animation.setDuration(instant() ? 0 : int(duration.count()));
    animation.start();
}

} // namespace oxel
