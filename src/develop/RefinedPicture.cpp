#include "develop/DevelopOrder.h"

#include "imaging/Kernel.h"

namespace oxel {
namespace {

// A colour-controls pass at brightness 0 and contrast 1: only the saturation moves, about the
// pixel's luminance.
Image withSaturation(const Image& image, float saturation)
{
    return applyKernel(
        image.extent(),
        [saturation](RGB c) {
            const float y = 0.2125f * c.r + 0.7154f * c.g + 0.0721f * c.b;
            const RGB luma{y, y, y};
            return luma + (c - luma) * saturation;
        },
        image);
}

} // namespace

Bitmap deriveRefined(const Bitmap& picture, bool blackAndWhite)
{
    if (picture.isNull()) return picture;
    const Image input = Image::fromBitmap(picture);
    const Image refined = withSaturation(input, blackAndWhite ? 0.0f : 0.95f);
    const PixelRect area{0, 0, picture.width(), picture.height()};
    auto rendered = RenderContext().renderBitmap(refined, area, PixelFormat::RGBA8, ColourSpace::sRGB());
    return rendered ? std::move(*rendered) : picture;
}

} // namespace oxel
