#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"

#include <cmath>
#include <cstdint>
#include <functional>

namespace oxel::testing {

// Synthetic photographs for the detail-transfer tests: a scene is a function of normalised
// coordinates (u, v in 0...1), so the same scene can be drawn at any size, and relit.
struct Scene {
    uint32_t seed = 1;

    // Discs of different colours on a graded ground, with fine stripes for detail.
    RGB at(double u, double v) const
    {
        uint32_t state = seed * 2654435761u + 12345u;
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return double(state >> 8) / double(1u << 24);
        };
        RGB colour{float(0.25 + 0.2 * u), float(0.3 + 0.15 * v), 0.35f};
        for (int disc = 0; disc < 7; ++disc) {
            const double cx = next(), cy = next(), radius = 0.06 + 0.12 * next();
            const RGB tone{float(0.15 + 0.7 * next()), float(0.15 + 0.7 * next()), float(0.15 + 0.7 * next())};
            if ((u - cx) * (u - cx) + (v - cy) * (v - cy) < radius * radius) colour = tone;
        }
        const float stripes = float(0.04 * std::sin(2 * M_PI * 40 * (u + 0.3 * v)));
        return colour + RGB{stripes, stripes, stripes};
    }
};

// The scene relit: a warm light from the left and a darker right side.
inline RGB relit(RGB colour, double u)
{
    const float gain = float(1.25 - 0.6 * u);
    return {std::min(colour.r * gain + 0.05f, 1.0f), std::min(colour.g * gain, 1.0f),
            std::min(colour.b * gain * 0.85f, 1.0f)};
}

inline Image drawn(int64_t width, int64_t height, const std::function<RGB(double, double)>& colourAt)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBF);
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(bitmap->mutableRow(y));
        for (int64_t x = 0; x < width; ++x) {
            const RGB c = colourAt((x + 0.5) / double(width), (y + 0.5) / double(height));
            row[3 * x] = c.r;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.b;
        }
    }
    return Image::fromBitmap(*bitmap);
}

inline Image original(int64_t width, int64_t height, Scene scene = {})
{
    return drawn(width, height, [scene](double u, double v) { return scene.at(u, v); });
}

inline Image relitRender(int64_t width, int64_t height, Scene scene = {})
{
    return drawn(width, height, [scene](double u, double v) { return relit(scene.at(u, v), u); });
}

} // namespace oxel::testing

#include "imaging/RenderContext.h"

#include <vector>

namespace oxel::testing {

inline std::vector<RGB> pixelsOf(const Image& image, int64_t width, int64_t height)
{
    std::vector<RGB> samples(size_t(width * height));
    RenderContext().render(image, PixelRect{0, 0, width, height}, samples.data(), size_t(width));
    return samples;
}

inline double meanAbsoluteDifference(const std::vector<RGB>& a, const std::vector<RGB>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::fabs(a[i].r - b[i].r) + std::fabs(a[i].g - b[i].g) + std::fabs(a[i].b - b[i].b);
    return sum / (3.0 * double(a.size()));
}

} // namespace oxel::testing
