#include "develop/grade/ColourWear.h"

#include "develop/grade/GradeKernels.h"
#include "develop/grade/Stretch.h"

#include "imaging/Kernel.h"

namespace oxel {

Image colourChange(const Image& a, const Image& b, const Rect& extent)
{
    return applyKernel(extent, GradeKernels::colourChange, a, b);
}

Image colourLayer(const Image& change)
{
    return applyKernel(change.extent(), GradeKernels::colourLayer, change);
}

Image holdMask(const std::optional<Image>& skin, double hold, const Rect& extent)
{
    if (!isStretchable(skin)) return Image::constant({1, 1, 1}).cropped(extent);
    const Image stretched = stretchedTo(*skin, extent);
    const float h = float(hold);
    return applyKernel(
        extent, [h](RGB s) { return GradeKernels::holdMask(s, h); }, stretched);
}

Image wearColour(const Image& picture, const Image& change, const Image& mask)
{
    return applyKernel(picture.extent(), GradeKernels::wearColour, picture, change, mask);
}

} // namespace oxel
