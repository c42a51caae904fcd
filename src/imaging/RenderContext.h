#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"

#include <cstdint>
#include <optional>

namespace oxel {

// Turns recipes into pixels, the stand-in for a platform rendering context. Rendering splits the
// rectangle into tiles on the shared thread pool. A context keeps no state between renders, so
// one context may render from several threads at once, also on shared recipes.
class RenderContext {
public:
    struct Options {
        int tileWidth = 512;
        int tileHeight = 128;
    };

    RenderContext() = default;
    explicit RenderContext(Options options) : options_(options) {}

    // Float RGB samples, `stride` samples a row.
    void render(const Image& image, const PixelRect& rect, RGB* out, size_t stride) const;
    // RGBA, 16 bits a channel (native byte order), rounded to nearest and clamped; A is 65535.
    void renderRGBA16(const Image& image, const PixelRect& rect, uint16_t* out, size_t rowBytes) const;
    // RGBA, 8 bits a channel, rounded to nearest and clamped; A is 255.
    void renderRGBA8(const Image& image, const PixelRect& rect, uint8_t* out, size_t rowBytes) const;
    // RGBA, 8 bits a channel by way of 16: each sample is rounded to 16 bits as renderRGBA16 does,
    // then narrowed to v / 257 rounded, in integers, tile by tile; A is 255.
    void renderRGBA8Through16(const Image& image, const PixelRect& rect, uint8_t* out, size_t rowBytes) const;

    // A new bitmap of `rect` in one of the RGBX/RGBA/RGBF formats, tagged with `colourSpace`
    // (no conversion takes place); nothing when the rectangle is empty or memory runs out.
    std::optional<Bitmap> renderBitmap(const Image& image, const PixelRect& rect, PixelFormat format,
                                       const ColourSpace& colourSpace = {}) const;

    const Options& options() const { return options_; }

private:
    Options options_;
};

// Renders the recipe once into float pixels over its (finite) extent and returns a recipe that
// reads those pixels, at the same place. The pixels are kept in the shared picture cache, which
// renders them again when it let them go. An infinite or empty extent gives the recipe itself.
Image materialised(const Image& image, const RenderContext& context = RenderContext());

} // namespace oxel
