#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>

namespace oxel::bench {

// A picture with some structure to it, so scaling does real work; `seed` tells pictures apart.
inline Bitmap patternedBitmap(int width, int height, uint8_t seed, const ColourSpace& space = {})
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8, space);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        for (int x = 0; x < width; ++x) {
            row[4 * x] = uint8_t(x * 255 / width);
            row[4 * x + 1] = uint8_t(y * 255 / height);
            row[4 * x + 2] = uint8_t((x ^ y) + seed);
            row[4 * x + 3] = 255;
        }
    }
    return *bitmap;
}

} // namespace oxel::bench
