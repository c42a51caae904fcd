#pragma once

#include "ui/kit/DynamicColour.h"

namespace oxel {

// The five colours everything is drawn with: paper, ink, pencil, the label colour on filled ink,
// and the one accent. All but the accent differ between the light and the dark appearance.
class Palette {
public:
    static const DynamicColour& paper();
    static const DynamicColour& ink();
    // Ink at an opacity, clamped to 0...1; a new colour on each call.
    static DynamicColour ink(double opacity);
    static const DynamicColour& onInk();
    static const DynamicColour& pencil();
    static const DynamicColour& accent();
};

} // namespace oxel
