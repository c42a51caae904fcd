#include "imaging/Filters.h"

#include "imaging/BlendNode.h"
#include "imaging/CachedNode.h"
#include "imaging/GaussianNode.h"
#include "imaging/GeometryNodes.h"
#include "imaging/RenderContext.h"
#include "imaging/ResampleNode.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace oxel {

namespace {

// The smallest sigma, in pixels of the smaller copy, at which its enlargement stays within a
// thousandth of full scale, also beside the hard edges of a picture with zeros around it.
constexpr double smallestCopySigma = 6.0;

// The part of the small copy that renders of the picture's own area read, or nothing for a
// picture without a finite core.
std::optional<PixelRect> smallCopyDomain(const Image& image, double factor)
{
    Rect core = image.extent();
    if (core.isInfinite()) {
        const auto* clamp = dynamic_cast<const ClampNode*>(image.node().get());
        if (!clamp || clamp->source().isEmpty()) return std::nullopt;
        core = clamp->source().toRect();
    }
    const double margin = 4; // the enlarging Lanczos reach, and one sample more
    const Rect small{core.x / factor - margin, core.y / factor - margin, core.width / factor + 2 * margin,
                     core.height / factor + 2 * margin};
    return PixelRect::covering(small, {INT64_MIN / 4, INT64_MIN / 4, INT64_MAX / 2, INT64_MAX / 2});
}

// A large blur as shrink, blur, enlarge: the shrink is anti-aliased by a tent whose variance is
// taken off the blur, and the enlarged picture is so smooth that Lanczos interpolation is exact
// to far below a thousandth of full scale.
Image multiScaleBlur(const Image& image, double sigma)
{
    double factor = 1;
    while (sigma / (factor * 2) >= smallestCopySigma) factor *= 2;
    if (factor == 1) return Image(std::make_shared<GaussianNode>(image.node(), sigma));
    // The variance of the tent's weights as sampled at half-pixel offsets.
    const double tentVariance = (factor * factor + 0.5) / 6.0;
    const double lowSigma = std::sqrt(std::max(sigma * sigma - tentVariance, 0.25)) / factor;
    const Image small(std::make_shared<ResampleNode>(image.node(), 1 / factor, 1 / factor, 0, 0, ResampleFilter::tent));
    ImageNodePtr blurred = std::make_shared<GaussianNode>(small.node(), lowSigma);
    // The small blurred copy is cheap to keep whole, and keeping it spares every tile from
    // shrinking its own wide neighbourhood again.
    // Its tiles are a factor smaller than usual, so that each pulls an ordinary tile's worth of
    // the full-size picture into scratch.
    if (const auto domain = smallCopyDomain(image, factor)) {
        blurred = std::make_shared<CachedNode>(blurred, *domain, std::max(32, int(512 / factor)),
                                               std::max(8, int(128 / factor)));
    }
    return Image(std::make_shared<ResampleNode>(blurred, factor, factor, 0, 0, ResampleFilter::lanczos3));
}

} // namespace

Image lanczosScaleTransform(const Image& image, double scale, double aspectRatio)
{
    if (image.isNull() || !(scale > 0) || !(aspectRatio > 0)) return {};
    return Image(
        std::make_shared<ResampleNode>(image.node(), scale * aspectRatio, scale, 0, 0, ResampleFilter::lanczos3));
}

Image gaussianBlur(const Image& image, double sigma)
{
    if (image.isNull()) return {};
    if (!(sigma > 0)) return image;
    const Rect grown = image.extent().insetBy(-3 * sigma, -3 * sigma);
    return multiScaleBlur(image, sigma).cropped(grown);
}

Image overlayBlend(const Image& top, const Image& background)
{
    if (top.isNull()) return background;
    if (background.isNull()) return top;
    return Image(std::make_shared<BlendNode>(top.node(), background.node(), BlendMode::overlay));
}

Image multiplyCompositing(const Image& top, const Image& background)
{
    if (top.isNull()) return background;
    if (background.isNull()) return top;
    return Image(std::make_shared<BlendNode>(top.node(), background.node(), BlendMode::multiply));
}

RGB areaAverage(const Image& image, const Rect& rect, const RenderContext& context)
{
    if (image.isNull() || rect.isInfinite()) return {};
    const PixelRect pixels = PixelRect::covering(rect, {INT64_MIN / 4, INT64_MIN / 4, INT64_MAX / 2, INT64_MAX / 2});
    if (pixels.isEmpty()) return {};
    // Row by row, so a big area never needs a full-size buffer.
    const int64_t rowsAtOnce = std::max<int64_t>(1, (int64_t(1) << 20) / pixels.width);
    std::vector<RGB> rows(size_t(pixels.width * std::min(rowsAtOnce, pixels.height)));
    double r = 0, g = 0, b = 0;
    for (int64_t y = pixels.y; y < pixels.maxY(); y += rowsAtOnce) {
        const int64_t count = std::min(rowsAtOnce, pixels.maxY() - y);
        context.render(image, {pixels.x, y, pixels.width, count}, rows.data(), size_t(pixels.width));
        for (size_t i = 0; i < size_t(pixels.width * count); ++i) {
            r += rows[i].r;
            g += rows[i].g;
            b += rows[i].b;
        }
    }
    const double n = double(pixels.area());
    return {float(r / n), float(g / n), float(b / n)};
}

} // namespace oxel
