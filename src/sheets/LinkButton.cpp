#include "sheets/LinkButton.h"

#include "ui/TextLabel.h"

namespace oxel {

LinkButton::LinkButton(const QFont& font, const DynamicColour& colour, int maxLines, QWidget* parent)
    : QAbstractButton(parent), label_(new TextLabel({}, font, colour, this))
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
    setText(label);
    label_->setText(label);
    updateGeometry();
}

QSize LinkButton::sizeHint() const
{
    return label_->sizeHint();
}

int LinkButton::heightForWidth(int width) const
{
    return label_->heightForWidth(width);
}

void LinkButton::paintEvent(QPaintEvent*)
{
    // The label paints itself; the button only takes the clicks.
}

void LinkButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    label_->setGeometry(rect());
}

} // namespace oxel
