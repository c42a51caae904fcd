#include "ui/kit/BoxOption.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

namespace {

constexpr qreal verticalPadding = 6;

QFont optionFont()
{
    return uiFont(12, FontWeight::regular);
}

} // namespace

BoxOption::BoxOption(const QString& label, QWidget* parent) : PaintedButton(parent)
{
    setLabel(label);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BoxOption::setSelected(bool selected)
{
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

QSize BoxOption::sizeHint() const
{
    const QFontMetricsF metrics(optionFont());
    return {int(std::ceil(metrics.horizontalAdvance(text()))), int(std::ceil(metrics.height() + 2 * verticalPadding))};
}

QSize BoxOption::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void BoxOption::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const QRectF box = rect();
    if (selected_) {
        fillRect(painter, box, Palette::ink().resolve(appearance));
        strokeBorderInside(painter, box, Palette::ink(0.9).resolve(appearance), boldLine);
    } else {
        fillRect(painter, box, Palette::paper().resolve(appearance));
        strokeBorderInside(painter, box, Palette::ink(0.35).resolve(appearance), fineLine);
    }
    painter.setFont(optionFont());
    painter.setPen((selected_ ? Palette::onInk() : Palette::ink(0.75)).resolve(appearance));
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace oxel
