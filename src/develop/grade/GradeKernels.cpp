#include "develop/grade/GradeKernels.h"

#include <algorithm>

namespace oxel::GradeKernels {
namespace {

RGB vector3(const SuggestedGrade::Triple& t)
{
    return {float(t[0]), float(t[1]), float(t[2])};
}

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

namespace {

template <class V>
OXEL_LANES_INLINE void gradeRun(const RGB* s, const RGB* mask, RGB* out, size_t count, const GradeUniforms& u)
{
    constexpr size_t width = lanes::widthOf<V>;
    size_t i = 0;
    for (; i + width <= count; i += width) {
        const V m = mask ? RGBLanes<V>::load(mask + i).r : lanes::splat<V>(0);
        grade(RGBLanes<V>::load(s + i), m, u).store(out + i);
    }
    for (; i < count; ++i) out[i] = grade(s[i], mask ? mask[i] : RGB{}, u);
}

void gradeFour(const RGB* s, const RGB* mask, RGB* out, size_t count, const GradeUniforms& u)
{
    gradeRun<lanes::F4>(s, mask, out, count, u);
}

#if defined(__x86_64__)
[[gnu::target("avx2,fma")]] void gradeEight(const RGB* s, const RGB* mask, RGB* out, size_t count,
                                            const GradeUniforms& u)
{
    gradeRun<lanes::F8>(s, mask, out, count, u);
}

bool hasEightLanes()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#endif

} // namespace

void gradeSpan(const RGB* s, const RGB* mask, RGB* out, size_t count, const GradeUniforms& u)
{
#if defined(__x86_64__)
    static const bool eight = hasEightLanes();
    if (eight) return gradeEight(s, mask, out, count, u);
#endif
    gradeFour(s, mask, out, count, u);
}

} // namespace oxel::GradeKernels
