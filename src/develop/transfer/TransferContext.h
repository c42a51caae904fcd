#pragma once

#include "imaging/ColourSpace.h"
#include "imaging/RenderContext.h"

namespace oxel {

// The detail transfer's context: float working pixels, no colour matching, no kept intermediates.
RenderContext makeTransferContext();

// A context for renders that shrink a large picture to a few hundred pixels (fingerprints, the
// divergence proxy): small tiles, so every core shares the work and no tile pulls a huge region.
RenderContext makeShrinkingContext();

// A context for renders of wide blurs (the masks planning keeps): square tiles, since a blur reads
// its reach beyond every side of a tile, and of the tiles of one area a square reads the least.
RenderContext makeBlurringContext();

// Whether a colour space is sRGB: by name, or by ICC data identical to sRGB's own profile.
bool isSRGB(const ColourSpace& colourSpace);

} // namespace oxel
