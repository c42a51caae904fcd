#include "ui/window/StrengthBand.h"

namespace oxel {

StrengthBand::StrengthBand(AppModel& model, QWidget* parent) : BatchSliderBand(model, BatchSlider::light, parent)
{
    refresh();
}

} // namespace oxel
