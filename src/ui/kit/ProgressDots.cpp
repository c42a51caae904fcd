#include "ui/kit/ProgressDots.h"

#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"

#include <QPainter>

#include <algorithm>

namespace oxel {

ProgressDots::ProgressDots(int count, double progress, QWidget* parent)
    : QWidget(parent), count_(std::max(count, 0)), progress_(progress)
{
    fitSize();
}

void ProgressDots::setProgress(double progress)
{
    if (progress == progress_) return;
    progress_ = progress;
    update();
}

void ProgressDots::setCount(int count)
{
    count_ = std::max(count, 0);
    fitSize();
    update();
}

bool ProgressDots::isFilled(int index, int count, double progress)
{
    return double(index) / double(std::max(count - 1, 1)) <= progress + 0.0001;
}

void ProgressDots::fitSize()
{
    const int width = count_ == 0 ? 0 : int(boxSide * count_ + connectorLength * (count_ - 1));
    setFixedSize(width, int(boxSide));
}

void ProgressDots::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor ink = Palette::ink(0.9).resolve(appearanceOf(*this));
    const qreal middle = boxSide / 2;
    for (int index = 0; index < count_; ++index) {
        const qreal left = index * (boxSide + connectorLength);
        const QRectF box(left, 0, boxSide, boxSide);
        if (isFilled(index, count_, progress_)) fillRect(painter, box, ink);
        strokeBorderInside(painter, box, ink, boldLine);
        if (index + 1 < count_)
            fillRect(painter, QRectF(left + boxSide, middle - boldLine / 2, connectorLength, boldLine), ink);
    }
}

} // namespace oxel
