// The develop order at the sizes the application meets: a preview while a slider moves, the full
// export render, and the report JPEG. Grade, skin hold and grain are on in every case.

#include "ProcessCPUTime.h"
#include "develop/BenchOutcome.h"

#include "develop/DevelopOrder.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

namespace oxel {
namespace {

using bench::outcome;

void developPreview(benchmark::State& state, const ColourSpace& space)
{
    const auto developed = outcome(1878, 1252, 1878, 1252, space, false);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto bitmap = renderDeveloped(*developed, {false, 0.8, 0.7, true});
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
        auto bitmap = renderDeveloped(*developed, {false, 0.8, 0.7, true});
        if (!bitmap || bitmap->width() != 6000) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(bitmap);
    }
}

void BM_DevelopedJPEG(benchmark::State& state)
{
    const auto developed = outcome(3072, 2048, 3072, 2048, ColourSpace::sRGB(), false);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto jpeg = developedJPEG(*developed, {false, 0.8, 0.7, true}, 2048);
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
