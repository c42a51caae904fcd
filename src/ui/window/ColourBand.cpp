#include "ui/window/ColourBand.h"

#include "model/AppModel.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/BoxOption.h"

#include <QHBoxLayout>

namespace oxel {

namespace {

// Its pick is option 0, the runner-up option 1.
constexpr int runnerUp = 1;
constexpr int optionSpacing = 8;

} // namespace

ColourBand::ColourBand(AppModel& model, QWidget* parent)
    : BatchSliderBand(model, BatchSlider::colour, parent),
      lookChoiceHolder_(new QWidget(this)),
      lookChoice_(new BoxChoice({"its pick", "runner-up"}, lookChoiceHolder_))
{
    // Kept at its ideal size: each option as wide as its label, with no room at its sides.
    int ideal = optionSpacing * (lookChoice_->optionCount() - 1);
    for (int index = 0; index < lookChoice_->optionCount(); ++index) {
        BoxOption* option = lookChoice_->option(index);
        option->setFixedWidth(option->sizeHint().width());
        ideal += option->width();
    }
    lookChoice_->setFixedWidth(ideal);
    auto* holder = new QHBoxLayout(lookChoiceHolder_);
    holder->setContentsMargins(0, 0, 12, 0);
    holder->addWidget(lookChoice_);
    lookChoiceHolder_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header()->insertWidget(valuePosition(), lookChoiceHolder_, 0, Qt::AlignBottom);
    connect(lookChoice_, &BoxChoice::selectionChanged, this,
            [this](int index) { this->model().setAlternativesOn(index == runnerUp); });
    refresh();
}

void ColourBand::refresh()
{
    BatchSliderBand::refresh();
    lookChoiceHolder_->setVisible(model().alternativesAvailable());
    lookChoice_->setSelection(model().alternativesOn() ? runnerUp : 0);
}

} // namespace oxel
