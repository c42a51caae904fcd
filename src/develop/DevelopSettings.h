#pragma once

namespace oxel {

// How a delivered result is developed: the runner-up choice, the light strength, the colour
// amount and whether film grain is laid over it. The model fills it from an item and its settings
// and hands the same value to the preview, the export and the report picture, so that they agree;
// the engine reads no setting of its own.
struct DevelopSettings {
    bool alternative = false;
    double strength = 1.0;
    double colour = 1.0;
    bool grain = true;

    bool operator==(const DevelopSettings&) const = default;
};

} // namespace oxel
