#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace oxel::test {

// A float picture of width x height whose pixel (x, y) is f(x, y).
inline Image picture(int width, int height, const std::function<RGB(int, int)>& f)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBF);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(bitmap->mutableRow(y));
        for (int x = 0; x < width; ++x) {
            const RGB c = f(x, y);
            row[3 * x] = c.r;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.b;
        }
    }
    return Image::fromBitmap(*bitmap);
}

inline Image flat(int width, int height, RGB colour)
{
    return picture(width, height, [colour](int, int) { return colour; });
}

// Every sample of `e` (the picture's extent unless given), row by row.
inline std::vector<RGB> samples(const Image& image, Rect e = Rect::infinite())
{
    if (e.isInfinite()) e = image.extent();
    const PixelRect area{int64_t(e.x), int64_t(e.y), int64_t(e.width), int64_t(e.height)};
    std::vector<RGB> out(size_t(area.area()));
    RenderContext().render(image, area, out.data(), size_t(area.width));
    return out;
}

// The largest difference between two pictures' samples over the first one's extent.
inline float largestDifference(const Image& a, const Image& b)
{
    const auto sa = samples(a), sb = samples(b, a.extent());
    float largest = 0;
    for (size_t i = 0; i < sa.size(); ++i)
        largest =
            std::max({largest, std::abs(sa[i].r - sb[i].r), std::abs(sa[i].g - sb[i].g), std::abs(sa[i].b - sb[i].b)});
    return largest;
}

inline RGB sampleAt(const Image& image, int x, int y)
{
    RGB out;
    RenderContext().render(image, PixelRect{x, y, 1, 1}, &out, 1);
    return out;
}

inline void expectNear(RGB a, RGB b, float tolerance)
{
    EXPECT_NEAR(a.r, b.r, tolerance);
    EXPECT_NEAR(a.g, b.g, tolerance);
    EXPECT_NEAR(a.b, b.b, tolerance);
}

inline RGB pixelOf(const Bitmap& bitmap, int x, int y)
{
    const uint8_t* p = bitmap.row(y) + size_t(x) * size_t(bytesPerPixel(bitmap.format()));
    return {p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f};
}

} // namespace oxel::test
