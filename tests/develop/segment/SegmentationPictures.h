#pragma once

#include "develop/codecs/PictureCodec.h"
#include "imaging/Bitmap.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <string>

namespace oxel::test {

// The astronaut portrait of the scikit-image data (public domain), as Debian installs it.
inline const char* astronautPath = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";

// An 8-bit RGBA bitmap whose pixel (x, y) is f(x, y) in 0...255.
inline Bitmap rgbaPicture(int width, int height, const std::function<std::array<int, 3>(int, int)>& f)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBA8, ColourSpace::sRGB());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.mutableRow(y);
        for (int x = 0; x < width; ++x) {
            const auto c = f(x, y);
            for (int k = 0; k < 3; ++k) row[4 * x + k] = uint8_t(std::clamp(c[size_t(k)], 0, 255));
            row[4 * x + 3] = 255;
        }
    }
    return bitmap;
}

// A PNG file as 8-bit samples; nothing when it can't be read.
inline std::optional<Samples> readPNG(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) return std::nullopt;
    auto samples = png::decode(bytes, 0);
    if (!samples || samples->bits != 8) return std::nullopt;
    return samples;
}

// An RGB or RGBA PNG file as an RGBA8 bitmap.
inline std::optional<Bitmap> readRGBA(const std::string& path)
{
    const auto samples = readPNG(path);
    if (!samples || samples->channels < 3) return std::nullopt;
    const Samples s = *samples;
    return rgbaPicture(int(s.width), int(s.height), [&](int x, int y) {
        const uint8_t* p = s.row(y) + size_t(x) * size_t(s.channels);
        return std::array<int, 3>{p[0], p[1], p[2]};
    });
}

// Pine boards: warm brown planks with grain lines and knots, every colour inside the skin-tone
// box of the chroma mask.
inline Bitmap woodTexture(int width, int height)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1, 1);
    std::vector<double> plankShade(64);
    for (double& s : plankShade) s = 0.85 + 0.15 * jitter(random);
    return rgbaPicture(width, height, [&](int x, int y) {
        const int plank = (x * 6) / width;
        const double u = double(x) / width, v = double(y) / height;
        const double grain = 0.5 + 0.5 * std::sin(90 * u + 6 * std::sin(7 * v + plank) + 3 * std::sin(23 * v));
        const double knot = std::exp(-(std::pow(u - 0.3 - 0.1 * plank, 2) + std::pow(v - 0.6, 2)) * 400);
        const double shade = plankShade[size_t(plank)] * (0.82 + 0.18 * grain) * (1 - 0.35 * knot);
        const int seam = (x * 6) % width < 6 ? 40 : 0;
        return std::array<int, 3>{int(215 * shade) - seam, int(150 * shade) - seam, int(95 * shade) - seam};
    });
}

// The mean and largest value of a one-channel 8-bit mask.
struct MaskStatistics {
    double mean = 0;
    int largest = 0;
};
inline MaskStatistics statistics(const Bitmap& mask)
{
    MaskStatistics s;
    for (int64_t y = 0; y < mask.height(); ++y)
        for (int64_t x = 0; x < mask.width(); ++x) {
            s.mean += mask.row(y)[x];
            s.largest = std::max<int>(s.largest, mask.row(y)[x]);
        }
    s.mean /= double(mask.width() * mask.height());
    return s;
}

} // namespace oxel::test
