#include "library/LibraryStore.h"

#include "develop/codecs/JPEGEncoder.h"
#include "develop/colour/ColourTransform.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <algorithm>
#include <cstring>

namespace oxel {

namespace {

// The colour model an ICC profile's header names ("RGB ", "GRAY", "CMYK"...).
bool isRGBProfile(const std::vector<uint8_t>& icc)
{
    return icc.size() >= 20 && std::memcmp(icc.data() + 16, "RGB ", 4) == 0;
}

bool isGrey(PixelFormat format)
{
    return format == PixelFormat::Gray8 || format == PixelFormat::Gray16 || format == PixelFormat::GrayF;
}

// An RGB space is kept; anything else (grey, an unusable tag) becomes sRGB.
bool keepsItsSpace(const Bitmap& bitmap)
{
    const ColourSpace& space = bitmap.colourSpace();
    if (!space.icc.empty()) return isRGBProfile(space.icc);
    return !space.name.empty() && !isGrey(bitmap.format());
}

bool isEncodable(PixelFormat format)
{
    return format == PixelFormat::RGBX8 || format == PixelFormat::RGBA8 || format == PixelFormat::RGB8 ||
           format == PixelFormat::Gray8;
}

// The picture drawn at `width` x `height` (area-filtered when shrinking) into 8-bit RGBX in
// `space`; a grey picture with a grey profile is matched into it.
std::optional<Bitmap> drawn(const Bitmap& bitmap, int64_t width, int64_t height, const ColourSpace& space)
{
    const Image picture = Image::fromBitmap(bitmap).scaled(double(width) / double(bitmap.width()),
                                                           double(height) / double(bitmap.height()));
    auto rgbx = RenderContext().renderBitmap(picture, PixelRect{0, 0, width, height}, PixelFormat::RGBX8, space);
    if (!rgbx || keepsItsSpace(bitmap) || bitmap.colourSpace().icc.empty()) return rgbx;
    if (auto matched = matchColours(*rgbx, bitmap.colourSpace(), space, false)) return matched;
    return rgbx;
}

std::vector<uint8_t> embeddedProfile(const ColourSpace& space)
{
    if (space.name == ColourSpace::sRGBName || isSameSpace(space, ColourSpace::sRGB())) return {};
    return space.icc;
}

} // namespace

std::optional<std::vector<uint8_t>> LibraryStore::jpegData(const Bitmap& bitmap, int maxPixelSize, double quality)
{
    if (bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0) return std::nullopt;
    const int64_t longEdge = std::max(bitmap.width(), bitmap.height());
    const double scale = double(maxPixelSize) / double(longEdge);
    const int q = jpegQuality(quality);
    if (scale >= 1 && isEncodable(bitmap.format())) return encodeJPEG(bitmap, q, embeddedProfile(bitmap.colourSpace()));

    const double s = std::min(scale, 1.0);
    const int64_t width = std::max<int64_t>(1, int64_t(s * double(bitmap.width())));
    const int64_t height = std::max<int64_t>(1, int64_t(s * double(bitmap.height())));
    const ColourSpace space = keepsItsSpace(bitmap) ? bitmap.colourSpace() : ColourSpace::sRGB();
    const auto small = drawn(bitmap, width, height, space);
    if (!small) return std::nullopt;
    return encodeJPEG(*small, q, embeddedProfile(space));
}

} // namespace oxel
