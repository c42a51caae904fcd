#pragma once

#include "imaging/Pixel.h"

#include <algorithm>
#include <cmath>

namespace oxel {

// The per-pixel kernels of the detail transfer, on encoded document-space values. Planning and
// combining apply them over a plan's target; they are kept here, apart from the recipes, so that
// what each pixel is can be read (and checked) on its own.
namespace TransferKernels {

// The share of the original's detail restored where the render agrees with it.
inline constexpr float alpha = 0.8f;

inline float clamp01(float v)
{
    return std::min(std::max(v, 0.0f), 1.0f);
}
inline RGB clamp01(RGB v)
{
    return {clamp01(v.r), clamp01(v.g), clamp01(v.b)};
}

// Agreement of the original's and the render's band-pass signals (green channels of the blurs
// at radius 2 and 8): (edge confidence, agreement, edge weight). Off the original's edges the
// edge confidence is 1.
inline RGB confidence(float originalFine, float originalCoarse, float renderFine, float renderCoarse)
{
    const float bandOriginal = originalFine - originalCoarse;
    const float bandRender = renderFine - renderCoarse;
    const float disagreement =
        std::fabs(bandOriginal - bandRender) / (std::fabs(bandOriginal) + std::fabs(bandRender) + 0.024f);
    const float c = clamp01(1.0f - disagreement);
    const float t = clamp01((std::fabs(bandOriginal) - 0.01f) / 0.02f);
    const float w = t * t * (3.0f - 2.0f * t);
    const float edgeConfidence = 1.0f + w * (c - 1.0f);
    return {edgeConfidence, c, w};
}

// The original's detail over the render's light. `light` is D = renderUp - originalLowClipped;
// `agreement` the plan's confidence green, `edgeConfidence` the soft mask's red.
inline RGB combineDetail(RGB original, RGB originalLow, RGB light, float agreement, float edgeConfidence,
                         float strength)
{
    const RGB p1 = originalLow + (alpha * agreement) * (original - originalLow);
    const RGB p2 = p1 + (1.0f - edgeConfidence) * (clamp01(p1 + light) - p1);
    const RGB p3 = p2 + (strength * edgeConfidence) * (clamp01(p2 + light) - p2);
    return clamp01(p3);
}

// The light change stored around middle grey, for a linear-light layer.
inline RGB lightLayer(RGB renderUp, RGB low)
{
    return clamp01((renderUp - low) * 0.5f + RGB{0.5f, 0.5f, 0.5f});
}

inline RGB smoothMask(float agreement)
{
    const float m = clamp01(1.0f - alpha * agreement);
    return {m, m, m};
}

inline RGB softMask(float edgeConfidence, float invert)
{
    const float m = edgeConfidence + invert * ((1.0f - edgeConfidence) - edgeConfidence);
    return {m, m, m};
}

} // namespace TransferKernels

} // namespace oxel
