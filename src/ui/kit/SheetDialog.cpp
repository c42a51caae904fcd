#include "ui/kit/SheetDialog.h"

#include "ui/kit/SheetFrame.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

namespace oxel {

namespace {

bool isReturn(const QKeyEvent& event)
{
    const auto modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier && (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter);
}

} // namespace

SheetDialog::SheetDialog(const QString& title, QWidget* parent, std::optional<int> fixedWidth)
    : QDialog(parent), body_(new QWidget), frame_(new SheetFrame(title, body_, this))
{
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (fixedWidth) frame_->setFixedWidth(std::max(*fixedWidth, SheetFrame::minimumWidth));
    // Held by the sheet itself, the focus is on no control when the window first becomes active,
    // instead of on whichever control comes first.
    focusNoControl();
}

void SheetDialog::focusNoControl()
{
    setFocus(Qt::OtherFocusReason);
}

void SheetDialog::keyPressEvent(QKeyEvent* event)
{
    if (!isReturn(*event)) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    // A text field that passes Return on has acted on it already (or has no use for it).
    if (qobject_cast<QLineEdit*>(focusWidget())) return;
    if (event->isAutoRepeat() || !defaultButton_) return;
    if (defaultButton_->isVisible() && defaultButton_->isEnabled()) defaultButton_->click();
}

} // namespace oxel
