#include "develop/grade/GradeLooks.h"

#include "develop/colour/RGBSpace.h"
#include "develop/grade/GradeKernels.h"
#include "develop/grade/PersonSegmenter.h"
#include "develop/grade/Stretch.h"

#include "imaging/Filters.h"
#include "imaging/Kernel.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderContext.h"

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

constexpr double maskLongEdge = 1024;

// The chroma mask narrowed to the people the segmenter finds, or nothing when it finds nothing
// usable.
std::optional<Image> onPeople(const Image& chroma, const Image& small, const PixelRect& area,
                              const RenderContext& context, const PersonSegmenter& segmenter,
                              const RGBSpace* documentSpace)
{
    const auto inSRGB = documentSpace ? documentSpace->toSRGB(small) : small;
    if (!inSRGB) return std::nullopt;
    auto picture = context.renderBitmap(*inSRGB, area, PixelFormat::RGBA8, ColourSpace::sRGB());
    if (!picture) return std::nullopt;
    auto people = segmenter.personMask(*picture);
    if (!people || people->isNull() || people->width() <= 0 || people->height() <= 0) return std::nullopt;
    const Rect r = area.toRect();
    const Image person = stretchedTo(Image::fromBitmap(*people), r);
    return multiplyCompositing(chroma, person);
}

} // namespace

const SuggestedGrade& GradeLooks::grade(bool alternative) const
{
    return alternative && this->alternative ? *this->alternative : chosen;
}

std::optional<Image> GradeLooks::skinMask(const Image& picture, const RenderContext& context)
{
    const auto segmenter = PersonSegmenter::installed();
    return skinMask(picture, context, segmenter.get());
}

std::optional<Image> GradeLooks::skinMask(const Image& picture, const RenderContext& context,
                                          const PersonSegmenter* segmenter, const RGBSpace* documentSpace)
{
    const Rect extent = picture.extent();
    if (picture.isNull() || extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    const double scale = std::min(maskLongEdge / std::max(extent.width, extent.height), 1.0);
    const Image small = picture.translated(-extent.x, -extent.y).scaled(scale, scale);
    const PixelRect area{0, 0, int64_t(std::round(extent.width * scale)), int64_t(std::round(extent.height * scale))};
    if (area.isEmpty()) return std::nullopt;
    const Rect r = area.toRect();

    const Image chroma = applyKernel(r, GradeKernels::skinChroma, small);
    std::optional<Image> skin =
        segmenter ? onPeople(chroma, small, area, context, *segmenter, documentSpace) : std::nullopt;
    if (!skin) skin = chroma;

    const double radius = std::max(double(area.width) / 400, 2.0);
    const Image soft = gaussianBlur(skin->clampedToExtent(), radius).cropped(r);
    const auto rendered =
        PictureHandle::madeNow([soft, area, context] { return context.renderBitmap(soft, area, PixelFormat::RGBA8); });
    if (!rendered) return std::nullopt;
    return rendered->image();
}

} // namespace oxel
