#include "ui/kit/SheetButton.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/InkBox.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace oxel {

namespace {

constexpr qreal paddingX = 16, paddingY = 7;

} // namespace

SheetButton::SheetButton(const QString& label, bool filled, QWidget* parent) : PaintedButton(parent), filled_(filled)
{
    setLabel(label);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QFont SheetButton::labelFont() const
{
    return uiFont(13, filled_ ? FontWeight::medium : FontWeight::regular);
}

QSize SheetButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return {int(std::ceil(metrics.horizontalAdvance(text()) + 2 * paddingX)),
            int(std::ceil(metrics.height() + 2 * paddingY))};
}

void SheetButton::paintFace(QPainter& painter)
{
    const Appearance appearance = appearanceOf(*this);
    const InkBox box{filled_, isEnabled(), 0.9, !filled_};
    box.paintBehind(painter, rect(), appearance);
    painter.setFont(labelFont());
    painter.setPen((filled_ ? Palette::onInk() : Palette::ink(0.85)).resolve(appearance));
    painter.drawText(rect(), Qt::AlignCenter, text());
    box.paintInFront(painter, rect(), appearance);
}

} // namespace oxel
