#include "develop/transfer/TransferContext.h"

namespace oxel {

RenderContext makeTransferContext()
{
    // The image layer already works in float, matches no colours and keeps no intermediates.
    return RenderContext();
}

RenderContext makeShrinkingContext()
{
    return RenderContext(RenderContext::Options{32, 8});
}

RenderContext makeBlurringContext()
{
    return RenderContext(RenderContext::Options{128, 128});
}

bool isSRGB(const ColourSpace& colourSpace)
{
    if (colourSpace.name == ColourSpace::sRGBName) return true;
    if (colourSpace.icc.empty()) return false;
    const auto& reference = ColourSpace::sRGB().icc;
    return !reference.empty() && colourSpace.icc == reference;
}

} // namespace oxel
