#include "ui/kit/SheetDialog.h"

#include "ui/kit/SheetFrame.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace oxel {

namespace {

bool isReturn(const QKeyEvent& event)
{
    const auto modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return modifiers == Qt::NoModifier && (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter);
}

// The controls Tab stops at under `parent`, in reading order: siblings by their top edge, then
// their left edge, each followed by what it holds.
void addTabStops(const QWidget& sheet, const QWidget& parent, std::vector<QWidget*>& stops)
{
    QList<QWidget*> children = parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::stable_sort(children.begin(), children.end(), [](const QWidget* a, const QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (QWidget* child : children) {
        if (child->isWindow() || !child->isVisibleTo(&sheet)) continue;
        if ((child->focusPolicy() & Qt::TabFocus) && !child->focusProxy() && child->isEnabled()) stops.push_back(child);
        addTabStops(sheet, *child, stops);
    }
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

bool SheetDialog::focusNextPrevChild(bool next)
{
    std::vector<QWidget*> stops;
    addTabStops(*this, *this, stops);
    if (stops.empty()) return QDialog::focusNextPrevChild(next);
    // From the sheet itself, or a control Tab does not stop at, Tab goes to the first and Backtab
    // to the last.
    const auto current = std::find(stops.begin(), stops.end(), focusWidget());
    size_t index = next ? 0 : stops.size() - 1;
    if (current != stops.end())
        index = (size_t(current - stops.begin()) + (next ? 1 : stops.size() - 1)) % stops.size();
    QWidget* stop = stops[index];
    stop->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    for (QWidget* holder = stop->parentWidget(); holder && holder != this; holder = holder->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(holder)) scroll->ensureWidgetVisible(stop);
    return true;
}

} // namespace oxel
