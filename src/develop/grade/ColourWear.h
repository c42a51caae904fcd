#pragma once

#include "imaging/Image.h"

#include <optional>

namespace oxel {

// How a grade is worn: the change it makes, taken apart from the picture, is added back through a
// mask that holds skin off, and can be written out as a layer of its own.

// a - b over `extent`: the signed change that turns b into a.
Image colourChange(const Image& a, const Image& b, const Rect& extent);

// The change encoded around mid-grey (no change), for a layer of its own.
Image colourLayer(const Image& change);

// The mask through which a change is worn: 1 - hold x skin, the skin mask stretched over `extent`.
// White (the change worn fully everywhere) when there is no skin mask.
Image holdMask(const std::optional<Image>& skin, double hold, const Rect& extent);

// The picture plus the change, clamped to 0...1, as far as the mask lets it.
Image wearColour(const Image& picture, const Image& change, const Image& mask);

} // namespace oxel
