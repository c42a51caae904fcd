#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace oxel {

// An 8-bit RGBX, RGBA, RGB or grey bitmap (alpha is dropped) as a baseline JPEG at `quality` (1...100), with the ICC profile
// embedded when one is given. Chroma is kept whole at quality 90 and above, halved both ways
// below. The JFIF header states `dpi` dots per inch when it is positive, else only an aspect
// ratio of 1:1. Nothing for other formats.
std::optional<std::vector<uint8_t>> encodeJPEG(const Bitmap& bitmap, int quality, const std::vector<uint8_t>& icc,
                                               double dpi = 0);

// A quality given as a fraction 0...1 on the encoder's scale 1...100.
int jpegQuality(double fraction);

} // namespace oxel
