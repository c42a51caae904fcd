#include "imaging/RenderContext.h"

#include "imaging/BitmapNode.h"
#include "imaging/ImageNode.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"
#include "imaging/RenderBanded.h"

#include <tbb/blocked_range2d.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oxel {

namespace {

// Calls tile(rect) for every tile of `rect`, in parallel.
template <class TileFunction>
void forEachTile(const PixelRect& rect, const RenderContext::Options& options, TileFunction tile)
{
    if (rect.isEmpty()) return;
    int64_t tw = std::max(1, options.tileWidth), th = std::max(1, options.tileHeight);
    // Enough tiles to keep every core busy to the end: a band of a few rows would otherwise give
    // some cores one tile and others none. Halve the height first, then the width.
    const auto tileCount = [&] { return ((rect.width + tw - 1) / tw) * ((rect.height + th - 1) / th); };
    const int64_t enough = 4 * int64_t(tbb::this_task_arena::max_concurrency());
    while (tileCount() < enough && th > 16) th /= 2;
    while (tileCount() < enough && tw > 128) tw /= 2;
    const int64_t columns = (rect.width + tw - 1) / tw, rows = (rect.height + th - 1) / th;
    tbb::parallel_for(tbb::blocked_range2d<int64_t>(0, rows, 1, 0, columns, 1),
                      [&](const tbb::blocked_range2d<int64_t>& range) {
                          for (int64_t ty = range.rows().begin(); ty < range.rows().end(); ++ty) {
                              for (int64_t tx = range.cols().begin(); tx < range.cols().end(); ++tx) {
                                  const int64_t x = rect.x + tx * tw, y = rect.y + ty * th;
                                  tile(PixelRect{x, y, std::min(tw, rect.maxX() - x), std::min(th, rect.maxY() - y)});
                              }
                          }
                      });
}

template <class Sample>
Sample quantised(float v, float maximum)
{
    const float scaled = v * maximum + 0.5f;
    if (!(scaled > 0.0f)) return 0; // also NaN
    if (scaled >= maximum) return Sample(maximum);
    return Sample(scaled);
}

// Renders into float tiles and hands each row of a tile to `store(rowInRect, columnInRect, samples, count)`.
template <class Store>
void renderRows(const Image& image, const PixelRect& rect, const RenderContext::Options& options, Store store)
{
    if (image.isNull() || rect.isEmpty()) return;
    const RenderPins pins;
    image.node()->prepare();
    forEachTile(rect, options, [&](const PixelRect& tile) {
        ScratchBuffer buffer(size_t(tile.area()));
        image.node()->render(tile, buffer.data(), size_t(tile.width));
        for (int64_t y = 0; y < tile.height; ++y) {
            store(tile.y - rect.y + y, tile.x - rect.x, buffer.data() + size_t(y) * size_t(tile.width), tile.width);
        }
    });
}

// RGBA rows of `Sample`s, each channel quantise(v) and alpha `opaque`. A missing picture renders black.
template <class Sample, class Quantise>
void renderQuantised(const Image& image, const PixelRect& rect, const RenderContext::Options& options, uint8_t* out,
                     size_t rowBytes, Sample opaque, Quantise quantise)
{
    const Image source = image.isNull() ? Image::constant({}) : image;
    renderRows(source, rect, options, [&](int64_t y, int64_t x, const RGB* samples, int64_t count) {
        Sample* row = reinterpret_cast<Sample*>(out + size_t(y) * rowBytes) + 4 * x;
        for (int64_t i = 0; i < count; ++i) {
            row[4 * i] = quantise(samples[i].r);
            row[4 * i + 1] = quantise(samples[i].g);
            row[4 * i + 2] = quantise(samples[i].b);
            row[4 * i + 3] = opaque;
        }
    });
}

} // namespace

void RenderContext::render(const Image& image, const PixelRect& rect, RGB* out, size_t stride) const
{
    if (image.isNull()) {
        for (int64_t y = 0; y < rect.height; ++y)
            std::fill(out + size_t(y) * stride, out + size_t(y) * stride + rect.width, RGB{});
        return;
    }
    const RenderPins pins;
    image.node()->prepare();
    forEachTile(rect, options_, [&](const PixelRect& tile) {
        image.node()->render(tile, out + size_t(tile.y - rect.y) * stride + size_t(tile.x - rect.x), stride);
    });
}

void RenderContext::renderRGBA16(const Image& image, const PixelRect& rect, uint16_t* out, size_t rowBytes) const
{
    renderQuantised<uint16_t>(image, rect, options_, reinterpret_cast<uint8_t*>(out), rowBytes, 65535,
                              [](float v) { return quantised<uint16_t>(v, 65535.0f); });
}

void RenderContext::renderRGBA8(const Image& image, const PixelRect& rect, uint8_t* out, size_t rowBytes) const
{
    renderQuantised<uint8_t>(image, rect, options_, out, rowBytes, 255,
                             [](float v) { return quantised<uint8_t>(v, 255.0f); });
}

void RenderContext::renderRGBA8Through16(const Image& image, const PixelRect& rect, uint8_t* out, size_t rowBytes) const
{
    renderQuantised<uint8_t>(image, rect, options_, out, rowBytes, 255,
                             [](float v) { return narrowTo8Bit(quantised<uint16_t>(v, 65535.0f)); });
}

std::optional<Bitmap> RenderContext::renderBitmap(const Image& image, const PixelRect& rect, PixelFormat format,
                                                  const ColourSpace& colourSpace) const
{
    if (rect.isEmpty()) return std::nullopt;
    auto bitmap = Bitmap::allocate(rect.width, rect.height, format, colourSpace);
    if (!bitmap) return std::nullopt;
    switch (format) {
    case PixelFormat::RGBX16:
    case PixelFormat::RGBA16:
        renderRGBA16(image, rect, reinterpret_cast<uint16_t*>(bitmap->mutableData()), bitmap->rowBytes());
        return bitmap;
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8: renderRGBA8(image, rect, bitmap->mutableData(), bitmap->rowBytes()); return bitmap;
    case PixelFormat::RGBF:
        render(image, rect, reinterpret_cast<RGB*>(bitmap->mutableData()), size_t(rect.width));
        return bitmap;
    case PixelFormat::RGBAf:
        renderRows(image, rect, options_, [&](int64_t y, int64_t x, const RGB* samples, int64_t count) {
            float* row = reinterpret_cast<float*>(bitmap->mutableRow(y)) + 4 * x;
            for (int64_t i = 0; i < count; ++i) {
                row[4 * i] = samples[i].r;
                row[4 * i + 1] = samples[i].g;
                row[4 * i + 2] = samples[i].b;
                row[4 * i + 3] = 1.0f;
            }
        });
        return bitmap;
    default: return std::nullopt;
    }
}

Image materialised(const Image& image, const RenderContext& context)
{
    if (image.isNull()) return image;
    const Rect extent = image.extent();
    if (extent.isInfinite() || extent.isEmpty()) return image;
    const PixelRect pixels = PixelRect::covering(extent, {INT64_MIN / 4, INT64_MIN / 4, INT64_MAX / 2, INT64_MAX / 2});
    const auto kept = PictureHandle::madeNow(
        [image, pixels, context] { return context.renderBitmap(image, pixels, PixelFormat::RGBF); });
    if (!kept) return image;
    Image result = kept->image().translated(double(pixels.x), double(pixels.y));
    // Keep a fractional extent as it was.
    return pixels.toRect() == extent ? result : result.cropped(extent);
}

} // namespace oxel
