#include "ui/kit/LookMark.h"

#include "ui/kit/InkBox.h"
#include "ui/kit/PixelImage.h"

#include <QPainter>

namespace oxel {

namespace {

constexpr InkBox markBox{false, true, 0.9, true};

} // namespace

// The corner marks lie over the picture and let clicks through.
class LookMark::Corners : public QWidget {
public:
    explicit Corners(LookMark& mark) : QWidget(&mark), mark_(mark) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!mark_.chosen()) return;
        QPainter painter(this);
        markBox.paintInFront(painter, rect(), appearanceOf(*this));
    }

private:
    LookMark& mark_;
};

LookMark::LookMark(QWidget* parent) : QWidget(parent), picture_(new PixelImage(this)), corners_(new Corners(*this))
{
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    picture_->setOpacity(unchosenOpacity);
}

void LookMark::setChosen(bool chosen)
{
    if (chosen == chosen_) return;
    chosen_ = chosen;
    picture_->setOpacity(chosen ? 1.0 : unchosenOpacity);
    update();
    corners_->update();
}

void LookMark::paintEvent(QPaintEvent*)
{
    if (!chosen_) return;
    QPainter painter(this);
    markBox.paintBehind(painter, rect(), appearanceOf(*this));
}

void LookMark::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    picture_->setGeometry(rect().adjusted(padding, padding, -padding, -padding));
    corners_->setGeometry(rect());
    corners_->raise();
}

} // namespace oxel
