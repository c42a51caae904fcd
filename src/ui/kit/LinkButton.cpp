#include "ui/kit/LinkButton.h"

#include "ui/kit/TextLabel.h"

namespace oxel {

LinkButton::LinkButton(const QFont& font, const DynamicColour& colour, int maxLines, QWidget* parent)
    : PaintedButton(parent), label_(new TextLabel({}, font, colour, this))
{
    label_->setWrapping(maxLines);
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setCursor(Qt::PointingHandCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LinkButton::setLabel(const QString& label)
{
    PaintedButton::setLabel(label);
    label_->setText(label);
}

QSize LinkButton::sizeHint() const
{
    return label_->sizeHint();
}

int LinkButton::heightForWidth(int width) const
{
    return label_->heightForWidth(width);
}

void LinkButton::paintFace(QPainter&)
{
    // The label paints itself; the button only takes the clicks.
}

void LinkButton::resizeEvent(QResizeEvent* event)
{
    PaintedButton::resizeEvent(event);
    label_->setGeometry(rect());
}

} // namespace oxel
