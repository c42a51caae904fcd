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
#include <memory>
#include <mutex>

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

double maskScale(const Rect& extent)
{
    return std::min(maskLongEdge / std::max(extent.width, extent.height), 1.0);
}

// Where the mask of `picture` lies: its extent shrunk to at most the mask's long edge, at the
// origin; nothing for an empty or endless picture.
std::optional<PixelRect> maskArea(const Image& picture)
{
    const Rect extent = picture.extent();
    if (picture.isNull() || extent.isEmpty() || extent.isInfinite()) return std::nullopt;
    const double scale = maskScale(extent);
    const PixelRect area{0, 0, int64_t(std::round(extent.width * scale)), int64_t(std::round(extent.height * scale))};
    if (area.isEmpty()) return std::nullopt;
    return area;
}

// The blurred mask, ready to render at its area.
struct SoftMask {
    Image soft;
    PixelRect area;

    std::optional<Bitmap> render(const RenderContext& context) const
    {
        return context.renderBitmap(soft, area, PixelFormat::RGBA8);
    }
};

std::optional<SoftMask> softMask(const Image& picture, const RenderContext& context, const PersonSegmenter* segmenter,
                                 const RGBSpace* documentSpace)
{
    const auto area = maskArea(picture);
    if (!area) return std::nullopt;
    const Rect extent = picture.extent();
    const double scale = maskScale(extent);
    const Image small = picture.translated(-extent.x, -extent.y).scaled(scale, scale);
    const Rect r = area->toRect();

    const Image chroma = applyKernel(r, GradeKernels::skinChroma, small);
    std::optional<Image> skin =
        segmenter ? onPeople(chroma, small, *area, context, *segmenter, documentSpace) : std::nullopt;
    if (!skin) skin = chroma;

    const double radius = std::max(double(area->width) / 400, 2.0);
    return SoftMask{gaussianBlur(skin->clampedToExtent(), radius).cropped(r), *area};
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
    const auto soft = softMask(picture, context, segmenter, documentSpace);
    if (!soft) return std::nullopt;
    const auto rendered = PictureHandle::madeNow([soft = *soft, context] { return soft.render(context); });
    if (!rendered) return std::nullopt;
    return rendered->image();
}

std::optional<Image> GradeLooks::skinMaskWhenRead(const Image& picture, const RenderContext& context)
{
    const auto area = maskArea(picture);
    if (!area) return std::nullopt;
    // The segmenter runs once, at the first read; a mask let go is made again from what it found.
    struct Found {
        std::once_flag once;
        std::optional<SoftMask> soft;
    };
    auto found = std::make_shared<Found>();
    const auto make = [found, picture, context, segmenter = PersonSegmenter::installed()]() -> std::optional<Bitmap> {
        std::call_once(found->once, [&] { found->soft = softMask(picture, context, segmenter.get(), nullptr); });
        if (!found->soft) return std::nullopt;
        return found->soft->render(context);
    };
    return PictureHandle(PictureRecipe{area->width, area->height, make, "a skin mask could not be made"}).image();
}

} // namespace oxel
