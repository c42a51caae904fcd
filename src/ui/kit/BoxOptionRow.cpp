#include "ui/kit/BoxOptionRow.h"

#include "ui/kit/BoxOption.h"

#include <QHBoxLayout>

namespace oxel {

BoxOptionRow::BoxOptionRow(const QStringList& labels, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (int index = 0; index < labels.size(); ++index) {
        auto* option = new BoxOption(labels[index], this);
        layout->addWidget(option, 1, Qt::AlignVCenter);
        connect(option, &QAbstractButton::clicked, this, [this, index] { optionClicked(index); });
        options_.push_back(option);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BoxOptionRow::setOptionSelected(int index, bool selected)
{
    option(index)->setSelected(selected);
}

} // namespace oxel
