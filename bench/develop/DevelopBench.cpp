// The develop order at the sizes the application meets: a preview while a slider moves, the full
// export render, and the report JPEG. Grade, skin hold and grain are on in every case.

#include "ProcessCPUTime.h"
#include "develop/EightBitPicture.h"

#include "develop/DevelopOrder.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

namespace oxel {
namespace {

// A face-coloured disc on a coloured background with fine stripes; the render is the same scene
// relit, darker to the right.
Image scene(int64_t width, int64_t height, bool relit)
{
    return bench::eightBitPicture(width, height, [relit](double u, double v) {
        const bool face = (u - 0.4) * (u - 0.4) + (v - 0.45) * (v - 0.45) < 0.04;
        const double detail = 0.03 * std::sin(2 * M_PI * 200 * (u + 0.3 * v));
        const double gain = relit ? 1.15 - 0.4 * u : 1.0;
        const double r = face ? 0.9 : 0.25 + 0.4 * u, g = face ? 0.7 : 0.35 + 0.3 * v, b = face ? 0.58 : 0.6 - 0.3 * u;
        return std::array<double, 3>{(r + detail) * gain, (g + detail) * gain, (b + detail) * gain};
    });
}

// An outcome as the job runner builds it: the plan made at delivery, the looks with their skin
// mask, a grain level. `upscale` plans at the original's size, as an export does.
std::shared_ptr<const DevelopInput> outcome(int64_t originalWidth, int64_t originalHeight, int64_t renderWidth,
                                            int64_t renderHeight, const ColourSpace& space, bool upscale)
{
    const Image render = scene(renderWidth, renderHeight, true);
    auto built = std::make_shared<DevelopInput>(
        "bench-job", render, DetailTransfer(scene(originalWidth, originalHeight, false), render, space));
    PlanResult plan = built->transfer.plan(upscale, true);
    if (!plan) std::abort();
    built->previewPlan = std::move(plan.plan);
    SuggestedGrade chosen = GradeTheory::grade({GradeTheory::Temperature::sun, GradeTheory::Density::rich}, "bench");
    built->looks = GradeLooks{chosen, GradeRunnerUp::alternative(chosen, "warm-quiet"),
                              GradeLooks::skinMask(render, built->transfer.context())};
    built->grainLevel = 2;
    return built;
}

void developPreview(benchmark::State& state, const ColourSpace& space)
{
    const auto developed = outcome(1878, 1252, 1878, 1252, space, false);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto bitmap = renderDeveloped(*developed, false, 0.8, 0.7, true);
        if (!bitmap) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(bitmap);
    }
}

void BM_DevelopPreview(benchmark::State& state)
{
    developPreview(state, ColourSpace::sRGB());
}
void BM_DevelopPreviewP3(benchmark::State& state)
{
    developPreview(state, ColourSpace::displayP3());
}

void BM_RenderDeveloped(benchmark::State& state)
{
    const auto developed = outcome(6000, 4000, 2048, 1365, ColourSpace::sRGB(), true);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto bitmap = renderDeveloped(*developed, false, 0.8, 0.7, true);
        if (!bitmap || bitmap->width() != 6000) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(bitmap);
    }
}

void BM_DevelopedJPEG(benchmark::State& state)
{
    const auto developed = outcome(3072, 2048, 3072, 2048, ColourSpace::sRGB(), false);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto jpeg = developedJPEG(*developed, false, 0.8, 0.7, 2048, true);
        if (!jpeg) state.SkipWithError("encoding failed");
        benchmark::DoNotOptimize(jpeg);
    }
}

BENCHMARK(BM_DevelopPreview)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevelopPreviewP3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderDeveloped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DevelopedJPEG)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
