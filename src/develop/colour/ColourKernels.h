#pragma once

#include "develop/colour/RGBSpace.h"
#include "develop/colour/ToneTable.h"
#include "imaging/Pixel.h"

#include <algorithm>
#include <array>
#include <memory>

namespace oxel {

// The per-pixel colour kernels of RGBSpace.

inline Matrix3 multiply(const Matrix3& a, const Matrix3& b)
{
    Matrix3 product{};
    for (size_t row = 0; row < 3; ++row)
        for (size_t column = 0; column < 3; ++column)
            for (size_t k = 0; k < 3; ++k) product[row * 3 + column] += a[row * 3 + k] * b[k * 3 + column];
    return product;
}

struct Matrix3f {
    std::array<float, 9> m{};

    static Matrix3f of(const Matrix3& matrix)
    {
        Matrix3f result;
        for (size_t i = 0; i < 9; ++i) result.m[i] = float(matrix[i]);
        return result;
    }
    RGB operator*(RGB v) const
    {
        return {m[0] * v.r + m[1] * v.g + m[2] * v.b, m[3] * v.r + m[4] * v.g + m[5] * v.b,
                m[6] * v.r + m[7] * v.g + m[8] * v.b};
    }
};

inline float clamp01(float v)
{
    return std::min(std::max(v, 0.0f), 1.0f);
}
inline RGB clamp01(RGB v)
{
    return {clamp01(v.r), clamp01(v.g), clamp01(v.b)};
}

// A space's three channel curves in one direction.
struct ChannelCurves {
    std::array<std::shared_ptr<const ToneTable>, 3> tables;

    static ChannelCurves of(ToneTable::Direction direction, bool sRGB, const std::array<double, 3>& gamma)
    {
        return {{ToneTable::of(direction, sRGB, gamma[0]), ToneTable::of(direction, sRGB, gamma[1]),
                 ToneTable::of(direction, sRGB, gamma[2])}};
    }
    RGB operator()(RGB v) const { return {(*tables[0])(v.r), (*tables[1])(v.g), (*tables[2])(v.b)}; }
    void apply(float* r, float* g, float* b, size_t count) const
    {
        tables[0]->apply(r, count);
        tables[1]->apply(g, count);
        tables[2]->apply(b, count);
    }
};

// `convert`: decode with the source curves, source matrix to XYZ, destination matrix from XYZ,
// clamp to 0...1 in linear light, encode with the destination curves. The two matrices are
// applied as their product.
struct ConvertKernel {
    ChannelCurves decode;
    Matrix3f sourceToDestination;
    ChannelCurves encode;

    RGB operator()(RGB v) const { return encode(clamp01(sourceToDestination * decode(v))); }
    // The same over a run of pixels, channel by channel, so that every step vectorises.
    void run(const RGB* in, RGB* out, size_t count) const;
};

// `clipViaSRGB`: to linear sRGB, clamp to 0...1 (the sRGB gamut, per channel), back to the
// space's linear RGB, clamp again, encode with the space's curves.
struct ClipViaSRGBKernel {
    ChannelCurves decode;
    Matrix3f spaceToSRGB, sRGBToSpace;
    ChannelCurves encode;

    RGB operator()(RGB v) const { return encode(clamp01(sRGBToSpace * clamp01(spaceToSRGB * decode(v)))); }
    void run(const RGB* in, RGB* out, size_t count) const;
};

} // namespace oxel
