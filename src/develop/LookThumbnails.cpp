#include "develop/DevelopOrder.h"

#include "develop/grade/Stretch.h"
#include "imaging/Filters.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

// The one small picture that every look's thumbnail grades, its skin mask at its size, and its
// pixel area.
struct ThumbnailBase {
    Image small;
    std::optional<Image> mask;
    PixelRect area;
};

// A picture shrunk to a thumbnail's area and kept: a thumbnail let go is made again from it alone,
// and what it was made from (the render, the skin mask at the render's size) is read once, the
// first the cache lets go. A sweep through a large batch's tiles makes many thumbnails; were the
// large pictures they read kept in the ordinary way, they would push out the thumbnails of the
// tiles in view.
Image keptSmall(const Image& image, const PixelRect& area, PixelFormat format, const RenderContext& context)
{
    PictureRecipe recipe{area.width, area.height, [image, area, format, context] {
                             const RenderPins readOnce(RenderPins::Scope::ownScope, RenderPins::Reading::once);
                             return context.renderBitmap(image, area, format);
                         }};
    return PictureHandle(std::move(recipe)).image();
}

std::optional<ThumbnailBase> thumbnailBase(const Image& image, const std::optional<Image>& mask,
                                           const RenderContext& context)
{
    const Rect extent = image.extent();
    if (image.isNull() || extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    const double s = std::min(lookThumbnailEdge / std::max(extent.width, extent.height), 1.0);
    const PixelRect area = reducedArea(extent, lookThumbnailEdge);
    if (area.isEmpty()) return std::nullopt;
    const Image atOrigin = image.translated(-extent.x, -extent.y);
    // Pictures within the edge are taken as they are.
    ThumbnailBase base{atOrigin, mask, area};
    if (s >= 1) return base;
    const Image small = lanczosScaleTransform(atOrigin.clampedToExtent(), s, 1).cropped(area.toRect());
    base.small = keptSmall(small, area, PixelFormat::RGBX16, context);
    if (isStretchable(mask))
        base.mask = keptSmall(stretchedTo(*mask, area.toRect()), area, PixelFormat::RGBX8, context);
    return base;
}

std::optional<Bitmap> thumbnailOf(const ThumbnailBase& base, const SuggestedGrade& grade, const RenderContext& context)
{
    return context.renderBitmap(grade.apply(base.small, 1.0, base.mask), base.area, PixelFormat::RGBA8,
                                ColourSpace::sRGB());
}

// The chosen grade, then the runner-up when there is one.
std::vector<SuggestedGrade> gradesOf(const GradeLooks& looks)
{
    std::vector<SuggestedGrade> grades{looks.chosen};
    if (looks.alternative) grades.push_back(*looks.alternative);
    return grades;
}

} // namespace

std::vector<Bitmap> lookThumbnails(const Image& image, const GradeLooks& looks, const RenderContext& context)
{
    const auto base = thumbnailBase(image, looks.mask, context);
    if (!base) return {};
    std::vector<Bitmap> thumbnails;
    for (const SuggestedGrade& grade : gradesOf(looks))
        if (auto thumbnail = thumbnailOf(*base, grade, context)) thumbnails.push_back(std::move(*thumbnail));
    return thumbnails;
}

std::vector<PictureHandle> keptLookThumbnails(const Image& image, const GradeLooks& looks, const RenderContext& context)
{
    const auto base = thumbnailBase(image, looks.mask, context);
    if (!base) return {};
    // Made when the look picker first shows them: most results are never asked to change look.
    std::vector<PictureHandle> thumbnails;
    for (const SuggestedGrade& grade : gradesOf(looks))
        thumbnails.emplace_back(PictureRecipe{base->area.width, base->area.height, [base = *base, grade, context] {
                                                  return thumbnailOf(base, grade, context);
                                              }});
    return thumbnails;
}

} // namespace oxel
