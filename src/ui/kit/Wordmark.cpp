#include "ui/kit/Wordmark.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

namespace {

const QString productWord = QStringLiteral("oxel");

QFont tracked(QFont font, qreal size)
{
    font.setLetterSpacing(QFont::AbsoluteSpacing, size * -0.025);
    return font;
}

} // namespace

Wordmark::Wordmark(std::optional<QString> qualifier, qreal size, QWidget* parent)
    : QWidget(parent), qualifier_(std::move(qualifier)), size_(size)
{
    setAccessibleName(text());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString Wordmark::text() const
{
    return productWord + qualifierRun();
}

QFont Wordmark::productFont() const
{
    return tracked(uiFont(size_, FontWeight::medium), size_);
}

QFont Wordmark::qualifierFont() const
{
    return tracked(uiFont(size_, FontWeight::light), size_);
}

QString Wordmark::qualifierRun() const
{
    return qualifier_ ? QLatin1Char(' ') + *qualifier_ : QString();
}

QSize Wordmark::sizeHint() const
{
    const QFontMetricsF product(productFont()), qualifier(qualifierFont());
    const qreal width = product.horizontalAdvance(productWord) + qualifier.horizontalAdvance(qualifierRun());
    return {int(std::ceil(width)), int(std::ceil(std::max(product.height(), qualifier.height())))};
}

void Wordmark::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Palette::ink(0.92).resolve(appearanceOf(*this)));
    const QFontMetricsF product(productFont());
    const qreal baseline = (height() - product.height()) / 2 + product.ascent();
    painter.setFont(productFont());
    painter.drawText(QPointF(0, baseline), productWord);
    painter.setFont(qualifierFont());
    painter.drawText(QPointF(product.horizontalAdvance(productWord), baseline), qualifierRun());
}

} // namespace oxel
