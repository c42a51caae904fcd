#include "ui/kit/BoxMultiChoice.h"

namespace oxel {

BoxMultiChoice::BoxMultiChoice(const QStringList& labels, QWidget* parent) : BoxOptionRow(labels, parent)
{}

void BoxMultiChoice::setSelection(std::set<int> indices)
{
    selection_ = std::move(indices);
    showSelection([this](int option) { return selection_.contains(option); });
}

void BoxMultiChoice::optionClicked(int index)
{
    auto after = multiChoiceAfterClick(selection_, index);
    if (after == selection_) return;
    setSelection(std::move(after));
    Q_EMIT selectionChanged(selection_);
}

} // namespace oxel
