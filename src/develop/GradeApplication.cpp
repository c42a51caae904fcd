#include "SuggestedGrade.h"

#include "GradeKernels.h"
#include "Stretch.h"

#include "imaging/Kernel.h"

namespace oxel {
namespace {

RGB vector3(const SuggestedGrade::Triple& t) { return {float(t[0]), float(t[1]), float(t[2])}; }

GradeKernels::GradeUniforms uniformsOf(const SuggestedGrade& g)
{
    GradeKernels::GradeUniforms u;
    u.lift = vector3(g.lift);
    u.gamma = vector3(g.gamma);
    u.gain = vector3(g.gain);
    u.sat = float(g.saturation);
    u.hold = float(g.skinHold);
    // Moves the grade lacks are filled with moves that change nothing; the count keeps them out.
    for (size_t i = 0; i < std::min(g.hueMoves.size(), SuggestedGrade::maxHueMoves); ++i) {
        const auto& move = g.hueMoves[i];
        u.moves[i] = {float(move.from), float(move.to), float(move.width), float(move.saturation)};
        u.lum[i] = float(move.luma);
    }
    u.moveCount = int(std::min(g.hueMoves.size(), SuggestedGrade::maxHueMoves));
    u.satShadows = float(g.saturationShadows);
    u.satHighlights = float(g.saturationHighlights);
    u.contrast = float(g.contrast);
    return u;
}

bool isUsableMask(const std::optional<Image>& mask)
{
    return mask && !mask->isNull() && mask->extent().width > 0 && !mask->extent().isInfinite();
}

} // namespace

Image SuggestedGrade::apply(const Image& image, double strength, const std::optional<Image>& mask) const
{
    const GradeKernels::GradeUniforms u = uniformsOf(scaled(strength));
    const Rect extent = image.extent();
    if (!isUsableMask(mask)) {
        // No mask holds nothing off: every pixel takes the whole grade.
        constexpr RGB noHold{0, 0, 0};
        return applyKernel(extent, [u](RGB s) { return GradeKernels::grade(s, noHold, u); }, image);
    }
    const Image stretched = stretchedTo(*mask, extent).clampedToExtent();
    return applyKernel(extent, [u](RGB s, RGB m) { return GradeKernels::grade(s, m, u); }, image, stretched);
}

} // namespace oxel
