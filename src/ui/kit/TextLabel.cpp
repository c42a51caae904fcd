#include "ui/kit/TextLabel.h"

#include "ui/kit/Text.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

TextLabel::TextLabel(QString text, QFont font, DynamicColour colour, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), colour_(std::move(colour))
{
    setAccessibleName(text_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TextLabel::setText(const QString& text)
{
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text_);
    updateGeometry();
    update();
}

void TextLabel::setColour(const DynamicColour& colour)
{
    colour_ = colour;
    update();
}

void TextLabel::setFont(const QFont& font)
{
    // A label's size asks its parents to lay out again: an unchanged font must not.
    if (font == font_ && font.resolveMask() == font_.resolveMask()) return;
    font_ = font;
    updateGeometry();
    update();
}

void TextLabel::setWrapping(int maxLines, qreal extraLineSpacing)
{
    if (wrapping_ && maxLines == maxLines_ && extraLineSpacing == extraLineSpacing_) return;
    wrapping_ = true;
    maxLines_ = maxLines;
    extraLineSpacing_ = extraLineSpacing;
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

void TextLabel::setAlignment(Qt::Alignment alignment)
{
    if (alignment == alignment_) return;
    alignment_ = alignment;
    update();
}

void TextLabel::setOpacity(qreal opacity)
{
    if (opacity == opacity_) return;
    opacity_ = opacity;
    update();
}

QStringList TextLabel::lines(qreal width) const
{
    if (wrapping_) return wrappedLines(text_, font_, width, maxLines_);
    return {elidedTail(text_, font_, width)};
}

int TextLabel::heightOf(int lineCount) const
{
    const QFontMetricsF metrics(font_);
    const qreal height = metrics.height() + std::max(0, lineCount - 1) * lineAdvance(font_, extraLineSpacing_);
    return int(std::ceil(height));
}

QSize TextLabel::sizeHint() const
{
    const qreal width = QFontMetricsF(font_).horizontalAdvance(text_);
    return {int(std::ceil(width)), heightOf(1)};
}

QSize TextLabel::minimumSizeHint() const
{
    return {0, heightOf(1)};
}

int TextLabel::heightForWidth(int width) const
{
    return heightOf(int(lines(width).size()));
}

void TextLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(opacity_);
    painter.setFont(font_);
    painter.setPen(colour_.resolve(appearanceOf(*this)));
    const QFontMetricsF metrics(font_);
    const QStringList shown = lines(width());
    const qreal blockHeight = heightOf(int(shown.size()));
    qreal top = 0;
    if (alignment_ & Qt::AlignVCenter)
        top = (height() - blockHeight) / 2;
    else if (alignment_ & Qt::AlignBottom)
        top = height() - blockHeight;
    qreal baseline = top + metrics.ascent();
    for (const QString& line : shown) {
        const qreal lineWidth = metrics.horizontalAdvance(line);
        qreal x = 0;
        if (alignment_ & Qt::AlignHCenter)
            x = (width() - lineWidth) / 2;
        else if (alignment_ & Qt::AlignRight)
            x = width() - lineWidth;
        painter.drawText(QPointF(x, baseline), line);
        baseline += lineAdvance(font_, extraLineSpacing_);
    }
}

} // namespace oxel
