#include "develop/LanczosScale.h"

#include "imaging/Filters.h"

namespace oxel {

Image lanczosScale(const Image& image, const Rect& target)
{
    const Rect extent = image.extent();
    const double sx = target.width / extent.width, sy = target.height / extent.height;
    return lanczosScaleTransform(image.clampedToExtent(), sy, sx / sy).cropped(target);
}

} // namespace oxel
