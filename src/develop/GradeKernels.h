#pragma once

#include "develop/Lanes.h"
#include "develop/SuggestedGrade.h"
#include "imaging/Pixel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>

// The per-pixel functions behind grading, skin hold and the colour layer. Each is a pure function
// of its samples and uniforms; the image operations run them through applyKernel. The grade runs
// on four pixels at once.
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

// Four pixels, one vector a channel.
struct RGB4 {
    lanes::F4 r, g, b;

    static RGB4 splat(RGB c) { return {lanes::splat(c.r), lanes::splat(c.g), lanes::splat(c.b)}; }

    // Four neighbouring pixels, and back.
    static RGB4 load(const RGB* p)
    {
        using lanes::F4;
        F4 v0, v1, v2;
        std::memcpy(&v0, &p[0], sizeof v0);
        std::memcpy(&v1, reinterpret_cast<const float*>(p) + 4, sizeof v1);
        std::memcpy(&v2, reinterpret_cast<const float*>(p) + 8, sizeof v2);
        return {__builtin_shufflevector(__builtin_shufflevector(v0, v1, 0, 3, 6, 6), v2, 0, 1, 2, 5),
                __builtin_shufflevector(__builtin_shufflevector(v0, v1, 1, 4, 7, 7), v2, 0, 1, 2, 6),
                __builtin_shufflevector(__builtin_shufflevector(v0, v1, 2, 5, 5, 5), v2, 0, 1, 4, 7)};
    }
    void store(RGB* p) const
    {
        using lanes::F4;
        const F4 v0 = __builtin_shufflevector(__builtin_shufflevector(r, g, 0, 4, 1, 5), b, 0, 1, 4, 2);
        const F4 v1 = __builtin_shufflevector(__builtin_shufflevector(r, g, 2, 5, 6, 6), b, 1, 5, 0, 2);
        const F4 v2 = __builtin_shufflevector(__builtin_shufflevector(r, g, 3, 7, 7, 7), b, 6, 0, 1, 7);
        std::memcpy(reinterpret_cast<float*>(p), &v0, sizeof v0);
        std::memcpy(reinterpret_cast<float*>(p) + 4, &v1, sizeof v1);
        std::memcpy(reinterpret_cast<float*>(p) + 8, &v2, sizeof v2);
    }
    RGB at(size_t k) const { return {r[k], g[k], b[k]}; }
    void set(size_t k, RGB c)
    {
        r[k] = c.r;
        g[k] = c.g;
        b[k] = c.b;
    }
};

struct HSV4 {
    lanes::F4 h, s, v;  // hue in turns (0...1)
};

inline float clampUnit(float x) { return std::min(std::max(x, 0.0f), 1.0f); }
inline RGB clampUnit(RGB c) { return {clampUnit(c.r), clampUnit(c.g), clampUnit(c.b)}; }

// The signed hue difference from a to b in degrees, within [-180, 180).
inline float hueDelta(float a, float b) { return b - a + 540 - 360 * std::floor((b - a + 540) / 360) - 180; }
inline lanes::F4 hueDelta(float a, lanes::F4 b) { return lanes::mod(b - a + 540.0f, 360) - 180.0f; }

[[gnu::always_inline]] inline HSV4 rgb2hsv(const RGB4& c)
{
    using namespace lanes;
    const auto gAboveB = c.g >= c.b;
    const F4 px = gAboveB ? c.g : c.b, py = gAboveB ? c.b : c.g;
    const F4 pz = gAboveB ? splat(0) : splat(-1), pw = gAboveB ? splat(-1.0f / 3) : splat(2.0f / 3);
    const auto rAbove = c.r >= px;
    const F4 qx = rAbove ? c.r : px, qy = py, qz = rAbove ? pz : pw, qw = rAbove ? px : c.r;
    const F4 d = qx - min(qw, qy);
    const float e = 1e-6f;
    return {abs(qz + (qw - qy) / (6.0f * d + e)), d / (qx + e), qx};
}

[[gnu::always_inline]] inline RGB4 hsv2rgb(const HSV4& c)
{
    using namespace lanes;
    const auto channel = [&](float k) { return c.v * (1.0f + c.s * (clamp(abs(fract(c.h + k) * 6.0f - 3.0f) - 1.0f, 0, 1) - 1.0f)); };
    return {channel(1.0f), channel(2.0f / 3), channel(1.0f / 3)};
}

[[gnu::always_inline]] inline HSV4 hueMove(const HSV4& hsv, const GradeUniforms::Move& mv, float lum, lanes::F4 cw)
{
    using namespace lanes;
    F4 h = hsv.h * 360.0f;
    const F4 w = max(splat(0), 1.0f - abs(hueDelta(mv.from, h)) * (1.0f / mv.width)) * cw;
    // Where the move reaches none of the four pixels, only the caps on saturation and value act.
    if (!anyAbove(w, 0)) return {hsv.h, min(splat(1), hsv.s), min(splat(1), hsv.v)};
    h = mod(h + hueDelta(mv.from, mv.to) * w + 360.0f, 360);
    const F4 sv = min(splat(1), hsv.s * (1.0f + (mv.saturation - 1) * w));
    const F4 vv = min(splat(1), hsv.v * (1.0f + (lum - 1) * w));
    return {h * (1.0f / 360), sv, vv};
}

inline lanes::F4 power(lanes::F4 base, float exponent) { return exponent == 1 ? base : lanes::pow(base, exponent); }

// Four pixels `s` graded, held off by the mask samples `m` (their red channel) times the hold.
// Always inlined, so that it takes the instruction set of the loop it runs in.
[[gnu::always_inline]] inline RGB4 grade(const RGB4& s, lanes::F4 m, const GradeUniforms& u)
{
    using namespace lanes;
    RGB4 d = s;
    if (u.moveCount > 0) {
        HSV4 hsv = rgb2hsv(s);
        // The colour weight comes from the unmoved pixel, so grey stays out of every move.
        const F4 cw = clamp(hsv.s * (1.0f / 0.15f), 0, 1);
        for (int i = 0; i < std::min(u.moveCount, 3); ++i) hsv = hueMove(hsv, u.moves[size_t(i)], u.lum[size_t(i)], cw);
        d = hsv2rgb(hsv);
    }
    const F4 vr = max(d.r * u.gain.r + u.lift.r * (1.0f - d.r), splat(0));
    const F4 vg = max(d.g * u.gain.g + u.lift.g * (1.0f - d.g), splat(0));
    const F4 vb = max(d.b * u.gain.b + u.lift.b * (1.0f - d.b), splat(0));
    RGB4 o{power(vr, u.gamma.r), power(vg, u.gamma.g), power(vb, u.gamma.b)};

    const float a = u.contrast - 1;
    const auto sCurve = [a](F4 x) {
        const F4 oc = clamp(x, 0, 1);
        const F4 t = 2.0f * oc - 1.0f;
        return oc + a * (oc - 0.5f) * (1.0f - t * t);
    };
    o = {sCurve(o.r), sCurve(o.g), sCurve(o.b)};

    const F4 y = 0.2126f * o.r + 0.7152f * o.g + 0.0722f * o.b;
    const F4 shadowW = 1.0f - smoothstep(0, 0.35f, y);
    const F4 highW = smoothstep(0.65f, 1, y);
    const F4 zone = (1.0f + (u.satShadows - 1) * shadowW) * (1.0f + (u.satHighlights - 1) * highW);
    const F4 factor = u.sat * zone;
    o = {y + (o.r - y) * factor, y + (o.g - y) * factor, y + (o.b - y) * factor};

    const F4 k = 1.0f - u.hold * m;
    return {clamp(s.r + (o.r - s.r) * k, 0, 1), clamp(s.g + (o.g - s.g) * k, 0, 1), clamp(s.b + (o.b - s.b) * k, 0, 1)};
}

// One pixel through the four-pixel grade.
inline RGB grade(RGB s, RGB m, const GradeUniforms& u) { return grade(RGB4::splat(s), lanes::splat(m.r), u).at(0); }

// Runs of samples graded four at a time; `mask` may be null (nothing held off).
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
inline RGB colourChange(RGB a, RGB b) { return a - b; }

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
