#pragma once

#include "imaging/Bitmap.h"

#include <vector>

namespace oxel::segment {

// The RGB values (0...1) of an 8-bit RGBA or RGBX picture averaged over a grid of width x height
// cells: each cell is the area-weighted mean of the pixels it covers, in part or in whole.
// Empty for any other format or an empty picture.
std::vector<float> areaAverageRGB(const Bitmap& picture, int width, int height);

} // namespace oxel::segment
