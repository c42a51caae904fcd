#include "ui/kit/DisplayPicture.h"

#include "develop/colour/ColourTransform.h"
#include "develop/colour/RGBSpace.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"
#include "ui/kit/AreaScale.h"

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

namespace {

// A QImage over an 8-bit bitmap's own pixels, whatever its colour space.
std::optional<QImage> wrapped(const Bitmap& bitmap)
{
    const auto pixels = bitmap.format();
    if ((pixels != PixelFormat::RGBX8 && pixels != PixelFormat::RGBA8 && pixels != PixelFormat::RGB8) ||
        !fitsQImage(bitmap))
        return std::nullopt;
    const auto format = bitmap.format() == PixelFormat::RGBA8  ? QImage::Format_RGBA8888
                        : bitmap.format() == PixelFormat::RGB8 ? QImage::Format_RGB888
                                                               : QImage::Format_RGBX8888;
    auto* keeper = new Bitmap(bitmap);
    return QImage(
        bitmap.data(), int(bitmap.width()), int(bitmap.height()), qsizetype(bitmap.rowBytes()), format,
        [](void* kept) { delete static_cast<Bitmap*>(kept); }, keeper);
}

} // namespace

std::optional<QImage> wrappedForDisplay(const Bitmap& bitmap)
{
    if (!isDisplayReady(bitmap)) return std::nullopt;
    return wrapped(bitmap);
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

QImage scaledForDisplay(const Bitmap& bitmap, QSize size)
{
    if (size.isEmpty() || !fitsQImage(bitmap)) return {};
    if (auto ready = wrappedForDisplay(bitmap)) return areaScaled(*ready, size);
    if (auto raw = wrapped(bitmap)) {
        auto small = std::make_shared<QImage>(areaScaled(*raw, size));
        if (small->format() != raw->format()) *small = small->convertToFormat(raw->format());
        if (small->isNull()) return {};
        const PixelFormat format = bitmap.format();
        const std::shared_ptr<uint8_t> pixels(small, small->bits());
        const Bitmap shrunk = Bitmap::wrap(small->width(), small->height(), format, size_t(small->bytesPerLine()),
                                           pixels, bitmap.colourSpace());
        return convertedForDisplay(shrunk).value_or(QImage());
    }
    const auto converted = convertedForDisplay(bitmap);
    return converted ? areaScaled(*converted, size) : QImage();
}

bool sameDisplayIdentity(const Bitmap& a, const Bitmap& b)
{
    return a.data() == b.data() && a.width() == b.width() && a.height() == b.height() && a.format() == b.format() &&
           a.rowBytes() == b.rowBytes() && a.colourSpace() == b.colourSpace();
}

} // namespace oxel
