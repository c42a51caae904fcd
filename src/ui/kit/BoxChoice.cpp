#include "ui/kit/BoxChoice.h"

namespace oxel {

BoxChoice::BoxChoice(const QStringList& labels, QWidget* parent) : BoxOptionRow(labels, parent)
{
    setSelection({});
}

void BoxChoice::setSelection(std::optional<int> index)
{
    selection_ = index;
    showSelection([this](int option) { return selection_ == option; });
}

void BoxChoice::optionClicked(int index)
{
    if (selection_ == index) return;
    setSelection(index);
    Q_EMIT selectionChanged(index);
}

} // namespace oxel
