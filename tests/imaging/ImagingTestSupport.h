#pragma once

#include "imaging/Bitmap.h"
#include "imaging/Image.h"
#include "imaging/RenderContext.h"

#include <functional>
#include <vector>

namespace oxel::testing {

// A float RGB bitmap filled by f(x, y).
inline Bitmap floatBitmap(int64_t width, int64_t height, const std::function<RGB(int64_t, int64_t)>& f)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBF);
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<RGB*>(bitmap.mutableRow(y));
        for (int64_t x = 0; x < width; ++x) row[x] = f(x, y);
    }
    return bitmap;
}

inline std::vector<RGB> renderAll(const Image& image, const PixelRect& rect)
{
    std::vector<RGB> pixels(size_t(rect.area()));
    RenderContext().render(image, rect, pixels.data(), size_t(rect.width));
    return pixels;
}

inline RGB pixelAt(const Image& image, int64_t x, int64_t y)
{
    return renderAll(image, {x, y, 1, 1})[0];
}

} // namespace oxel::testing
