#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <functional>
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

// Where a PNG file's bytes go as they are made, in order; false stops the writing.
using PNGSink = std::function<bool(std::span<const uint8_t> bytes)>;

// The file `encodePNG` would make, less its image data: signature, header, profile, resolution and
// the end chunk. Metadata writers take it as a whole file; `writePNG` then completes it.
std::optional<std::vector<uint8_t>> pngWithoutImageData(const Bitmap& bitmap, double dpi = 0);

// Writes the PNG file of `bitmap` through `sink` without holding it whole: `withoutImageData` (as
// `pngWithoutImageData` made it, metadata writers' chunks included) up to its end chunk, then the
// image data, made as `encodePNG` makes it, and the end chunk. False when the head is no such
// file, encoding fails or the sink refuses.
bool writePNG(const Bitmap& bitmap, std::span<const uint8_t> withoutImageData, const PNGSink& sink);

// The PNG file with a TIFF-structured Exif block as its eXIf chunk, placed before the first
// image data chunk (before the end chunk in a file without image data); nothing when the bytes
// aren't a PNG file. Added last, because metadata
// rewriters that don't know the chunk drop it.
std::optional<std::vector<uint8_t>> withExifChunk(std::span<const uint8_t> png, std::span<const uint8_t> exif);

} // namespace oxel
