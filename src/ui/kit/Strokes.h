#pragma once

#include <QColor>
#include <QPen>
#include <QPointF>
#include <QRectF>

#include <initializer_list>

class QPainter;

namespace oxel {

// The drawings' line widths: pencil lines, ticks and faint outlines; selected borders and the
// crosshair; corner marks and the switch's tick.
inline constexpr qreal fineLine = 0.75;
inline constexpr qreal boldLine = 1.5;
inline constexpr qreal markLine = 2;

// A pen with flat caps, mitre joins (limit 10) and no dash.
QPen inkPen(const QColor& colour, qreal width);

// One open path of straight segments through `points`, stroked centred on it.
void strokePath(QPainter& painter, std::initializer_list<QPointF> points, const QColor& colour, qreal width);

// A rectangle's border lying wholly inside it: the path is inset by half the line width.
void strokeBorderInside(QPainter& painter, const QRectF& rect, const QColor& colour, qreal width);

// A rectangle filled with a colour, antialiased at fractional edges.
void fillRect(QPainter& painter, const QRectF& rect, const QColor& colour);

} // namespace oxel
