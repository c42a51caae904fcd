// Colour conversion and banded rendering at the size of a 24-megapixel original.
#include "develop/RGBSpace.h"
#include "imaging/Kernel.h"
#include "imaging/RenderBanded.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <vector>

namespace oxel {
namespace {

constexpr int64_t width = 6000, height = 4000;

const Image& source()
{
    static const Image image = [] {
        Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBF);
        for (int64_t y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<RGB*>(bitmap.mutableRow(y));
            for (int64_t x = 0; x < width; ++x)
                row[x] = {float(x) / width, float(y) / height, float((x + y) % 997) / 996.0f};
        }
        return Image::fromBitmap(bitmap);
    }();
    return image;
}

// Display P3 to sRGB, the gamut clip, and two arithmetic kernels, evaluated in one pass.
Image kernelChain()
{
    const RGBSpace p3 = *RGBSpace::of(ColourSpace::displayP3());
    const Image clipped = p3.clipViaSRGB(source());
    const Image converted = *p3.toSRGB(clipped);
    const Image lifted = applyKernel(converted.extent(), [](RGB v) { return v * 0.9f + RGB{0.05f, 0.05f, 0.05f}; }, converted);
    return applyKernel(lifted.extent(), [](RGB v, RGB w) { return v * 0.5f + w * 0.5f; }, lifted, source());
}

long maxResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_KernelChain(benchmark::State& state)
{
    const Image chain = kernelChain();
    std::vector<RGB> out(size_t(width * height));
    const RenderContext context;
    for (auto _ : state) {
        context.render(chain, {0, 0, width, height}, out.data(), size_t(width));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_KernelChain)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderBanded8(benchmark::State& state)
{
    const Image chain = kernelChain();
    const RenderContext context;
    const long before = maxResidentKilobytes();
    for (auto _ : state) {
        auto bitmap = renderBanded(chain, width, height, false, ColourSpace::sRGB(), context);
        benchmark::DoNotOptimize(bitmap);
    }
    // Growth of the peak beyond what the source already held: the output plus the band and tiles.
    state.counters["peakGrowthMB"] = double(maxResidentKilobytes() - before) / 1024.0;
}
BENCHMARK(BM_RenderBanded8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
