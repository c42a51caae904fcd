// One tile's picture of a 6000 x 4000 original, 480 pixels on its long side: made from the file
// with nothing cached (the preview plan's verdict known, as for a restored result), and made again
// for another light with the tile's inputs kept.

#include "ProcessCPUTime.h"
#include "develop/BenchOriginal.h"

#include "develop/SourceDecoding.h"
#include "develop/TilePicture.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"
#include "imaging/Kernel.h"
#include "imaging/PictureCache.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

constexpr int64_t tileLongSide = 480;

// The render as the backend sends it back: the original at its preview size, relit, as a JPEG.
std::shared_ptr<const std::vector<uint8_t>> keptRender(const SourceImage& source)
{
    const auto [width, height] = SourceImage::previewSize(double(source.pixelWidth), double(source.pixelHeight));
    const Image reduced = *source.reducedImage(int64_t(std::max(width, height)));
    const Rect extent = reduced.extent();
    const PixelRect area{0, 0, int64_t(width), int64_t(height)};
    const Image relit = applyKernel(
        area.toRect(),
        [](RGB p) {
            return RGB{p.r * 1.15f + 0.03f, p.g * 1.05f, p.b * 0.9f};
        },
        reduced.scaled(width / extent.width, height / extent.height));
    const auto bitmap = RenderContext().renderBitmap(relit, area, PixelFormat::RGBX8);
    return std::make_shared<const std::vector<uint8_t>>(*encodeJPEG(*bitmap, 90, ColourSpace::sRGB().icc));
}

// A result as the library restores it: the plan's verdict recorded, the plan itself deferred.
std::shared_ptr<DevelopInput> restoredResult()
{
    const SourceImage source = SourceImage::load(bench::originalPath());
    const Image render = *decodedPicture(keptRender(source));
    const DetailTransfer transfer(source.image, render, source.colorSpace, {}, reducedDecodes(source));
    const PlanVerdict verdict = PreviewPlan(transfer.plan(false, true).plan).verdict();
    auto result = std::make_shared<DevelopInput>("bench-tile", render, transfer);
    result->previewPlan = PreviewPlan::deferred(verdict, [transfer] { return transfer.plan(false, true).plan; });
    const SuggestedGrade chosen =
        GradeTheory::grade({GradeTheory::Temperature::sun, GradeTheory::Density::rich}, "bench");
    result->looks = GradeLooks{chosen, GradeRunnerUp::alternative(chosen, "warm-quiet"),
                               GradeLooks::skinMask(render, transfer.context())};
    result->grainLevel = 2;
    return result;
}

std::pair<int64_t, int64_t> tileSize(const DevelopInput& result)
{
    const auto [width, height] = developedSize(result);
    const double scale = double(tileLongSide) / double(std::max(width, height));
    return {std::llround(double(width) * scale), std::llround(double(height) * scale)};
}

void BM_TilePictureFromCold(benchmark::State& state)
{
    const auto result = restoredResult();
    const auto [width, height] = tileSize(*result);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        result->tileInputs = std::make_shared<TileInputCache>();
        state.ResumeTiming();
        auto picture = renderTilePicture(*result, {false, 0.8, 0.7, true}, width, height);
        if (!picture) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(BM_TilePictureFromCold)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TilePictureLightMove(benchmark::State& state)
{
    const auto result = restoredResult();
    const auto [width, height] = tileSize(*result);
    renderTilePicture(*result, {false, 0.5, 0.7, true}, width, height);
    int step = 0;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        const double strength = 0.05 + 0.9 * double(step++ % 19) / 18;
        auto picture = renderTilePicture(*result, {false, strength, 0.7, true}, width, height);
        if (!picture) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(BM_TilePictureLightMove)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
