#include "ui/kit/LinkButton.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"
#include "ui/kit/Strokes.h"
#include "ui/kit/TextLabel.h"

#include <QPainter>

#include <cmath>

namespace oxel {

LinkButton::Look LinkButton::pencil()
{
    return pencil(Palette::pencil());
}

LinkButton::Look LinkButton::pencil(const DynamicColour& colour)
{
    Look look;
    look.font = uiFont(11);
    look.colour = colour;
    return look;
}

LinkButton::Look LinkButton::onPaper(qreal sideMargin)
{
    Look look = pencil();
    look.onPaper = true;
    look.sideMargin = sideMargin;
    return look;
}

LinkButton::LinkButton(const QString& label, QWidget* parent) : LinkButton(label, pencil(), parent)
{}

LinkButton::LinkButton(const QString& label, const Look& look, QWidget* parent)
    : PaintedButton(parent), look_(look), label_(new TextLabel({}, look.font, look.colour, this))
{
    label_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setCursor(Qt::PointingHandCursor);
    if (look_.wrapLines > 0) {
        label_->setWrapping(look_.wrapLines);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    } else {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    setLabel(label);
}

void LinkButton::setLabel(const QString& label)
{
    PaintedButton::setLabel(label);
    label_->setText(label);
}

QSize LinkButton::sizeHint() const
{
    const QSize words = label_->sizeHint();
    return {words.width() + int(std::ceil(2 * look_.sideMargin)), words.height()};
}

QSize LinkButton::minimumSizeHint() const
{
    return look_.wrapLines > 0 ? PaintedButton::minimumSizeHint() : sizeHint();
}

int LinkButton::heightForWidth(int width) const
{
    return label_->heightForWidth(width - int(std::ceil(2 * look_.sideMargin)));
}

QRect LinkButton::labelArea() const
{
    const int margin = int(std::ceil(look_.sideMargin));
    return rect().adjusted(margin, 0, -margin, 0);
}

void LinkButton::paintFace(QPainter& painter)
{
    // The label paints the words above what is drawn here.
    const Appearance appearance = appearanceOf(*this);
    if (look_.onPaper) fillRect(painter, QRectF(rect()), Palette::paper().resolve(appearance));
    if (look_.underlined) {
        const QRectF words = labelArea();
        fillRect(painter, QRectF(words.left(), height() - fineLine, words.width(), fineLine),
                 Palette::pencil().resolve(appearance));
    }
}

void LinkButton::resizeEvent(QResizeEvent* event)
{
    PaintedButton::resizeEvent(event);
    label_->setGeometry(labelArea());
}

} // namespace oxel
