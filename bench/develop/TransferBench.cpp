// Detail transfer at the sizes of a real job: a 6000 x 4000 original and a 2048 x 1365 render.

#include "ProcessCPUTime.h"

#include "develop/transfer/DetailTransfer.h"
#include "imaging/RenderBanded.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <string>

namespace oxel {
namespace {

constexpr int64_t originalWidth = 6000, originalHeight = 4000;
constexpr int64_t renderWidth = 2048, renderHeight = 1365;

// Discs, a gradient and fine stripes; the render is the same scene relit.
Image scene(int64_t width, int64_t height, bool relit)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        const double v = (y + 0.5) / double(height);
        for (int64_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / double(width);
            double r = 0.3 + 0.3 * u, g = 0.35 + 0.2 * v, b = 0.4;
            for (int disc = 0; disc < 5; ++disc) {
                const double cx = 0.15 + 0.17 * disc, cy = 0.3 + 0.08 * disc, radius = 0.08 + 0.02 * disc;
                if ((u - cx) * (u - cx) + (v - cy) * (v - cy) < radius * radius) {
                    r = 0.2 + 0.15 * disc;
                    g = 0.8 - 0.12 * disc;
                    b = 0.3 + 0.1 * (disc % 2);
                }
            }
            const double detail = 0.04 * std::sin(2 * M_PI * 300 * (u + 0.3 * v));
            const double gain = relit ? 1.2 - 0.5 * u : 1.0;
            auto byte = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255)); };
            row[4 * x] = byte((r + detail) * gain);
            row[4 * x + 1] = byte((g + detail) * gain);
            row[4 * x + 2] = byte((b + detail) * gain);
            row[4 * x + 3] = 255;
        }
    }
    return Image::fromBitmap(*bitmap);
}

const DetailTransfer& transfer()
{
    static const DetailTransfer shared(scene(originalWidth, originalHeight, false),
                                       scene(renderWidth, renderHeight, true), ColourSpace::sRGB());
    return shared;
}

// Resets the process's peak resident size, so each run's peak can be read on its own.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMemoryMB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void BM_PlanPreview(benchmark::State& state)
{
    transfer();
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) benchmark::DoNotOptimize(transfer().plan(false, true));
}
BENCHMARK(BM_PlanPreview)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlanExport(benchmark::State& state)
{
    transfer();
    double peak = 0;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        resetPeakMemory();
        benchmark::DoNotOptimize(transfer().plan(true, true));
        peak = std::max(peak, peakMemoryMB());
    }
    state.counters["peakMB"] = peak;
}
BENCHMARK(BM_PlanExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CombinePreview(benchmark::State& state)
{
    const TransferPlan plan = *transfer().plan(false, true).plan;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        const Image combined = *transfer().combine(plan, 0.7f);
        benchmark::DoNotOptimize(
            renderBanded(combined, renderWidth, renderHeight, false, ColourSpace::sRGB(), transfer().context()));
    }
}
BENCHMARK(BM_CombinePreview)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CombineFull(benchmark::State& state)
{
    const TransferPlan plan = *transfer().plan(true, true).plan;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        const Image combined = *transfer().combine(plan, 0.7f);
        benchmark::DoNotOptimize(
            renderBanded(combined, originalWidth, originalHeight, true, ColourSpace::sRGB(), transfer().context()));
    }
}
BENCHMARK(BM_CombineFull)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
