#pragma once

#include "imaging/Bitmap.h"

#include <filesystem>

namespace oxel {

// Writes an RGBX bitmap of 8 or 16 bits (the padding channel is dropped) as an uncompressed RGB
// TIFF file with the bitmap's ICC profile; BigTIFF when the pixels outgrow 32-bit offsets. False
// for other formats or when writing fails.
bool encodeTIFF(const Bitmap& bitmap, const std::filesystem::path& file);

} // namespace oxel
