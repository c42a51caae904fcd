#pragma once

#include "localbackend/LocalRelight.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace oxel::bench {

// A photograph-like picture: smooth light with fine noise, so that its JPEG is of a realistic size
// and its detail gives the develop steps real work.
inline local::RgbPicture photographPicture(int width, int height)
{
    local::RgbPicture picture{width, height, {}};
    picture.pixels.resize(size_t(width) * height * 3);
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double light = 0.5 + 0.4 * std::sin(x * 0.004) * std::cos(y * 0.005);
            uint8_t* p = &picture.pixels[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(std::clamp(int(light * 230) + grain(noise), 0, 255));
            p[1] = uint8_t(std::clamp(int(light * 190) + grain(noise), 0, 255));
            p[2] = uint8_t(std::clamp(int(light * 150) + grain(noise), 0, 255));
        }
    }
    return picture;
}

} // namespace oxel::bench
