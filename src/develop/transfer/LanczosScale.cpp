#include "develop/transfer/LanczosScale.h"

#include "imaging/Filters.h"

#include <cmath>

namespace oxel {

Image lanczosScale(const Image& image, const Rect& target)
{
    const Rect extent = image.extent();
    const double sx = target.width / extent.width, sy = target.height / extent.height;
    // An empty or endless picture, or an empty target, has no finite scale: the picture is only cropped.
    const Image scaled = lanczosScaleTransform(image.clampedToExtent(), sy, sx / sy);
    if (scaled.isNull() || !std::isfinite(sx) || !std::isfinite(sy)) return image.cropped(target);
    return scaled.cropped(target);
}

} // namespace oxel
