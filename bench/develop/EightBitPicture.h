#pragma once

#include "imaging/Image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace oxel::bench {

// An 8-bit picture, as a decoded JPEG gives it, whose pixel at (u, v) in 0...1 is colourAt(u, v).
template <class ColourAt>
Image eightBitPicture(int64_t width, int64_t height, ColourAt colourAt)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
    const auto byte = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255)); };
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const auto [r, g, b] = colourAt((x + 0.5) / double(width), (y + 0.5) / double(height));
            row[4 * x] = byte(r);
            row[4 * x + 1] = byte(g);
            row[4 * x + 2] = byte(b);
            row[4 * x + 3] = 255;
        }
    }
    return Image::fromBitmap(*bitmap);
}

} // namespace oxel::bench
