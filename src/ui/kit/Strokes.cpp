#include "ui/kit/Strokes.h"

#include <QPainter>
#include <QPainterPath>

namespace oxel {

QPen inkPen(const QColor& colour, qreal width)
{
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

void strokePath(QPainter& painter, std::initializer_list<QPointF> points, const QColor& colour, qreal width)
{
    if (points.size() < 2) return;
    QPainterPath path(*points.begin());
    for (auto point = points.begin() + 1; point != points.end(); ++point) path.lineTo(*point);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.strokePath(path, inkPen(colour, width));
    painter.restore();
}

void strokeBorderInside(QPainter& painter, const QRectF& rect, const QColor& colour, qreal width)
{
    // A stroke with mitre joins along a rectangle is exactly the ring between it and its inset, and
    // filling that ring gives thin borders their true coverage at the edge pixels.
    QPainterPath ring;
    ring.setFillRule(Qt::OddEvenFill);
    ring.addRect(rect);
    ring.addRect(rect.adjusted(width, width, -width, -width));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(ring, colour);
    painter.restore();
}

void fillRect(QPainter& painter, const QRectF& rect, const QColor& colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect, colour);
    painter.restore();
}

} // namespace oxel
