#include "ui/kit/InkBoxLabel.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBox.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

InkBoxLabel::InkBoxLabel(const QString& label, Style style, QWidget* parent) : PaintedButton(parent), style_(style)
{
    setLabel(label);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

QSize InkBoxLabel::sizeHint() const
{
    const QFontMetricsF metrics(uiFont(style_.fontSize));
    const qreal labelWidth = style_.labelWidth > 0 ? style_.labelWidth : metrics.horizontalAdvance(text());
    return {int(std::ceil(labelWidth + 2 * style_.horizontal)), int(std::ceil(metrics.height() + 2 * style_.vertical))};
}

void InkBoxLabel::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const InkBox box{false, true, style_.contentAlpha, style_.quiet};
    box.paintBehind(painter, rect(), appearance);
    painter.setFont(uiFont(style_.fontSize));
    painter.setPen(Palette::ink(style_.inkOpacity).resolve(appearance));
    painter.drawText(rect(), Qt::AlignCenter, text());
    box.paintInFront(painter, rect(), appearance);
}

} // namespace oxel
