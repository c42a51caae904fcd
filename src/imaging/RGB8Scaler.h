#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>

namespace oxel {

// Whether `scaledRGB8` reads bitmaps of this format: 8-bit grey, RGB, RGBX and RGBA.
bool scalesToRGB8(PixelFormat format);

// `stored` resampled with the same Lanczos-3 weights as a rendered resample to `width` x `height`
// (sizes before the turn), reading edge pixels beyond its sides, then turned upright by the EXIF
// `orientation`: packed RGB8 tagged `colourSpace`. Alpha is dropped and grey repeats in R, G and B.
// Works on the 8-bit samples directly, without the float tiles of a render, so a thumbnail costs
// little beside its decode; values agree with a render to within one step. Nothing for other
// formats, empty sizes, or when memory runs out.
std::optional<Bitmap> scaledRGB8(const Bitmap& stored, int64_t width, int64_t height, int orientation,
                                 const ColourSpace& colourSpace);

} // namespace oxel
