#include "ui/Strokes.h"

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
    const qreal half = width / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(inkPen(colour, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(half, half, -half, -half));
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
