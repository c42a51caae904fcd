#pragma once

#include "imaging/ColourSpace.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace oxel {

// How the samples of a bitmap are laid out. 16-bit samples are native (little-endian) unsigned
// integers, float samples are 32-bit. X channels are padding: they are written opaque and never read.
enum class PixelFormat {
    Gray8,
    Gray16,
    GrayF,
    RGB8,
    RGB16,
    RGBF,
    RGBX8,
    RGBX16,
    RGBA8,
    RGBA16,
    RGBAf,
};

int channelCount(PixelFormat format);
int bytesPerSample(PixelFormat format);
inline int bytesPerPixel(PixelFormat format)
{
    return channelCount(format) * bytesPerSample(format);
}

// A picture's pixels in memory, the stand-in for a platform bitmap image: width, height, format,
// row bytes, shared immutable-by-convention pixels, and a colour tag. Copies share the pixels.
class Bitmap {
public:
    Bitmap() = default;

    // A zero-filled bitmap, or nothing when the size is not positive, its byte count overflows,
    // or the memory can't be had.
    static std::optional<Bitmap> allocate(int64_t width, int64_t height, PixelFormat format,
                                          ColourSpace colourSpace = {});

    // Wraps pixels that someone else owns through `owner`.
    static Bitmap wrap(int64_t width, int64_t height, PixelFormat format, size_t rowBytes,
                       std::shared_ptr<uint8_t> pixels, ColourSpace colourSpace = {});

    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    PixelFormat format() const { return format_; }
    size_t rowBytes() const { return rowBytes_; }
    size_t byteCount() const { return rowBytes_ * size_t(height_); }
    const ColourSpace& colourSpace() const { return colourSpace_; }
    bool isNull() const { return !pixels_; }

    const uint8_t* data() const { return pixels_.get(); }
    const uint8_t* row(int64_t y) const { return pixels_.get() + size_t(y) * rowBytes_; }
    // Writing is for whoever made the bitmap, before it is shared.
    uint8_t* mutableData() const { return pixels_.get(); }
    uint8_t* mutableRow(int64_t y) const { return pixels_.get() + size_t(y) * rowBytes_; }

    Bitmap taggedWith(ColourSpace colourSpace) const;

private:
    int64_t width_ = 0, height_ = 0;
    PixelFormat format_ = PixelFormat::RGBX8;
    size_t rowBytes_ = 0;
    std::shared_ptr<uint8_t> pixels_;
    ColourSpace colourSpace_;
};

} // namespace oxel
