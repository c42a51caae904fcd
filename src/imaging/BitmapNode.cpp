#include "imaging/BitmapNode.h"

#include <cstring>

namespace oxel {

namespace {

template <class Sample>
float normalised(Sample v)
{
    if constexpr (sizeof(Sample) == 1)
        return float(v) * (1.0f / 255.0f);
    else if constexpr (sizeof(Sample) == 2)
        return float(v) * (1.0f / 65535.0f);
    else
        return v;
}

template <class Sample, int channels>
void convertRow(const uint8_t* source, RGB* out, int64_t count)
{
    const auto* samples = reinterpret_cast<const Sample*>(source);
    for (int64_t i = 0; i < count; ++i) {
        const Sample* p = samples + i * channels;
        if constexpr (channels == 1) {
            const float v = normalised(p[0]);
            out[i] = {v, v, v};
        } else {
            out[i] = {normalised(p[0]), normalised(p[1]), normalised(p[2])};
        }
    }
}

using RowConverter = void (*)(const uint8_t*, RGB*, int64_t);

RowConverter converterFor(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8: return convertRow<uint8_t, 1>;
    case PixelFormat::Gray16: return convertRow<uint16_t, 1>;
    case PixelFormat::GrayF: return convertRow<float, 1>;
    case PixelFormat::RGB8: return convertRow<uint8_t, 3>;
    case PixelFormat::RGB16: return convertRow<uint16_t, 3>;
    case PixelFormat::RGBF: return convertRow<float, 3>;
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8: return convertRow<uint8_t, 4>;
    case PixelFormat::RGBX16:
    case PixelFormat::RGBA16: return convertRow<uint16_t, 4>;
    case PixelFormat::RGBAf: return convertRow<float, 4>;
    }
    return convertRow<uint8_t, 4>;
}

} // namespace

Rect BitmapNode::extent() const
{
    return Rect::ofSize(double(bitmap_.width()), double(bitmap_.height()));
}

void BitmapNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent(), region, out, stride);
    if (inside.isEmpty()) return;
    const RowConverter convert = converterFor(bitmap_.format());
    const size_t pixelBytes = size_t(bytesPerPixel(bitmap_.format()));
    for (int64_t y = inside.y; y < inside.maxY(); ++y) {
        RGB* row = out + size_t(y - region.y) * stride + size_t(inside.x - region.x);
        if (bitmap_.format() == PixelFormat::RGBF) {
            std::memcpy(row, bitmap_.row(y) + size_t(inside.x) * pixelBytes, size_t(inside.width) * sizeof(RGB));
        } else {
            convert(bitmap_.row(y) + size_t(inside.x) * pixelBytes, row, inside.width);
        }
    }
}

} // namespace oxel
