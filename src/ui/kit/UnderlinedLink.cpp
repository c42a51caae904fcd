#include "ui/kit/UnderlinedLink.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

UnderlinedLink::UnderlinedLink(const QString& label, qreal sidePadding, QWidget* parent)
    : PaintedButton(parent), sidePadding_(sidePadding)
{
    setLabel(label);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize UnderlinedLink::sizeHint() const
{
    const QFontMetricsF metrics(uiFont(11));
    return {int(std::ceil(metrics.horizontalAdvance(text()) + 2 * sidePadding_)), int(std::ceil(metrics.height()))};
}

void UnderlinedLink::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const QFontMetricsF metrics(uiFont(11));
    const qreal textWidth = metrics.horizontalAdvance(text());
    const QRectF textRect((width() - textWidth) / 2, 0, textWidth, height());
    fillRect(painter, QRectF(textRect.left() - sidePadding_, 0, textWidth + 2 * sidePadding_, height()),
             Palette::paper().resolve(appearance));
    const QColor pencil = Palette::pencil().resolve(appearance);
    painter.setFont(uiFont(11));
    painter.setPen(pencil);
    painter.drawText(textRect, Qt::AlignCenter, text());
    fillRect(painter, QRectF(textRect.left(), textRect.bottom() - fineLine, textWidth, fineLine), pencil);
}

} // namespace oxel
