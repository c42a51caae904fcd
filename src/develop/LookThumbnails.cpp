#include "develop/DevelopOrder.h"

#include "imaging/Filters.h"

#include <algorithm>
#include <cmath>

namespace oxel {

std::vector<Bitmap> lookThumbnails(const Image& image, const GradeLooks& looks, const RenderContext& context)
{
    const Rect extent = image.extent();
    if (image.isNull() || extent.isEmpty() || extent.isInfinite()) return {};
    const double s = std::min(lookThumbnailEdge / std::max(extent.width, extent.height), 1.0);
    const PixelRect area = reducedArea(extent, lookThumbnailEdge);
    if (area.isEmpty()) return {};
    const Image atOrigin = image.translated(-extent.x, -extent.y);
    // One small picture serves every look; pictures within the edge are taken as they are.
    const Image small =
        s < 1 ? lanczosScaleTransform(atOrigin.clampedToExtent(), s, 1).cropped(area.toRect()) : atOrigin;

    std::vector<Bitmap> thumbnails;
    for (const SuggestedGrade* grade : {&looks.chosen, looks.alternative ? &*looks.alternative : nullptr}) {
        if (!grade) continue;
        if (auto thumbnail = context.renderBitmap(grade->apply(small, 1.0, looks.mask), area, PixelFormat::RGBA8,
                                                  ColourSpace::sRGB()))
            thumbnails.push_back(std::move(*thumbnail));
    }
    return thumbnails;
}

} // namespace oxel
