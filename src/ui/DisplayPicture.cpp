#include "ui/DisplayPicture.h"

#include "develop/colour/ColourTransform.h"
#include "develop/colour/RGBSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <limits>

namespace oxel {

namespace {

bool fitsQImage(const Bitmap& bitmap)
{
    constexpr auto limit = std::numeric_limits<int>::max();
    return !bitmap.isNull() && bitmap.width() > 0 && bitmap.height() > 0 && bitmap.width() <= limit &&
           bitmap.height() <= limit;
}

bool isSRGBTagged(const ColourSpace& space)
{
    return space.isNull() || space.name == ColourSpace::sRGBName || isSameSpace(space, ColourSpace::sRGB());
}

} // namespace

bool isDisplayReady(const Bitmap& bitmap)
{
    const auto format = bitmap.format();
    return (format == PixelFormat::RGBX8 || format == PixelFormat::RGBA8 || format == PixelFormat::RGB8) &&
           isSRGBTagged(bitmap.colourSpace());
}

std::optional<QImage> wrappedForDisplay(const Bitmap& bitmap)
{
    if (!isDisplayReady(bitmap) || !fitsQImage(bitmap)) return std::nullopt;
    const auto format = bitmap.format() == PixelFormat::RGBA8  ? QImage::Format_RGBA8888
                        : bitmap.format() == PixelFormat::RGB8 ? QImage::Format_RGB888
                                                               : QImage::Format_RGBX8888;
    auto* keeper = new Bitmap(bitmap);
    return QImage(
        bitmap.data(), int(bitmap.width()), int(bitmap.height()), qsizetype(bitmap.rowBytes()), format,
        [](void* kept) { delete static_cast<Bitmap*>(kept); }, keeper);
}

std::optional<QImage> convertedForDisplay(const Bitmap& bitmap)
{
    if (!fitsQImage(bitmap)) return std::nullopt;
    Image picture = Image::fromBitmap(bitmap);
    if (const auto space = RGBSpace::of(bitmap.colourSpace()); space && !space->isNearSRGB())
        picture = space->toSRGB(picture).value_or(picture);
    QImage image(int(bitmap.width()), int(bitmap.height()), QImage::Format_RGBX8888);
    if (image.isNull()) return std::nullopt;
    RenderContext().renderRGBA8(picture, PixelRect{0, 0, bitmap.width(), bitmap.height()}, image.bits(),
                                size_t(image.bytesPerLine()));
    return image;
}

bool sameDisplayIdentity(const Bitmap& a, const Bitmap& b)
{
    return a.data() == b.data() && a.width() == b.width() && a.height() == b.height() && a.format() == b.format() &&
           a.rowBytes() == b.rowBytes() && a.colourSpace() == b.colourSpace();
}

} // namespace oxel
