#pragma once

#include "imaging/ColourSpace.h"
#include "imaging/RenderContext.h"

namespace oxel {

// The detail transfer's context: float working pixels, no colour matching, no kept intermediates.
RenderContext makeTransferContext();

// Whether a colour space is sRGB: by name, or by ICC data identical to sRGB's own profile.
bool isSRGB(const ColourSpace& colourSpace);

} // namespace oxel
