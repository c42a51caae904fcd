#include "ui/InkFrame.h"

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
        QPainter painter(this);
        frame_->box().paintInFront(painter, rect(), appearanceOf(*this));
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

void InkFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    box_.paintBehind(painter, rect(), appearanceOf(*this));
}

void InkFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    corners_->setGeometry(rect());
    corners_->raise();
}

} // namespace oxel
