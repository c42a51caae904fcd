#pragma once

#include "develop/colour/Lanes.h"
#include "develop/grade/SuggestedGrade.h"
#include "imaging/Pixel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

// The per-pixel functions behind grading, skin hold and the colour layer. Each is a pure function
// of its samples and uniforms; the image operations run them through applyKernel. The grade runs
// on four or eight pixels at once.
namespace oxel::GradeKernels {

// The uniforms of the grade kernel, one grade at one strength.
struct GradeUniforms {
    struct Move {
        float from = 0, to = 0, width = 45, saturation = 1;
    };
    RGB lift{0, 0, 0};
    RGB gamma{1, 1, 1};
    RGB gain{1, 1, 1};
    float sat = 1;
    float hold = 0;
    std::array<Move, 3> moves{};
    std::array<float, 3> lum{1, 1, 1};
    int moveCount = 0;
    float satShadows = 1;
    float satHighlights = 1;
    float contrast = 1;

    // A grade's values as the kernel takes them; moves the grade lacks change nothing.
    static GradeUniforms of(const SuggestedGrade& grade);
};

// Pixels, one vector a channel: four or eight of them, as wide as V.
template <class V>
struct RGBLanes {
    V r, g, b;

    static RGBLanes splat(RGB c) { return {lanes::splat<V>(c.r), lanes::splat<V>(c.g), lanes::splat<V>(c.b)}; }
    RGB at(size_t k) const { return {r[k], g[k], b[k]}; }

    // Neighbouring pixels, and back: twelve floats at a time shuffled into three vectors.
    OXEL_LANES_INLINE static RGBLanes load(const RGB* p)
    {
        if constexpr (lanes::widthOf<V> == 4) {
            return loadFour(p);
        } else {
            const RGBLanes<lanes::F4> low = loadFour(p), high = loadFour(p + 4);
            return {__builtin_shufflevector(low.r, high.r, 0, 1, 2, 3, 4, 5, 6, 7),
                    __builtin_shufflevector(low.g, high.g, 0, 1, 2, 3, 4, 5, 6, 7),
                    __builtin_shufflevector(low.b, high.b, 0, 1, 2, 3, 4, 5, 6, 7)};
        }
    }
    OXEL_LANES_INLINE void store(RGB* p) const
    {
        if constexpr (lanes::widthOf<V> == 4) {
            storeFour(*this, p);
        } else {
            storeFour(RGBLanes<lanes::F4>{__builtin_shufflevector(r, r, 0, 1, 2, 3),
                                          __builtin_shufflevector(g, g, 0, 1, 2, 3),
                                          __builtin_shufflevector(b, b, 0, 1, 2, 3)},
                      p);
            storeFour(RGBLanes<lanes::F4>{__builtin_shufflevector(r, r, 4, 5, 6, 7),
                                          __builtin_shufflevector(g, g, 4, 5, 6, 7),
                                          __builtin_shufflevector(b, b, 4, 5, 6, 7)},
                      p + 4);
        }
    }

private:
    OXEL_LANES_INLINE static RGBLanes<lanes::F4> loadFour(const RGB* p)
    {
        using lanes::F4;
        F4 v0, v1, v2;
        std::memcpy(&v0, reinterpret_cast<const float*>(p), sizeof v0);
        std::memcpy(&v1, reinterpret_cast<const float*>(p) + 4, sizeof v1);
        std::memcpy(&v2, reinterpret_cast<const float*>(p) + 8, sizeof v2);
        return {__builtin_shufflevector(__builtin_shufflevector(v0, v1, 0, 3, 6, 6), v2, 0, 1, 2, 5),
                __builtin_shufflevector(__builtin_shufflevector(v0, v1, 1, 4, 7, 7), v2, 0, 1, 2, 6),
                __builtin_shufflevector(__builtin_shufflevector(v0, v1, 2, 5, 5, 5), v2, 0, 1, 4, 7)};
    }
    OXEL_LANES_INLINE static void storeFour(const RGBLanes<lanes::F4>& c, RGB* p)
    {
        using lanes::F4;
        const F4 v0 = __builtin_shufflevector(__builtin_shufflevector(c.r, c.g, 0, 4, 1, 5), c.b, 0, 1, 4, 2);
        const F4 v1 = __builtin_shufflevector(__builtin_shufflevector(c.r, c.g, 2, 5, 6, 6), c.b, 1, 5, 0, 2);
        const F4 v2 = __builtin_shufflevector(__builtin_shufflevector(c.r, c.g, 3, 7, 7, 7), c.b, 6, 0, 1, 7);
        std::memcpy(reinterpret_cast<float*>(p), &v0, sizeof v0);
        std::memcpy(reinterpret_cast<float*>(p) + 4, &v1, sizeof v1);
        std::memcpy(reinterpret_cast<float*>(p) + 8, &v2, sizeof v2);
    }
};

template <class V>
struct HSVLanes {
    V h, s, v; // hue in turns (0...1)
};

inline float clampUnit(float x)
{
    return std::min(std::max(x, 0.0f), 1.0f);
}
inline RGB clampUnit(RGB c)
{
    return {clampUnit(c.r), clampUnit(c.g), clampUnit(c.b)};
}

// The signed hue difference from a to b in degrees, within [-180, 180).
inline float hueDelta(float a, float b)
{
    return b - a + 540 - 360 * std::floor((b - a + 540) / 360) - 180;
}
template <class V>
requires(lanes::widthOf<V> >= 4) OXEL_LANES_INLINE V hueDelta(float a, V b)
{
    return lanes::mod(b - a + 540.0f, 360) - 180.0f;
}

template <class V>
OXEL_LANES_INLINE HSVLanes<V> rgb2hsv(const RGBLanes<V>& c)
{
    using lanes::splat;
    const auto gAboveB = c.g >= c.b;
    const V px = gAboveB ? c.g : c.b, py = gAboveB ? c.b : c.g;
    const V pz = gAboveB ? splat<V>(0) : splat<V>(-1), pw = gAboveB ? splat<V>(-1.0f / 3) : splat<V>(2.0f / 3);
    const auto rAbove = c.r >= px;
    const V qx = rAbove ? c.r : px, qy = py, qz = rAbove ? pz : pw, qw = rAbove ? px : c.r;
    const V d = qx - lanes::min(qw, qy);
    const float e = 1e-6f;
    return {lanes::abs(qz + (qw - qy) / (6.0f * d + e)), d / (qx + e), qx};
}

// One channel of hsv2rgb, the channel's offset k being 1, 2/3 or 1/3.
template <class V>
OXEL_LANES_INLINE V hsvChannel(const HSVLanes<V>& c, float k)
{
    return c.v * (1.0f + c.s * (lanes::clamp(lanes::abs(lanes::fract(c.h + k) * 6.0f - 3.0f) - 1.0f, 0, 1) - 1.0f));
}

template <class V>
OXEL_LANES_INLINE RGBLanes<V> hsv2rgb(const HSVLanes<V>& c)
{
    return {hsvChannel(c, 1.0f), hsvChannel(c, 2.0f / 3), hsvChannel(c, 1.0f / 3)};
}

template <class V>
OXEL_LANES_INLINE HSVLanes<V> hueMove(const HSVLanes<V>& hsv, const GradeUniforms::Move& mv, float lum, V cw)
{
    using lanes::min;
    using lanes::splat;
    V h = hsv.h * 360.0f;
    const V w = lanes::max(splat<V>(0), 1.0f - lanes::abs(hueDelta(mv.from, h)) * (1.0f / mv.width)) * cw;
    // Where the move reaches none of the pixels, only the caps on saturation and value act.
    if (!lanes::anyAbove(w, 0)) return {hsv.h, min(splat<V>(1), hsv.s), min(splat<V>(1), hsv.v)};
    h = lanes::mod(h + hueDelta(mv.from, mv.to) * w + 360.0f, 360);
    const V sv = min(splat<V>(1), hsv.s * (1.0f + (mv.saturation - 1) * w));
    const V vv = min(splat<V>(1), hsv.v * (1.0f + (lum - 1) * w));
    return {h * (1.0f / 360), sv, vv};
}

// The S-curve of strength a = contrast - 1: ends fixed, slope 1 + a at mid-grey, 1 - 2a at the ends.
template <class V>
OXEL_LANES_INLINE V sCurve(V x, float a)
{
    const V oc = lanes::clamp(x, 0, 1);
    const V t = 2.0f * oc - 1.0f;
    return oc + a * (oc - 0.5f) * (1.0f - t * t);
}

template <class V>
OXEL_LANES_INLINE V power(V base, float exponent)
{
    return exponent == 1 ? base : lanes::pow(base, exponent);
}

// Pixels `s` graded, held off by the mask samples `m` (their red channel) times the hold.
// Always inlined, so that it takes the instruction set of the loop it runs in.
template <class V>
OXEL_LANES_INLINE RGBLanes<V> grade(const RGBLanes<V>& s, V m, const GradeUniforms& u)
{
    using lanes::clamp;
    using lanes::splat;
    RGBLanes<V> d = s;
    if (u.moveCount > 0) {
        HSVLanes<V> hsv = rgb2hsv(s);
        // The colour weight comes from the unmoved pixel, so grey stays out of every move.
        const V cw = clamp(hsv.s * (1.0f / 0.15f), 0, 1);
        for (int i = 0; i < std::min(u.moveCount, 3); ++i) hsv = hueMove(hsv, u.moves[size_t(i)], u.lum[size_t(i)], cw);
        d = hsv2rgb(hsv);
    }
    const V vr = lanes::max(d.r * u.gain.r + u.lift.r * (1.0f - d.r), splat<V>(0));
    const V vg = lanes::max(d.g * u.gain.g + u.lift.g * (1.0f - d.g), splat<V>(0));
    const V vb = lanes::max(d.b * u.gain.b + u.lift.b * (1.0f - d.b), splat<V>(0));
    RGBLanes<V> o{power(vr, u.gamma.r), power(vg, u.gamma.g), power(vb, u.gamma.b)};

    const float a = u.contrast - 1;
    o = {sCurve(o.r, a), sCurve(o.g, a), sCurve(o.b, a)};

    const V y = 0.2126f * o.r + 0.7152f * o.g + 0.0722f * o.b;
    const V shadowW = 1.0f - lanes::smoothstep(0, 0.35f, y);
    const V highW = lanes::smoothstep(0.65f, 1, y);
    const V zone = (1.0f + (u.satShadows - 1) * shadowW) * (1.0f + (u.satHighlights - 1) * highW);
    const V factor = u.sat * zone;
    o = {y + (o.r - y) * factor, y + (o.g - y) * factor, y + (o.b - y) * factor};

    const V k = 1.0f - u.hold * m;
    return {clamp(s.r + (o.r - s.r) * k, 0, 1), clamp(s.g + (o.g - s.g) * k, 0, 1), clamp(s.b + (o.b - s.b) * k, 0, 1)};
}

// One pixel through the many-pixel grade.
inline RGB grade(RGB s, RGB m, const GradeUniforms& u)
{
    return grade(RGBLanes<lanes::F4>::splat(s), lanes::splat<lanes::F4>(m.r), u).at(0);
}

// Runs of samples graded eight at a time where the processor has AVX2 and FMA, else four; `mask` may be null (nothing held off).
void gradeSpan(const RGB* s, const RGB* mask, RGB* out, size_t count, const GradeUniforms& u);

// How skin-coloured a pixel is: 1 inside the skin box of Cb and Cr, falling to 0 over 8 units
// outside it.
inline RGB skinChroma(RGB s)
{
    const RGB c = s * 255.0f;
    const float cb = 128 - 0.168736f * c.r - 0.331264f * c.g + 0.5f * c.b;
    const float cr = 128 + 0.5f * c.r - 0.418688f * c.g - 0.081312f * c.b;
    const float d = std::min(std::min(cr - 133, 173 - cr), std::min(cb - 77, 127 - cb));
    const float m = clampUnit(1 + d / 8);
    return {m, m, m};
}

// The signed change that turns b into a.
inline RGB colourChange(RGB a, RGB b)
{
    return a - b;
}

// The picture wearing the change, as far as the mask lets it.
inline RGB wearColour(RGB p, RGB d, RGB m)
{
    const RGB g = clampUnit(p + d);
    return p + (g - p) * m.r;
}

// The change encoded around mid-grey, which is no change.
inline RGB colourLayer(RGB d)
{
    const RGB half{0.5f, 0.5f, 0.5f};
    return clampUnit(d * 0.5f + half);
}

// 1 where the change is worn fully, less on skin.
inline RGB holdMask(RGB s, float hold)
{
    const float m = clampUnit(1 - hold * s.r);
    return {m, m, m};
}

} // namespace oxel::GradeKernels
