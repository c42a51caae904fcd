#include "ui/kit/PencilLink.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

namespace {

QFont linkLabelFont()
{
    return uiFont(11);
}

} // namespace

PencilLink::PencilLink(const QString& label, QWidget* parent) : PencilLink(label, Palette::pencil(), parent)
{}

PencilLink::PencilLink(const QString& label, const DynamicColour& labelColour, QWidget* parent)
    : PaintedButton(parent), labelColour_(labelColour)
{
    setLabel(label);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize PencilLink::sizeHint() const
{
    const QFontMetricsF metrics(linkLabelFont());
    return {int(std::ceil(metrics.horizontalAdvance(text()))), int(std::ceil(metrics.height()))};
}

void PencilLink::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const QColor pencil = Palette::pencil().resolve(appearance);
    const QFontMetricsF metrics(linkLabelFont());
    painter.setFont(linkLabelFont());
    painter.setPen(labelColour_.resolve(appearance));
    painter.drawText(QPointF(0, metrics.ascent()), text());
    painter.fillRect(QRectF(0, height() - 0.75, width(), 0.75), pencil);
}

} // namespace oxel
