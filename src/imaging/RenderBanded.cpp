#include "RenderBanded.h"

#include <tbb/parallel_for.h>

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

// The band's samples narrowed into the 8-bit output rows, rows side by side on the pool.
void narrowBand(const uint16_t* band, const Bitmap& output, int64_t firstRow, int64_t rows)
{
    const size_t samplesPerRow = size_t(output.width()) * 4;
    tbb::parallel_for(int64_t(0), rows, [band, &output, firstRow, samplesPerRow](int64_t row) {
        // Byte stores may alias anything, so the bound is held in a local the loop can trust.
        const size_t count = samplesPerRow;
        const uint16_t* __restrict in = band + size_t(row) * count;
        uint8_t* __restrict out = output.mutableRow(firstRow + row);
        for (size_t i = 0; i < count; ++i) out[i] = narrowTo8Bit(in[i]);
    });
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

    // 16-bit bands land straight in the output; 8-bit ones pass through one zeroed scratch band.
    const size_t bandRowBytes = size_t(width * bandBytesPerPixel);
    std::unique_ptr<uint16_t, decltype(&std::free)> scratch(nullptr, &std::free);
    if (!sixteenBit) {
        scratch.reset(static_cast<uint16_t*>(std::calloc(bandRowBytes * size_t(bandRows), 1)));
        if (!scratch) return std::nullopt;
    }

    try {
        for (int64_t y = 0; y < height; y += bandRows) {
            const int64_t rows = std::min(height - y, bandRows);
            const PixelRect band{0, y, width, rows};
            if (sixteenBit) {
                context.renderRGBA16(image, band, reinterpret_cast<uint16_t*>(output->mutableRow(y)), output->rowBytes());
            } else {
                context.renderRGBA16(image, band, scratch.get(), bandRowBytes);
                narrowBand(scratch.get(), *output, y, rows);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "[render] banded render failed: %s\n", error.what());
        return std::nullopt;
    }
    return output;
}

} // namespace oxel
