#include "ui/kit/StrengthTrack.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

double clamped01(double value)
{
    return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
}

} // namespace

StrengthTrack::StrengthTrack(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(trackHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StrengthTrack::setValue(double value)
{
    if (value == value_) return;
    value_ = value;
    update();
}

void StrengthTrack::setTrackEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    update();
}

void StrengthTrack::setRowOpacity(qreal opacity)
{
    if (opacity == rowOpacity_) return;
    rowOpacity_ = opacity;
    update();
}

void StrengthTrack::setTicks(std::vector<double> ticks)
{
    ticks_ = std::move(ticks);
    update();
}

double StrengthTrack::usableLength(double width)
{
    return std::max(width - 2, 1.0);
}

double StrengthTrack::positionOf(double fraction, double width)
{
    return 1 + usableLength(width) * fraction;
}

double StrengthTrack::fractionAt(double x, double width)
{
    return clamped01((x - 1) / usableLength(width));
}

void StrengthTrack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(rowOpacity_ * (enabled_ ? 1.0 : 0.35));
    const Appearance appearance = appearanceOf(*this);
    const QColor pencil = Palette::pencil().resolve(appearance);
    const double w = width(), middle = height() / 2.0;
    fillRect(painter, QRectF(0, middle - fineLine / 2, w, fineLine), pencil);
    for (const double tick : ticks_)
        fillRect(painter, QRectF(positionOf(tick, w) - fineLine / 2, middle - 4.5, fineLine, 9), pencil);
    if (!enabled_) return;
    const double thumb = positionOf(clamped01(value_), w);
    fillRect(painter, QRectF(thumb - 1, middle - 7, 2, 14), Palette::ink(0.9).resolve(appearance));
}

void StrengthTrack::write(double value)
{
    if (value == value_) return;
    value_ = value;
    update();
    Q_EMIT valueChanged(value_);
}

void StrengthTrack::dragTo(double x)
{
    if (enabled_) write(fractionAt(x, width()));
}

void StrengthTrack::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    resetInThisClick_ = false;
    dragTo(event->position().x());
}

void StrengthTrack::mouseMoveEvent(QMouseEvent* event)
{
    // After a reset the pointer is not followed again until it is released.
    if (!dragging_ || resetInThisClick_) return;
    dragTo(event->position().x());
}

void StrengthTrack::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    // The reset committed already; its release ends nothing new.
    if (std::exchange(resetInThisClick_, false)) return;
    Q_EMIT committed();
}

void StrengthTrack::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    if (!enabled_ || !resetValue_) return mousePressEvent(event);
    dragging_ = true;
    resetInThisClick_ = true;
    write(*resetValue_);
    Q_EMIT committed();
}

} // namespace oxel
