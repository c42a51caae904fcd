#include "imaging/Bitmap.h"

#include <cstdlib>
#include <limits>

namespace oxel {

int channelCount(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16:
    case PixelFormat::GrayF: return 1;
    case PixelFormat::RGB8:
    case PixelFormat::RGB16:
    case PixelFormat::RGBF: return 3;
    default: return 4;
    }
}

int bytesPerSample(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8:
    case PixelFormat::RGB8:
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8: return 1;
    case PixelFormat::Gray16:
    case PixelFormat::RGB16:
    case PixelFormat::RGBX16:
    case PixelFormat::RGBA16: return 2;
    default: return 4;
    }
}

std::optional<Bitmap> Bitmap::allocate(int64_t width, int64_t height, PixelFormat format, ColourSpace colourSpace)
{
    if (width < 1 || height < 1) return std::nullopt;
    const auto pixelBytes = uint64_t(bytesPerPixel(format));
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max());
    if (uint64_t(width) > limit / pixelBytes) return std::nullopt;
    const uint64_t rowBytes = uint64_t(width) * pixelBytes;
    if (uint64_t(height) > limit / rowBytes) return std::nullopt;
    const uint64_t total = rowBytes * uint64_t(height);
    if (total > std::numeric_limits<size_t>::max()) return std::nullopt;
    // calloc hands out zeroed pages lazily, so a big zero-filled bitmap costs nothing until written.
    void* memory = std::calloc(size_t(total), 1);
    if (!memory) return std::nullopt;
    Bitmap bitmap;
    bitmap.width_ = width;
    bitmap.height_ = height;
    bitmap.format_ = format;
    bitmap.rowBytes_ = size_t(rowBytes);
    bitmap.pixels_ = std::shared_ptr<uint8_t>(static_cast<uint8_t*>(memory), [](uint8_t* p) { std::free(p); });
    bitmap.colourSpace_ = std::move(colourSpace);
    return bitmap;
}

Bitmap Bitmap::wrap(int64_t width, int64_t height, PixelFormat format, size_t rowBytes, std::shared_ptr<uint8_t> pixels,
                    ColourSpace colourSpace)
{
    Bitmap bitmap;
    bitmap.width_ = width;
    bitmap.height_ = height;
    bitmap.format_ = format;
    bitmap.rowBytes_ = rowBytes;
    bitmap.pixels_ = std::move(pixels);
    bitmap.colourSpace_ = std::move(colourSpace);
    return bitmap;
}

Bitmap Bitmap::taggedWith(ColourSpace colourSpace) const
{
    Bitmap copy = *this;
    copy.colourSpace_ = std::move(colourSpace);
    return copy;
}

} // namespace oxel
