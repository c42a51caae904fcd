#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// Float vectors of four or eight lanes and the few functions the grade kernels need on them,
// branch-free, so that several pixels are graded at once. Four lanes fill an SSE2 register, eight
// an AVX2 one; the functions are templates over the vector type.
// Eight-lane vectors only pass between functions inlined into the AVX2 loop, so the warning that
// their calling convention differs without AVX does not apply.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wpsabi"
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace oxel::lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));

template <class V>
inline constexpr size_t widthOf = sizeof(V) / sizeof(float);

// The integer vector of the same width: what comparing two vectors gives.
template <class V>
using IntsOf = decltype(V{} > V{});

#define OXEL_LANES_INLINE [[gnu::always_inline]] inline

template <class V>
OXEL_LANES_INLINE V splat(float v)
{
    return V{} + v;
}
template <class V>
OXEL_LANES_INLINE V min(V a, V b)
{
    return a < b ? a : b;
}
template <class V>
OXEL_LANES_INLINE V max(V a, V b)
{
    return a > b ? a : b;
}
template <class V>
OXEL_LANES_INLINE V clamp(V x, float low, float high)
{
    return min(max(x, splat<V>(low)), splat<V>(high));
}
template <class V>
OXEL_LANES_INLINE V abs(V x)
{
    return x < 0.0f ? -x : x;
}
template <class V>
OXEL_LANES_INLINE bool anyAbove(V x, float limit)
{
    const IntsOf<V> above = x > limit;
    int32_t folded = 0;
    for (size_t k = 0; k < widthOf<V>; ++k) folded |= above[k];
    return folded != 0;
}

// Exact for |x| < 2^31, which hues and tone values never leave.
template <class V>
OXEL_LANES_INLINE V floor(V x)
{
    const V truncated = __builtin_convertvector(__builtin_convertvector(x, IntsOf<V>), V);
    return truncated > x ? truncated - 1.0f : truncated;
}
template <class V>
OXEL_LANES_INLINE V fract(V x)
{
    return x - floor(x);
}
template <class V>
OXEL_LANES_INLINE V mod(V x, float y)
{
    return x - y * floor(x * (1.0f / y));
}

template <class V>
OXEL_LANES_INLINE V smoothstep(float e0, float e1, V x)
{
    const V t = clamp((x - e0) * (1.0f / (e1 - e0)), 0, 1);
    return t * t * (3.0f - 2.0f * t);
}

// log2 by an atanh series about 1; x must be positive and normal.
template <class V>
OXEL_LANES_INLINE V log2(V x)
{
    using I = IntsOf<V>;
    const I bits = std::bit_cast<I>(x);
    I exponent = ((bits >> 23) & 0xff) - 127;
    I mantissa = (bits & 0x007fffff) | 0x3f800000;
    const I high = mantissa > 0x3fb504f3; // above sqrt(2): halve it
    mantissa -= high & 0x00800000;
    exponent -= high;
    const V m = std::bit_cast<V>(mantissa);
    const V t = (m - 1.0f) / (m + 1.0f), t2 = t * t;
    const V series = 1.0f + t2 * (1.0f / 3 + t2 * (1.0f / 5 + t2 * (1.0f / 7 + t2 * (1.0f / 9))));
    return __builtin_convertvector(exponent, V) + 2.88539008f * t * series;
}

template <class V>
OXEL_LANES_INLINE V exp2(V y)
{
    y = clamp(y, -126, 127);
    const V whole = floor(y + 0.5f);
    const V z = (y - whole) * 0.693147181f;
    const V poly =
        1.0f + z * (1.0f + z * (0.5f + z * (1.0f / 6 + z * (1.0f / 24 + z * (1.0f / 120 + z * (1.0f / 720))))));
    const IntsOf<V> scale = (__builtin_convertvector(whole, IntsOf<V>) + 127) << 23;
    return poly * std::bit_cast<V>(scale);
}

// x^y for x >= 0, within a few parts in a million; 0 for x at or below 1e-30.
template <class V>
OXEL_LANES_INLINE V pow(V x, float y)
{
    const auto positive = x > 1e-30f;
    const V result = exp2(y * log2(positive ? x : splat<V>(1.0f)));
    return positive ? result : splat<V>(0.0f);
}

} // namespace oxel::lanes
