#include "ui/BatchSlider.h"

#include "model/AppModel.h"

#include <algorithm>

namespace oxel {

double batchValue(const AppModel& model, BatchSlider slider)
{
    return slider == BatchSlider::light ? model.globalStrength() : model.globalColour();
}

void setBatchValue(AppModel& model, BatchSlider slider, double value)
{
    // The model's setter clamps and stores the value, marks the batch and keeps the standing look.
    if (slider == BatchSlider::light)
        model.setGlobalStrength(value);
    else
        model.setGlobalColour(value);
    model.restartPreviewTask();
}

} // namespace oxel
