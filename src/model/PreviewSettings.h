#pragma once

namespace oxel {

// How a developed item's preview is made: its effective light strength and colour amount, and
// whether it wears the runner-up look.
struct PreviewSettings {
    double strength = 1.0;
    double colour = 1.0;
    bool alternative = false;

    bool operator==(const PreviewSettings&) const = default;
};

} // namespace oxel
