#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace oxel {

// Uncompressed RGB TIFF bytes of an RGBX bitmap of 8 or 16 bits (the padding channel is
// dropped), with the bitmap's ICC profile. Nothing for other formats or when encoding fails.
std::optional<std::vector<uint8_t>> encodeTIFF(const Bitmap& bitmap);

} // namespace oxel
