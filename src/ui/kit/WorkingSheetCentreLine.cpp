#include "ui/kit/WorkingSheetCentreLine.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QPainter>

namespace oxel {

WorkingSheetCentreLine::WorkingSheetCentreLine(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WorkingSheetCentreLine::draw(QPainter& painter, QSizeF size, Appearance appearance)
{
    const QColor pencil = Palette::pencil().resolve(appearance);
    const qreal centre = size.width() / 2, h = size.height();
    strokePath(painter, {{centre, 0}, {centre, h}}, pencil, fineLine);
    for (const qreal at : {0.12, 0.5, 0.88})
        strokePath(painter, {{centre - 4, at * h}, {centre + 4, at * h}}, pencil, fineLine);
}

void WorkingSheetCentreLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    draw(painter, size(), appearanceOf(*this));
}

} // namespace oxel
