#include "ui/PaintedButton.h"

#include <QKeyEvent>
#include <QPainter>

namespace oxel {

PaintedButton::PaintedButton(QWidget* parent) : QAbstractButton(parent)
{
    // Clicking does not take the focus from a text field; Tab still reaches the button.
    setFocusPolicy(Qt::TabFocus);
}

void PaintedButton::setLabel(const QString& label)
{
    setText(label);
    setAccessibleName(label);
    updateGeometry();
    update();
}

void PaintedButton::setDisabledOpacity(qreal opacity)
{
    disabledOpacity_ = opacity;
    update();
}

void PaintedButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : disabledOpacity_);
    paintFace(painter);
}

void PaintedButton::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat()) click();
        event->accept();
        return;
    case Qt::Key_Space: event->ignore(); return;
    default: QAbstractButton::keyPressEvent(event);
    }
}

void PaintedButton::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        event->ignore();
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

} // namespace oxel
