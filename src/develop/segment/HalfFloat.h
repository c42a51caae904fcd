#pragma once

#include <bit>
#include <cstdint>

namespace oxel::segment {

// An IEEE half-precision value widened to float, exactly (subnormals, infinities and NaN included).
inline float halfToFloat(uint16_t half)
{
    const uint32_t sign = uint32_t(half & 0x8000) << 16;
    const uint32_t exponent = (half >> 10) & 0x1f;
    uint32_t mantissa = half & 0x3ff;
    if (exponent == 0x1f) return std::bit_cast<float>(sign | 0x7f800000u | (mantissa << 13));
    if (exponent != 0) return std::bit_cast<float>(sign | ((exponent + 112) << 23) | (mantissa << 13));
    if (mantissa == 0) return std::bit_cast<float>(sign);
    // Subnormal: shift the mantissa up until its leading one becomes the hidden bit.
    int shift = 0;
    while (!(mantissa & 0x400)) mantissa <<= 1, ++shift;
    return std::bit_cast<float>(sign | (uint32_t(113 - shift) << 23) | ((mantissa & 0x3ff) << 13));
}

} // namespace oxel::segment
