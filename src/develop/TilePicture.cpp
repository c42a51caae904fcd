#include "develop/TilePicture.h"

#include "develop/DevelopOrder.h"
#include "imaging/AreaAverage.h"

namespace oxel {

std::pair<int64_t, int64_t> developedSize(const DevelopInput& outcome)
{
    if (outcome.colourOnly && outcome.picture) return {outcome.picture->width(), outcome.picture->height()};
    const Rect extent = outcome.render.extent();
    if (extent.isInfinite() || extent.isEmpty()) return {0, 0};
    return {roundedSide(extent.width), roundedSide(extent.height)};
}

std::optional<Bitmap> renderTilePicture(const DevelopInput& outcome, const DevelopSettings& settings, int64_t width,
                                        int64_t height, std::stop_token stop)
{
    const auto preview = renderDeveloped(outcome, settings, stop);
    if (!preview || stop.stop_requested()) return std::nullopt;
    return areaAveragedRGB8(*preview, width, height);
}

} // namespace oxel
