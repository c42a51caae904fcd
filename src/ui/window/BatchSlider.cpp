#include "ui/window/BatchSlider.h"

#include "model/AppModel.h"

namespace oxel {

double batchValue(const AppModel& model, BatchSlider slider)
{
    return slider == BatchSlider::light ? model.globalStrength() : model.globalColour();
}

void setBatchValue(AppModel& model, BatchSlider slider, double value)
{
    // The model's setter runs the whole change.
    if (slider == BatchSlider::light)
        model.setGlobalStrength(value);
    else
        model.setGlobalColour(value);
}

} // namespace oxel
