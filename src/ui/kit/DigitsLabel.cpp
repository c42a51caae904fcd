#include "ui/kit/DigitsLabel.h"

#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

DigitsLabel::DigitsLabel(QString text, QFont font, DynamicColour colour, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), colour_(std::move(colour)), alignment_(alignment)
{
    setAccessibleName(text_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void DigitsLabel::setText(const QString& text)
{
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text_);
    updateGeometry();
    update();
}

QSize DigitsLabel::sizeHint() const
{
    return {int(std::ceil(tabularWidth(text_, font_))), int(std::ceil(QFontMetricsF(font_).height()))};
}

void DigitsLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(colour_.resolve(appearanceOf(*this)));
    const qreal textWidth = tabularWidth(text_, font_);
    qreal x = 0;
    if (alignment_ & Qt::AlignRight)
        x = width() - textWidth;
    else if (alignment_ & Qt::AlignHCenter)
        x = (width() - textWidth) / 2;
    drawTabularText(painter, QPointF(x, QFontMetricsF(font_).ascent()), text_, font_);
}

} // namespace oxel
