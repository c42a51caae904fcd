#pragma once

#include "imaging/Bitmap.h"

#include <filesystem>
#include <memory>

typedef struct tiff TIFF;

namespace oxel {

using TIFFWriter = std::unique_ptr<TIFF, void (*)(TIFF*)>;

// A TIFF written through `descriptor`, an open file that stays its owner's: the file is never
// opened again by `name`, which only labels messages. BigTIFF when `big`. Null when the library
// refuses.
TIFFWriter writeTIFFThrough(int descriptor, const std::filesystem::path& name, bool big);

// Writes an RGBX bitmap of 8 or 16 bits (the padding channel is dropped) as an uncompressed RGB
// TIFF file with the bitmap's ICC profile and a resolution of `dpi` pixels per inch (none when it
// is not positive); BigTIFF when the pixels outgrow 32-bit offsets. Written through the empty file
// open as `descriptor` (see `writeTIFFThrough`). False for other formats or when writing fails.
bool encodeTIFF(const Bitmap& bitmap, int descriptor, const std::filesystem::path& name, double dpi = 0);

} // namespace oxel
