#include "ui/kit/PencilRule.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QPainter>

namespace oxel {

PencilRule::PencilRule(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PencilRule::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    fillRect(painter, QRectF(0, 0, width(), fineLine), Palette::pencil().resolve(appearanceOf(*this)));
}

} // namespace oxel
