#pragma once

#include <bit>
#include <cstdint>

// Four float lanes and the few functions the grade kernels need on them, branch-free, so that
// four pixels are graded at once with plain SSE2.
// Hot loops over lanes are built twice, for today's x86-64 (AVX2, FMA) and for the baseline, and
// the better one is picked when the program starts.
#if defined(__x86_64__)
#define OXEL_LANE_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define OXEL_LANE_CLONES
#endif

namespace oxel::lanes {

typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));

inline F4 splat(float v) { return F4{v, v, v, v}; }
inline F4 min(F4 a, F4 b) { return a < b ? a : b; }
inline F4 max(F4 a, F4 b) { return a > b ? a : b; }
inline F4 clamp(F4 x, float low, float high) { return min(max(x, splat(low)), splat(high)); }
inline bool anyAbove(F4 x, float limit)
{
    const I4 above = x > limit;
    return (above[0] | above[1] | above[2] | above[3]) != 0;
}
inline F4 abs(F4 x) { return x < 0.0f ? -x : x; }

// Exact for |x| < 2^31, which hues and tone values never leave.
inline F4 floor(F4 x)
{
    const F4 truncated = __builtin_convertvector(__builtin_convertvector(x, I4), F4);
    return truncated > x ? truncated - 1.0f : truncated;
}
inline F4 fract(F4 x) { return x - floor(x); }
inline F4 mod(F4 x, float y) { return x - y * floor(x * (1.0f / y)); }

inline F4 smoothstep(float e0, float e1, F4 x)
{
    const F4 t = clamp((x - e0) * (1.0f / (e1 - e0)), 0, 1);
    return t * t * (3.0f - 2.0f * t);
}

// log2 by an atanh series about 1; x must be positive and normal.
inline F4 log2(F4 x)
{
    const I4 bits = std::bit_cast<I4>(x);
    I4 exponent = ((bits >> 23) & 0xff) - 127;
    I4 mantissa = (bits & 0x007fffff) | 0x3f800000;
    const I4 high = mantissa > 0x3fb504f3;  // above sqrt(2): halve it
    mantissa -= high & 0x00800000;
    exponent -= high;
    const F4 m = std::bit_cast<F4>(mantissa);
    const F4 t = (m - 1.0f) / (m + 1.0f), t2 = t * t;
    const F4 series = 1.0f + t2 * (1.0f / 3 + t2 * (1.0f / 5 + t2 * (1.0f / 7 + t2 * (1.0f / 9))));
    return __builtin_convertvector(exponent, F4) + 2.88539008f * t * series;
}

inline F4 exp2(F4 y)
{
    y = clamp(y, -126, 127);
    const F4 whole = floor(y + 0.5f);
    const F4 z = (y - whole) * 0.693147181f;
    const F4 poly =
        1.0f + z * (1.0f + z * (0.5f + z * (1.0f / 6 + z * (1.0f / 24 + z * (1.0f / 120 + z * (1.0f / 720))))));
    const I4 scale = (__builtin_convertvector(whole, I4) + 127) << 23;
    return poly * std::bit_cast<F4>(scale);
}

// x^y for x >= 0, within a few parts in a million; 0 for x at or below 1e-30.
inline F4 pow(F4 x, float y)
{
    const auto positive = x > 1e-30f;
    const F4 result = exp2(y * log2(positive ? x : splat(1.0f)));
    return positive ? result : splat(0.0f);
}

} // namespace oxel::lanes
