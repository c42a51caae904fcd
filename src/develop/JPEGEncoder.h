#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace oxel {

// JPEG bytes of an 8-bit bitmap (RGB, RGBX, RGBA or grey; alpha is dropped) at quality 0...1,
// with the bitmap's ICC profile embedded when its colour tag carries one. Full-resolution chroma
// at quality 0.9 and above, halved chroma below. Nothing for other formats or when encoding fails.
std::optional<std::vector<uint8_t>> encodeJPEG(const Bitmap& bitmap, double quality);

} // namespace oxel
