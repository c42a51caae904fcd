#include "GradeKernels.h"

namespace oxel::GradeKernels {
namespace {

RGB vector3(const SuggestedGrade::Triple& t) { return {float(t[0]), float(t[1]), float(t[2])}; }

} // namespace

GradeUniforms GradeUniforms::of(const SuggestedGrade& g)
{
    GradeUniforms u;
    u.lift = vector3(g.lift);
    u.gamma = vector3(g.gamma);
    u.gain = vector3(g.gain);
    u.sat = float(g.saturation);
    u.hold = float(g.skinHold);
    u.moveCount = int(std::min(g.hueMoves.size(), SuggestedGrade::maxHueMoves));
    for (size_t i = 0; i < size_t(u.moveCount); ++i) {
        const auto& move = g.hueMoves[i];
        u.moves[i] = {float(move.from), float(move.to), float(move.width), float(move.saturation)};
        u.lum[i] = float(move.luma);
    }
    u.satShadows = float(g.saturationShadows);
    u.satHighlights = float(g.saturationHighlights);
    u.contrast = float(g.contrast);
    return u;
}

OXEL_LANE_CLONES void gradeSpan(const RGB* s, const RGB* mask, RGB* out, size_t count, const GradeUniforms& u)
{
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const lanes::F4 m = mask ? RGB4::load(mask + i).r : lanes::splat(0);
        grade(RGB4::load(s + i), m, u).store(out + i);
    }
    for (; i < count; ++i) out[i] = grade(s[i], mask ? mask[i] : RGB{}, u);
}

} // namespace oxel::GradeKernels
