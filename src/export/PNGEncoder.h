#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// PNG bytes of an RGBX bitmap of 8 or 16 bits (the padding channel is dropped), with the
// bitmap's ICC profile (iCCP) and a resolution of `dpi` pixels per inch (pHYs; none when it is not
// positive). Nothing for other formats or when encoding fails.
std::optional<std::vector<uint8_t>> encodePNG(const Bitmap& bitmap, double dpi = 0);

// PNG bytes written for speed rather than size: the "sub" filter on every row instead of the best
// of five (the rows are deflated as `encodePNG` does), and no resolution. Also takes 8-bit RGBA,
// whose alpha is dropped (the pictures kept this way are opaque).
std::optional<std::vector<uint8_t>> encodePNGFast(const Bitmap& bitmap);

// The PNG file with a TIFF-structured Exif block as its eXIf chunk, placed before the first
// image data chunk; nothing when the bytes aren't a PNG file. Added last, because metadata
// rewriters that don't know the chunk drop it.
std::optional<std::vector<uint8_t>> withExifChunk(std::span<const uint8_t> png, std::span<const uint8_t> exif);

} // namespace oxel
