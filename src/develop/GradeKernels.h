#pragma once

#include "develop/SuggestedGrade.h"
#include "imaging/Pixel.h"

#include <algorithm>
#include <array>
#include <cmath>

// The per-pixel functions behind grading, skin hold and the colour layer. Each is a pure function
// of its samples and uniforms; the image operations run them through applyKernel.
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

struct HSV {
    float h, s, v;  // hue in turns (0...1)
};

inline float clampUnit(float x) { return std::min(std::max(x, 0.0f), 1.0f); }
inline RGB clampUnit(RGB c) { return {clampUnit(c.r), clampUnit(c.g), clampUnit(c.b)}; }

inline float smoothstep(float e0, float e1, float x)
{
    const float t = clampUnit((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

inline float fract(float x) { return x - std::floor(x); }

inline float mod(float x, float y) { return x - y * std::floor(x / y); }

// The signed hue difference from a to b in degrees, within [-180, 180).
inline float hueDelta(float a, float b) { return mod(b - a + 540, 360) - 180; }

inline HSV rgb2hsv(RGB c)
{
    struct V4 { float x, y, z, w; };
    const V4 p = c.g >= c.b ? V4{c.g, c.b, 0, -1.0f / 3} : V4{c.b, c.g, -1, 2.0f / 3};
    const V4 q = c.r >= p.x ? V4{c.r, p.y, p.z, p.x} : V4{p.x, p.y, p.w, c.r};
    const float d = q.x - std::min(q.w, q.y);
    const float e = 1e-6f;
    return {std::abs(q.z + (q.w - q.y) / (6 * d + e)), d / (q.x + e), q.x};
}

inline RGB hsv2rgb(HSV c)
{
    const auto channel = [&](float k) {
        const float p = std::abs(fract(c.h + k) * 6 - 3);
        return c.v * (1 + c.s * (clampUnit(p - 1) - 1));
    };
    return {channel(1.0f), channel(2.0f / 3), channel(1.0f / 3)};
}

inline HSV hueMove(HSV hsv, const GradeUniforms::Move& mv, float lum, float cw)
{
    float h = hsv.h * 360;
    const float w = std::max(0.0f, 1 - std::abs(hueDelta(mv.from, h)) / mv.width) * cw;
    h = mod(h + hueDelta(mv.from, mv.to) * w + 360, 360);
    const float sv = std::min(1.0f, hsv.s * (1 + (mv.saturation - 1) * w));
    const float vv = std::min(1.0f, hsv.v * (1 + (lum - 1) * w));
    return {h / 360, sv, vv};
}

inline float power(float base, float exponent) { return exponent == 1 ? base : std::pow(base, exponent); }

// One pixel `s` graded, held off by the mask sample `m` (its red channel) times the hold.
inline RGB grade(RGB s, RGB m, const GradeUniforms& u)
{
    const RGB c = s;
    RGB d = c;
    if (u.moveCount > 0) {
        HSV hsv = rgb2hsv(c);
        // The colour weight comes from the unmoved pixel, so grey stays out of every move.
        const float cw = clampUnit(hsv.s / 0.15f);
        for (int i = 0; i < std::min(u.moveCount, 3); ++i) hsv = hueMove(hsv, u.moves[i], u.lum[i], cw);
        d = hsv2rgb(hsv);
    }
    const RGB one{1, 1, 1};
    RGB v = d * u.gain + u.lift * (one - d);
    v = {std::max(v.r, 0.0f), std::max(v.g, 0.0f), std::max(v.b, 0.0f)};
    RGB o{power(v.r, u.gamma.r), power(v.g, u.gamma.g), power(v.b, u.gamma.b)};

    const float a = u.contrast - 1;
    const auto sCurve = [a](float x) {
        const float oc = clampUnit(x);
        const float t = 2 * oc - 1;
        return oc + a * (oc - 0.5f) * (1 - t * t);
    };
    o = {sCurve(o.r), sCurve(o.g), sCurve(o.b)};

    const float y = 0.2126f * o.r + 0.7152f * o.g + 0.0722f * o.b;
    const float shadowW = 1 - smoothstep(0, 0.35f, y);
    const float highW = smoothstep(0.65f, 1, y);
    const float zone = (1 + (u.satShadows - 1) * shadowW) * (1 + (u.satHighlights - 1) * highW);
    const RGB luma{y, y, y};
    o = luma + (o - luma) * (u.sat * zone);

    const float k = 1 - u.hold * m.r;
    return clampUnit(c + (o - c) * k);
}

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
