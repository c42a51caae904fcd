#include "develop/DevelopOrder.h"

#include "imaging/Filters.h"

#include <algorithm>
#include <cmath>

namespace oxel {

namespace {

// The one small picture that every look's thumbnail grades, and its pixel area.
struct ThumbnailBase {
    Image small;
    PixelRect area;
};

std::optional<ThumbnailBase> thumbnailBase(const Image& image)
{
    const Rect extent = image.extent();
    if (image.isNull() || extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    const double s = std::min(lookThumbnailEdge / std::max(extent.width, extent.height), 1.0);
    const PixelRect area = reducedArea(extent, lookThumbnailEdge);
    if (area.isEmpty()) return std::nullopt;
    const Image atOrigin = image.translated(-extent.x, -extent.y);
    // Pictures within the edge are taken as they are.
    const Image small =
        s < 1 ? lanczosScaleTransform(atOrigin.clampedToExtent(), s, 1).cropped(area.toRect()) : atOrigin;
    return ThumbnailBase{small, area};
}

std::optional<Bitmap> thumbnailOf(const ThumbnailBase& base, const SuggestedGrade& grade,
                                  const std::optional<Image>& mask, const RenderContext& context)
{
    return context.renderBitmap(grade.apply(base.small, 1.0, mask), base.area, PixelFormat::RGBA8, ColourSpace::sRGB());
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
    const auto base = thumbnailBase(image);
    if (!base) return {};
    std::vector<Bitmap> thumbnails;
    for (const SuggestedGrade& grade : gradesOf(looks))
        if (auto thumbnail = thumbnailOf(*base, grade, looks.mask, context))
            thumbnails.push_back(std::move(*thumbnail));
    return thumbnails;
}

std::vector<PictureHandle> keptLookThumbnails(const Image& image, const GradeLooks& looks, const RenderContext& context)
{
    const auto base = thumbnailBase(image);
    if (!base) return {};
    // Made when the look picker first shows them: most results are never asked to change look.
    std::vector<PictureHandle> thumbnails;
    for (const SuggestedGrade& grade : gradesOf(looks))
        thumbnails.emplace_back(
            PictureRecipe{base->area.width, base->area.height, [base = *base, grade, mask = looks.mask, context] {
                              return thumbnailOf(base, grade, mask, context);
                          }});
    return thumbnails;
}

} // namespace oxel
