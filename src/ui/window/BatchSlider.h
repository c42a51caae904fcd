#pragma once

namespace oxel {

class AppModel;

// One of the two batch sliders: the batch light strength or the batch colour amount.
enum class BatchSlider { light, colour };

double batchValue(const AppModel& model, BatchSlider slider);

// One change of a batch slider, during a drag as on a click or a double click, in this order:
// the value clamped to 0...1 and stored in the batch look, every preview rendered again once the
// value has rested, the batch record saved later, and, unless a library batch is being restored,
// the batch look kept as the standing look for the next batch.
void setBatchValue(AppModel& model, BatchSlider slider, double value);

} // namespace oxel
