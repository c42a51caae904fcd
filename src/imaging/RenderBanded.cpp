#include "imaging/RenderBanded.h"

#include "imaging/PictureCache.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>

namespace oxel {

namespace {

constexpr int64_t bandBytesPerPixel = 8; // RGBA, 16 bits a channel

bool multiplyFits(int64_t a, int64_t b)
{
    return a >= 0 && b >= 0 && (a == 0 || b <= std::numeric_limits<int64_t>::max() / a);
}

} // namespace

std::optional<Bitmap> renderBanded(const Image& image, int64_t width, int64_t height, bool sixteenBit,
                                   const ColourSpace& colourSpace, const RenderContext& context,
                                   const ColourSpace* /*renderSpace*/, int64_t bandRows)
{
    if (width < 1 || height < 1 || bandRows < 1 || image.isNull()) return std::nullopt;
    bandRows = std::min(bandRows, height);
    if (!multiplyFits(width, bandBytesPerPixel) || !multiplyFits(width * bandBytesPerPixel, bandRows))
        return std::nullopt;

    auto output = Bitmap::allocate(width, height, sixteenBit ? PixelFormat::RGBX16 : PixelFormat::RGBX8, colourSpace);
    if (!output) return std::nullopt;

    // Bands land straight in the output. An 8-bit band is still rendered at 16 bits a sample and
    // narrowed by the integer rule, but tile by tile as the tiles come, which spares a second pass
    // over a 16-bit band buffer.
    // The cached pictures that the first band pins stay pinned for every band.
    const RenderPins pins;
    try {
        for (int64_t y = 0; y < height; y += bandRows) {
            const int64_t rows = std::min(height - y, bandRows);
            const PixelRect band{0, y, width, rows};
            if (sixteenBit) {
                context.renderRGBA16(image, band, reinterpret_cast<uint16_t*>(output->mutableRow(y)),
                                     output->rowBytes());
            } else {
                context.renderRGBA8Through16(image, band, output->mutableRow(y), output->rowBytes());
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "[render] banded render failed: %s\n", error.what());
        return std::nullopt;
    }
    return output;
}

} // namespace oxel
