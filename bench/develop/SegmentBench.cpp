// Person segmentation: one inference of the model on one thread, the skin mask of a picture at
// the mask's largest size with segmentation, and reading the built-in model.

#include "EightBitPicture.h"

#include "develop/grade/GradeLooks.h"
#include "develop/segment/EmbeddedModel.h"
#include "develop/segment/SelfieSegmenter.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

namespace oxel {
namespace {

std::shared_ptr<const SelfieSegmenter> segmenterOrSkip(benchmark::State& state)
{
    auto segmenter = SelfieSegmenter::standard();
    if (!segmenter) state.SkipWithError(segmenter.error().text().c_str());
    return segmenter ? *segmenter : nullptr;
}

// A warm figure on a cool background, with texture.
Image portrait(int64_t width, int64_t height)
{
    return bench::eightBitPicture(width, height, [](double u, double v) {
        const bool figure = (u - 0.5) * (u - 0.5) * 4 + (v - 0.7) * (v - 0.7) < 0.12 ||
                            (u - 0.5) * (u - 0.5) + (v - 0.3) * (v - 0.3) < 0.015;
        const double t = 0.04 * std::sin(2 * M_PI * 60 * (u + 0.5 * v));
        return figure ? std::array<double, 3>{0.88 + t, 0.68 + t, 0.56 + t}
                      : std::array<double, 3>{0.3 + t, 0.45 + t, 0.6 + t};
    });
}

void BM_PersonMask(benchmark::State& state)
{
    const auto segmenter = segmenterOrSkip(state);
    if (!segmenter) return;
    std::vector<float> input(256 * 256 * 3);
    for (size_t i = 0; i < input.size(); ++i) input[i] = float(0.5 + 0.4 * std::sin(double(i) * 0.001));
    for (auto _ : state) {
        auto p = segmenter->probabilities(input);
        benchmark::DoNotOptimize(p);
    }
}

void BM_SkinMask1024(benchmark::State& state)
{
    const auto segmenter = segmenterOrSkip(state);
    if (!segmenter) return;
    const Image picture = portrait(1024, 683);
    const RenderContext context;
    for (auto _ : state) {
        auto mask = GradeLooks::skinMask(picture, context, segmenter.get());
        if (!mask) state.SkipWithError("no mask");
        benchmark::DoNotOptimize(mask);
    }
}

void BM_ModelLoad(benchmark::State& state)
{
    const auto model = embeddedSegmentationModel();
    if (model.empty()) state.SkipWithError("no segmentation model was built in");
    for (auto _ : state) {
        auto network = segment::Network::load(model);
        if (!network) state.SkipWithError(network.error().text().c_str());
        benchmark::DoNotOptimize(network);
    }
}

BENCHMARK(BM_PersonMask)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SkinMask1024)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ModelLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
