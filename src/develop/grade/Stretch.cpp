#include "develop/grade/Stretch.h"

namespace oxel {

Image stretchedTo(const Image& image, const Rect& extent)
{
    const Rect from = image.extent();
    return image.clampedToExtent()
        .translated(-from.x, -from.y)
        .scaled(extent.width / from.width, extent.height / from.height)
        .translated(extent.x, extent.y)
        .cropped(extent);
}

bool isStretchable(const std::optional<Image>& mask)
{
    return mask && !mask->isNull() && mask->extent().width > 0 && !mask->extent().isInfinite();
}

} // namespace oxel
