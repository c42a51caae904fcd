#pragma once

#include "imaging/Bitmap.h"

#include <filesystem>

namespace oxel {

// Writes an RGBX bitmap of 8 or 16 bits (the padding channel is dropped) as an uncompressed RGB
// TIFF file with the bitmap's ICC profile and a resolution of `dpi` pixels per inch (none when it
// is not positive); BigTIFF when the pixels outgrow 32-bit offsets. False for other formats or
// when writing fails.
bool encodeTIFF(const Bitmap& bitmap, const std::filesystem::path& file, double dpi = 0);

} // namespace oxel
