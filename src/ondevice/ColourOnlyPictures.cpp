#include "imaging/RenderContext.h"
#include "ondevice/ColourOnly.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oxel::ColourOnly {
namespace {

constexpr int64_t testEdge = 64;
constexpr int sampleStep = 2;
constexpr double meanSpreadLimit = 6.0;
constexpr double largestSpreadLimit = 18.0;

// One pixel's red, green and blue on the 0...255 scale, for the 8- and 16-bit layouts.
struct PixelReader {
    PixelFormat format;

    bool readable() const
    {
        switch (format) {
        case PixelFormat::Gray8:
        case PixelFormat::Gray16:
        case PixelFormat::RGB8:
        case PixelFormat::RGB16:
        case PixelFormat::RGBX8:
        case PixelFormat::RGBX16:
        case PixelFormat::RGBA8:
        case PixelFormat::RGBA16: return true;
        default: return false;
        }
    }

    std::array<int, 3> rgb(const uint8_t* row, int64_t x) const
    {
        const int channels = channelCount(format);
        const int colours = channels >= 3 ? 3 : 1;
        std::array<int, 3> value{};
        for (int c = 0; c < 3; ++c) {
            const int64_t index = x * channels + (colours == 3 ? c : 0);
            if (bytesPerSample(format) == 1) {
                value[c] = row[index];
            } else {
                uint16_t sample;
                std::memcpy(&sample, row + index * 2, 2);
                value[c] = (sample + 128) / 257;
            }
        }
        return value;
    }
};

} // namespace

bool isBlackAndWhite(const Bitmap& picture)
{
    const PixelReader reader{picture.format()};
    if (picture.isNull() || !reader.readable()) return false;
    const int64_t width = std::min(picture.width(), testEdge), height = std::min(picture.height(), testEdge);
    double spreadSum = 0, largest = 0;
    int samples = 0;
    // The picture is drawn stretched into width x height; each drawn pixel takes the nearest source pixel.
    for (int64_t y = 0; y < height; y += sampleStep) {
        const uint8_t* row = picture.row((2 * y + 1) * picture.height() / (2 * height));
        for (int64_t x = 0; x < width; x += sampleStep) {
            const auto rgb = reader.rgb(row, (2 * x + 1) * picture.width() / (2 * width));
            const double spread = *std::max_element(rgb.begin(), rgb.end()) - *std::min_element(rgb.begin(), rgb.end());
            spreadSum += spread;
            largest = std::max(largest, spread);
            ++samples;
        }
    }
    if (samples == 0) return false;
    return spreadSum / samples < meanSpreadLimit && largest < largestSpreadLimit;
}

std::optional<Bitmap> scaled(const Bitmap& picture, int maxEdge)
{
    if (picture.isNull() || maxEdge < 1) return std::nullopt;
    const double scale = double(maxEdge) / double(std::max(picture.width(), picture.height()));
    if (scale >= 1) return picture;
    const int64_t width = std::max<int64_t>(1, std::llround(double(picture.width()) * scale));
    const int64_t height = std::max<int64_t>(1, std::llround(double(picture.height()) * scale));
    const Image drawn = Image::fromBitmap(picture).scaled(double(width) / double(picture.width()),
                                                          double(height) / double(picture.height()));
    return RenderContext().renderBitmap(drawn, PixelRect{0, 0, width, height}, PixelFormat::RGBX8, ColourSpace::sRGB());
}

} // namespace oxel::ColourOnly
