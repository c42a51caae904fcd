#pragma once

#include "develop/FastPow.h"
#include "develop/RGBSpace.h"
#include "imaging/Kernel.h"

#include <array>
#include <type_traits>

namespace oxel {

// The per-pixel colour kernels of RGBSpace. They work on four pixels at once, one vector per
// channel, so that the tone curves, the heavy part, run on full vectors. A tone curve is a power
// law per channel, or the sRGB curve on all three; which one is a template argument, so that each
// sample only pays for the curve it uses.

// Four pixels, one vector per channel.
struct Pixels4 {
    Float4 r, g, b;
};

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
    Pixels4 operator*(const Pixels4& v) const
    {
        return {m[0] * v.r + m[1] * v.g + m[2] * v.b, m[3] * v.r + m[4] * v.g + m[5] * v.b,
                m[6] * v.r + m[7] * v.g + m[8] * v.b};
    }
};

inline Float4 clamp01(Float4 v)
{
    v = v < 0.0f ? splat(0.0f) : v;
    return v > 1.0f ? splat(1.0f) : v;
}
inline Pixels4 clamp01(const Pixels4& p) { return {clamp01(p.r), clamp01(p.g), clamp01(p.b)}; }

// Encoded values to linear light. The sRGB curve's linear part uses the value itself, so a
// negative input stays negative there; the power law treats negatives as 0.
template <bool sRGB>
inline Float4 decodeTone(Float4 v, float gamma)
{
    if constexpr (sRGB) {
        const Float4 curved = fastPow((v + 0.055f) * (1.0f / 1.055f), splat(2.4f));
        return v <= 0.04045f ? v * (1.0f / 12.92f) : curved;
    } else {
        return fastPow(v, splat(gamma));
    }
}

// Linear light to encoded values; `inverseGamma` is 1 / the channel's gamma.
template <bool sRGB>
inline Float4 encodeTone(Float4 l, float inverseGamma)
{
    if constexpr (sRGB) {
        const Float4 curved = 1.055f * fastPow(l, splat(1.0f / 2.4f)) - 0.055f;
        return l <= 0.0031308f ? 12.92f * l : curved;
    } else {
        return fastPow(l, splat(inverseGamma));
    }
}

// A space's three channel curves.
template <bool sRGB>
struct ToneCurves {
    std::array<float, 3> gamma{}, inverse{};

    static ToneCurves of(const std::array<double, 3>& gammas)
    {
        ToneCurves curves;
        for (size_t c = 0; c < 3; ++c) {
            curves.gamma[c] = float(gammas[c]);
            curves.inverse[c] = float(1.0 / gammas[c]);
        }
        return curves;
    }
    Pixels4 decode(const Pixels4& p) const
    {
        return {decodeTone<sRGB>(p.r, gamma[0]), decodeTone<sRGB>(p.g, gamma[1]), decodeTone<sRGB>(p.b, gamma[2])};
    }
    Pixels4 encode(const Pixels4& p) const
    {
        return {encodeTone<sRGB>(p.r, inverse[0]), encodeTone<sRGB>(p.g, inverse[1]), encodeTone<sRGB>(p.b, inverse[2])};
    }
};

// `convert`: decode with the source curves, source matrix to XYZ, destination matrix from XYZ,
// clamp to 0...1 in linear light, encode with the destination curves. The two matrices are
// applied as their product.
template <bool sourceSRGB, bool destinationSRGB>
struct ConvertKernel {
    Matrix3f sourceToDestination;
    ToneCurves<sourceSRGB> source;
    ToneCurves<destinationSRGB> destination;

    Pixels4 operator()(const Pixels4& p) const
    {
        return destination.encode(clamp01(sourceToDestination * source.decode(p)));
    }
};

// `clipViaSRGB`: to linear sRGB, clamp to 0...1 (the sRGB gamut, per channel), back to the
// space's linear RGB, clamp again, encode with the space's curves.
template <bool sRGB>
struct ClipViaSRGBKernel {
    Matrix3f spaceToSRGB, sRGBToSpace;
    ToneCurves<sRGB> curves;

    Pixels4 operator()(const Pixels4& p) const
    {
        return curves.encode(clamp01(sRGBToSpace * clamp01(spaceToSRGB * curves.decode(p))));
    }
};

// One pixel through a four-pixel kernel.
template <class Kernel>
RGB applyToPixel(const Kernel& kernel, RGB v)
{
    const Pixels4 out = kernel(Pixels4{splat(v.r), splat(v.g), splat(v.b)});
    return {out.r[0], out.g[0], out.b[0]};
}

// A four-pixel kernel over a picture: runs of samples are taken four at a time.
template <class Kernel>
Image applyPixels4Kernel(const Rect& extent, const Kernel& kernel, const Image& image)
{
    SpanKernel span = [kernel](const RGB* const* inputs, RGB* out, size_t count) {
        const RGB* in = inputs[0];
        size_t i = 0;
        for (; i + 4 <= count; i += 4) {
            const Pixels4 result = kernel(Pixels4{Float4{in[i].r, in[i + 1].r, in[i + 2].r, in[i + 3].r},
                                                  Float4{in[i].g, in[i + 1].g, in[i + 2].g, in[i + 3].g},
                                                  Float4{in[i].b, in[i + 1].b, in[i + 2].b, in[i + 3].b}});
            for (size_t k = 0; k < 4; ++k) out[i + k] = {result.r[k], result.g[k], result.b[k]};
        }
        for (; i < count; ++i) out[i] = applyToPixel(kernel, in[i]);
    };
    return applySpanKernel(extent, std::move(span), {image});
}

// Calls f with std::true_type or std::false_type, so a runtime flag picks a kernel instantiation.
template <class F>
auto withCurveMode(bool sRGB, F&& f)
{
    return sRGB ? f(std::true_type{}) : f(std::false_type{});
}

} // namespace oxel
