#include "develop/DevelopOrder.h"

#include "develop/codecs/JPEGEncoder.h"

#include "imaging/Filters.h"
#include "imaging/RenderBanded.h"

#include <algorithm>
#include <cmath>

namespace oxel {

std::optional<std::vector<uint8_t>> jpegWithinLimit(const Bitmap& bitmap, size_t limit)
{
    for (double quality : reportJPEGQualities) {
        auto bytes = encodeJPEG(bitmap, jpegQuality(quality), bitmap.colourSpace().icc);
        if (!bytes) return std::nullopt;
        if (bytes->size() <= limit) return bytes;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> developedJPEG(const DevelopInput& outcome, const DevelopSettings& settings,
                                                  double maxEdge)
{
    if (!(maxEdge >= 1)) return std::nullopt;
    Image image = develop(outcome, settings);
    const Rect extent = image.extent();
    if (extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    image = image.translated(-extent.x, -extent.y);

    const double s = maxEdge / std::max(extent.width, extent.height);
    const PixelRect area = reducedArea(extent, maxEdge);
    // Reduced before the conversion and the render, with the edges repeated so no dark rim creeps in.
    if (s < 1) image = lanczosScaleTransform(image.clampedToExtent(), s, 1).cropped(area.toRect());
    if (!outcome.transfer.documentIsSRGB()) image = outcome.transfer.space().toSRGB(image).value_or(image);

    const auto picture =
        renderBanded(image, area.width, area.height, false, ColourSpace::sRGB(), outcome.transfer.context());
    if (!picture) return std::nullopt;
    return jpegWithinLimit(*picture, reportJPEGLimit);
}

} // namespace oxel
