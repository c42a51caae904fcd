#include "ui/kit/SliderValue.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

SliderValue::SliderValue(double size, FontWeight weight, QWidget* parent)
    : QWidget(parent), size_(size), weight_(weight)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SliderValue::setValue(double value)
{
    const QString text = formatValue(value);
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text_);
    update();
}

void SliderValue::clear()
{
    text_.clear();
    update();
}

void SliderValue::setWeight(FontWeight weight)
{
    if (weight == weight_) return;
    weight_ = weight;
    update();
}

QSize SliderValue::sizeHint() const
{
    const QFont font = uiFont(size_, weight_);
    return {int(std::ceil(tabularWidth(QStringLiteral("0.00"), font))), int(std::ceil(QFontMetricsF(font).height()))};
}

void SliderValue::paintEvent(QPaintEvent*)
{
    if (text_.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Palette::ink(0.9).resolve(appearanceOf(*this)));
    const QFont font = uiFont(size_, weight_);
    const QFontMetricsF metrics(font);
    const qreal x = width() - tabularWidth(text_, font);
    const qreal baseline = (height() - metrics.height()) / 2 + metrics.ascent();
    drawTabularText(painter, QPointF(x, baseline), text_, font);
}

} // namespace oxel
