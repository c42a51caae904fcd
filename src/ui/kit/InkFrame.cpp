#include "ui/kit/InkFrame.h"

#include <QPainter>
#include <QVBoxLayout>

namespace oxel {

class InkFrame::Corners final : public QWidget {
public:
    explicit Corners(InkFrame* frame) : QWidget(frame), frame_(frame)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        // The frame's own rectangle: the marks stay on its corners even while this layer has not yet
        // followed a change of the frame's size.
        QPainter painter(this);
        painter.setOpacity(frame_->opacity());
        frame_->box().paintInFront(painter, QRectF(QPointF(0, 0), frame_->size()), appearanceOf(*this));
    }

private:
    InkFrame* frame_;
};

InkFrame::InkFrame(InkBox box, QWidget* parent) : QWidget(parent), box_(box), corners_(new Corners(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void InkFrame::setContent(QWidget* content, QMargins padding)
{
    delete content_;
    content_ = content;
    layout()->setContentsMargins(padding);
    layout()->addWidget(content);
    corners_->raise();
}

void InkFrame::setBox(const InkBox& box)
{
    box_ = box;
    update();
    corners_->update();
}

void InkFrame::setOpacity(qreal opacity)
{
    if (opacity == opacity_) return;
    opacity_ = opacity;
    update();
    corners_->update();
}

void InkFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(opacity_);
    box_.paintBehind(painter, rect(), appearanceOf(*this));
}

void InkFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    coverWithCorners();
}

void InkFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A frame that sizes itself while its first resize event is delivered (as a growing field
    // does) gets no second one; by the time it shows, its size is settled.
    coverWithCorners();
}

void InkFrame::coverWithCorners()
{
    corners_->setGeometry(rect());
    corners_->raise();
}

} // namespace oxel
