#pragma once

#include "imaging/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace oxel {

// Rows of 8-bit pixels whose samples average on their own: three or four samples a pixel, any
// alpha opaque or premultiplied.
struct PixelRows {
    const uint8_t* first = nullptr;
    size_t rowBytes = 0;
    int width = 0;
    int height = 0;
    int channels = 0;
};

// `from` shrunk to `width` x `height` by averaging the source area each new pixel covers, written
// to rows of `toRowBytes` at `to` with the first `toChannels` samples of each pixel. A picture of
// one colour stays that colour. Shrinks only: `width` and `height` are at most `from`'s.
void areaAverage(const PixelRows& from, int width, int height, int toChannels, uint8_t* to, size_t toRowBytes);

// A picture of 8-bit RGB, RGBX or RGBA (opaque) shrunk as `areaAverage` does, into packed RGB8 of
// the same colour space; nothing for other formats, sizes that enlarge or are empty, or when
// memory runs out. The same pixels a tile's own shrinking of the picture would give.
std::optional<Bitmap> areaAveragedRGB8(const Bitmap& picture, int64_t width, int64_t height);

} // namespace oxel
