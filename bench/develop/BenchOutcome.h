#pragma once

// A delivered result as the job runner builds it, made from a drawn scene: the develop benchmarks
// render it, and the model's benchmarks hang it on their items.

#include "develop/DevelopInput.h"
#include "develop/EightBitPicture.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace oxel::bench {

// A face-coloured disc on a coloured background with fine stripes; the render is the same scene
// relit, darker to the right.
inline Image scene(int64_t width, int64_t height, bool relit)
{
    return eightBitPicture(width, height, [relit](double u, double v) {
        const bool face = (u - 0.4) * (u - 0.4) + (v - 0.45) * (v - 0.45) < 0.04;
        const double detail = 0.03 * std::sin(2 * M_PI * 200 * (u + 0.3 * v));
        const double gain = relit ? 1.15 - 0.4 * u : 1.0;
        const double r = face ? 0.9 : 0.25 + 0.4 * u, g = face ? 0.7 : 0.35 + 0.3 * v, b = face ? 0.58 : 0.6 - 0.3 * u;
        return std::array<double, 3>{(r + detail) * gain, (g + detail) * gain, (b + detail) * gain};
    });
}

// The plan made at delivery, the looks with their skin mask, a grain level. `upscale` plans at the
// original's size, as an export does. `Outcome` is the develop input or a type built on it.
template <class Outcome = DevelopInput>
std::shared_ptr<const Outcome> outcome(int64_t originalWidth, int64_t originalHeight, int64_t renderWidth,
                                       int64_t renderHeight, const ColourSpace& space, bool upscale)
{
    const Image render = scene(renderWidth, renderHeight, true);
    auto built = std::make_shared<Outcome>("bench-job", render,
                                           DetailTransfer(scene(originalWidth, originalHeight, false), render, space));
    PlanResult plan = built->transfer.plan(upscale, true);
    if (!plan) std::abort();
    built->previewPlan = std::move(plan.plan);
    SuggestedGrade chosen = GradeTheory::grade({GradeTheory::Temperature::sun, GradeTheory::Density::rich}, "bench");
    built->looks = GradeLooks{chosen, GradeRunnerUp::alternative(chosen, "warm-quiet"),
                              GradeLooks::skinMask(render, built->transfer.context())};
    built->grainLevel = 2;
    return built;
}

} // namespace oxel::bench
