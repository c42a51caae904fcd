#include "Stretch.h"

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

} // namespace oxel
