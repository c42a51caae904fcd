// Colour conversion and banded rendering at the size of a 24-megapixel original.
#include "develop/colour/RGBSpace.h"
#include "imaging/Kernel.h"
#include "imaging/RenderBanded.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

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
    const Image lifted = applyKernel(
        converted.extent(),
        [](RGB v) {
            return v * 0.9f + RGB{0.05f, 0.05f, 0.05f};
        },
        converted);
    return applyKernel(
        lifted.extent(), [](RGB v, RGB w) { return v * 0.5f + w * 0.5f; }, lifted, source());
}

// A line of /proc/self/status in kilobytes ("VmRSS", "VmHWM"), or 0.
long statusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return 0;
}

// Starts the peak afresh from the memory resident now, so that what benchmarks run before this
// one held and gave back doesn't count as this one's peak.
long restartPeakKilobytes()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKilobytes("VmRSS");
}

// CPU time of every thread of the process, in seconds: on a busy machine, the wall time an
// iteration would take on 8 idle cores is about this divided by 8.
double processCPUSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void reportCPUPerIteration(benchmark::State& state, double cpuBefore)
{
    state.counters["cpuMsPerIteration"] = (processCPUSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
}

void BM_KernelChain(benchmark::State& state)
{
    const Image chain = kernelChain();
    std::vector<RGB> out(size_t(width * height));
    const RenderContext context;
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        context.render(chain, {0, 0, width, height}, out.data(), size_t(width));
        benchmark::DoNotOptimize(out.data());
    }
    reportCPUPerIteration(state, cpuBefore);
}
BENCHMARK(BM_KernelChain)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderBanded8(benchmark::State& state)
{
    const Image chain = kernelChain();
    const RenderContext context;
    // The memory before the first render, with the source in memory; later runs see the same.
    static const long baseline = restartPeakKilobytes();
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        auto bitmap = renderBanded(chain, width, height, false, ColourSpace::sRGB(), context);
        benchmark::DoNotOptimize(bitmap);
    }
    reportCPUPerIteration(state, cpuBefore);
    // Growth of the peak beyond what the source already held: the output (96 MB) plus the band and
    // the tiles in flight, to stay within the output and 64 MB.
    state.counters["peakGrowthMB"] = double(statusKilobytes("VmHWM") - baseline) / 1024.0;
}
BENCHMARK(BM_RenderBanded8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
