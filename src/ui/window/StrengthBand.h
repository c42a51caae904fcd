#pragma once

#include "ui/window/BatchSliderBand.h"

namespace oxel {

// The results band's light column: the batch light strength, which moves the light of every image.
class StrengthBand : public BatchSliderBand {
    Q_OBJECT
public:
    explicit StrengthBand(AppModel& model, QWidget* parent = nullptr);
};

} // namespace oxel
