#include "imaging/Filters.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace oxel {
namespace {

Image randomPicture(int64_t width, int64_t height)
{
    static std::vector<Bitmap> cache;
    for (const Bitmap& b : cache) {
        if (b.width() == width && b.height() == height) return Image::fromBitmap(b);
    }
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBF);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto* p = reinterpret_cast<float*>(bitmap.mutableData());
    for (int64_t i = 0; i < width * height * 3; ++i) p[i] = unit(random);
    cache.push_back(bitmap);
    return Image::fromBitmap(bitmap);
}

void renderWhole(benchmark::State& state, const Image& image, int64_t width, int64_t height)
{
    std::vector<RGB> out(size_t(width * height));
    const RenderContext context;
    for (auto _ : state) {
        context.render(image, {0, 0, width, height}, out.data(), size_t(width));
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_GaussianSmall(benchmark::State& state)
{
    const Image source = randomPicture(6000, 4000);
    renderWhole(state, gaussianBlur(source.clampedToExtent(), 1.5).cropped(source.extent()), 6000, 4000);
}

void BM_GaussianLarge(benchmark::State& state)
{
    const Image source = randomPicture(6000, 4000);
    renderWhole(state, gaussianBlur(source.clampedToExtent(), 40).cropped(source.extent()), 6000, 4000);
}

void BM_LanczosDown(benchmark::State& state)
{
    const Image source = randomPicture(6000, 4000);
    const double scale = 1252.0 / 4000.0;
    const Image scaled = lanczosScaleTransform(source.clampedToExtent(), scale, (1878.0 / 6000.0) / scale);
    renderWhole(state, scaled.cropped(Rect::ofSize(1878, 1252)), 1878, 1252);
}

void BM_LanczosUp(benchmark::State& state)
{
    const Image source = randomPicture(2400, 1600);
    const Image scaled = lanczosScaleTransform(source.clampedToExtent(), 2.5, 1.0);
    renderWhole(state, scaled.cropped(Rect::ofSize(6000, 4000)), 6000, 4000);
}

BENCHMARK(BM_GaussianSmall)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GaussianLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LanczosDown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LanczosUp)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
