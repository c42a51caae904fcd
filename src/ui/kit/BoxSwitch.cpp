#include "ui/kit/BoxSwitch.h"

#include "ui/kit/Motion.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace oxel {

BoxSwitch::BoxSwitch(qreal side, QWidget* parent) : PaintedButton(parent), side_(std::max<qreal>(side, 0))
{
    setCheckable(true);
    setFixedSize(sizeHint());
    animation_.setStartValue(0.0);
    animation_.setEndValue(0.0);
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        shown_ = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::toggled, this, &BoxSwitch::animateTo);
}

QSize BoxSwitch::sizeHint() const
{
    const int pixels = int(std::ceil(side_));
    return {pixels, pixels};
}

void BoxSwitch::animateTo(bool on)
{
    // A switch that is set up before it shows starts in its state; only changes are animated.
    if (!isVisible()) {
        animation_.stop();
        shown_ = on ? 1.0 : 0.0;
        update();
        return;
    }
    animation_.setStartValue(shown_);
    animation_.setEndValue(on ? 1.0 : 0.0);
    Motion::run(animation_, std::chrono::milliseconds(150), Motion::easeInOut());
}

void BoxSwitch::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const QRectF square(0, 0, side_, side_);
    const qreal on = shown_;
    fillRect(painter, square, mixed(Palette::paper().resolve(appearance), Palette::ink().resolve(appearance), on));
    strokeBorderInside(painter, square, Palette::ink(0.45 + 0.45 * on).resolve(appearance), boldLine);
    if (on <= 0) return;

    const qreal s = side_;
    QPainterPath tick(QPointF(0.24 * s, 0.52 * s));
    tick.lineTo(0.43 * s, 0.71 * s);
    tick.lineTo(0.78 * s, 0.30 * s);
    QColor colour = Palette::onInk().resolve(appearance);
    colour.setAlphaF(float(on));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(tick, QPen(colour, markLine, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.restore();
}

} // namespace oxel
