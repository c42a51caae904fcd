#include "imaging/RenderBanded.h"

#include "imaging/ImageNode.h"
#include "imaging/PictureCache.h"
#include "imaging/RenderStop.h"
#include "platform/Diagnostics.h"

#include <tbb/parallel_pipeline.h>

#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>

namespace oxel {

namespace {

constexpr int64_t bandBytesPerPixel = 8; // RGBA, 16 bits a channel
constexpr size_t bandsInFlight = 2;

bool multiplyFits(int64_t a, int64_t b)
{
    return a >= 0 && b >= 0 && (a == 0 || b <= std::numeric_limits<int64_t>::max() / a);
}

} // namespace

void prepareRender(const Image& image, std::stop_token stop)
{
    if (image.isNull()) return;
    const RenderStop preparing(std::move(stop));
    image.node()->prepare();
}

std::optional<Bitmap> renderBanded(const Image& image, int64_t width, int64_t height, bool sixteenBit,
                                   const ColourSpace& colourSpace, const RenderContext& context,
                                   const ColourSpace* /*renderSpace*/, int64_t bandRows, std::stop_token stop)
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
    // The cached pictures that the render reads are made and pinned here, on the caller's thread,
    // and stay pinned for every band, whichever thread renders it.
    const RenderPins pins;
    const auto renderBand = [&](int64_t y) {
        const PixelRect band{0, y, width, std::min(height - y, bandRows)};
        if (sixteenBit) {
            context.renderRGBA16(image, band, reinterpret_cast<uint16_t*>(output->mutableRow(y)), output->rowBytes());
        } else {
            context.renderRGBA8Through16(image, band, output->mutableRow(y), output->rowBytes());
        }
    };
    try {
        prepareRender(image, stop);
        // Two bands in flight: the next band's tiles start while the last tiles of the current
        // one finish, so no core waits at a band's end, and no more than two bands are under way.
        int64_t nextY = 0;
        const auto nextBand = [&](tbb::flow_control& control) -> int64_t {
            if (nextY >= height || stop.stop_requested()) control.stop();
            const int64_t y = nextY;
            nextY += bandRows;
            return y;
        };
        tbb::parallel_pipeline(bandsInFlight,
                               tbb::make_filter<void, int64_t>(tbb::filter_mode::serial_in_order, nextBand) &
                                   tbb::make_filter<int64_t, void>(tbb::filter_mode::parallel, renderBand));
    } catch (const std::exception& error) {
        diagnose("render", std::string("banded render failed: ") + error.what());
        return std::nullopt;
    }
    if (stop.stop_requested()) return std::nullopt;
    return output;
}

} // namespace oxel
