#include "ui/kit/PaintedButton.h"

#include "ui/kit/FocusMark.h"

#include <QKeyEvent>
#include <QPainter>

namespace oxel {

namespace {

// The focus left for another window or a menu, or came back from one: how it came stays as it was.
bool awayAndBack(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

} // namespace

PaintedButton::PaintedButton(QWidget* parent) : QAbstractButton(parent)
{
    // Clicking does not take the focus from a text field; Tab still reaches the button.
    setFocusPolicy(Qt::TabFocus);
}

PaintedButton::~PaintedButton()
{
    delete focusMark_; // it lies on an ancestor, which outlives the button
}

bool PaintedButton::showsFocusMark() const
{
    return focusMark_ && focusMark_->isVisible();
}

void PaintedButton::focusInEvent(QFocusEvent* event)
{
    QAbstractButton::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (!awayAndBack(reason)) keyboardFocus_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
    markFocus(keyboardFocus_);
}

void PaintedButton::focusOutEvent(QFocusEvent* event)
{
    QAbstractButton::focusOutEvent(event);
    if (!awayAndBack(event->reason())) keyboardFocus_ = false;
    markFocus(false);
}

void PaintedButton::mousePressEvent(QMouseEvent* event)
{
    // Pointing at the focused button says the person has left the keyboard for now.
    keyboardFocus_ = false;
    markFocus(false);
    QAbstractButton::mousePressEvent(event);
}

void PaintedButton::markFocus(bool shown)
{
    if (shown && !focusMark_) focusMark_ = new FocusMark(*this);
    if (focusMark_) focusMark_->showAround(shown);
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
    default: QAbstractButton::keyPressEvent(event);
    }
}

} // namespace oxel
