// Whole layered exports of a 6000 x 4000 original: six layers (three with masks) and the composite,
// as lazy recipes over the original, written as a PSD and as a layered TIFF.
#include "export/PSDWriter.h"

#include "imaging/Filters.h"
#include "imaging/Kernel.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <random>

namespace oxel {
namespace {

constexpr int64_t width = 6000;
constexpr int64_t height = 4000;

// A photograph-like original: smooth gradients with fine noise, 16 bits a channel.
const Image& original()
{
    static const Image picture = [] {
        auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX16);
        std::mt19937 random(3);
        for (int64_t y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<uint16_t*>(bitmap->mutableRow(y));
            for (int64_t x = 0; x < width; ++x) {
                const uint32_t noise = random() & 0x3FF;
                row[x * 4 + 0] = uint16_t(8000 + x * 7 + noise);
                row[x * 4 + 1] = uint16_t(12000 + y * 9 + noise);
                row[x * 4 + 2] = uint16_t(20000 + (x + y) * 3 + noise);
                row[x * 4 + 3] = 65535;
            }
        }
        return Image::fromBitmap(*bitmap);
    }();
    return picture;
}

struct Export {
    std::vector<PSDLayer> layers;
    Image composite;
};

Export sixLayers()
{
    const Rect extent = Rect::ofSize(width, height);
    const Image& base = original();
    const Image smooth = gaussianBlur(base.clampedToExtent(), 3).cropped(extent);
    const Image light = applyKernel(
        extent, [](RGB src, RGB low) { return RGB{0.5f, 0.5f, 0.5f} + (src - low) * 0.5f; }, base, smooth);
    const auto luminanceMask = [&](float lift) {
        return applyKernel(
            extent, [lift](RGB p) {
                const float m = std::clamp(0.3f * p.r + 0.6f * p.g + 0.1f * p.b + lift, 0.0f, 1.0f);
                return RGB{m, m, m};
            },
            base);
    };
    const Image colour = applyKernel(extent, [](RGB p) { return RGB{0.5f + 0.05f * p.r, 0.5f, 0.5f - 0.05f * p.b}; }, base);
    const Image grain = applyKernel(
        extent, [](RGB p) { const float g = 0.5f + 0.02f * (p.g * 977.0f - std::floor(p.g * 977.0f) - 0.5f); return RGB{g, g, g}; },
        base);
    const Image composite = applyKernel(
        extent, [](RGB src, RGB low, RGB l) { return low * 0.3f + src * 0.7f + (l - RGB{0.5f, 0.5f, 0.5f}) * 0.4f; }, base,
        smooth, light);

    Export out;
    out.layers.push_back({"original", PSDBlend::normal, 1.0, true, base, std::nullopt, 255});
    out.layers.push_back({"smooth", PSDBlend::normal, 1.0, true, smooth, luminanceMask(-0.2f), 255});
    out.layers.push_back({"light (moved)", PSDBlend::linearLight, 1.0, true, light, luminanceMask(0.1f), 255});
    out.layers.push_back({"light", PSDBlend::linearLight, 0.8, true, light, luminanceMask(0.3f), 255});
    out.layers.push_back({"colour", PSDBlend::linearLight, 1.0, true, colour, luminanceMask(0.0f), 255});
    out.layers.push_back({"grain", PSDBlend::overlay, 1.0, true, grain, std::nullopt, 255});
    out.composite = composite;
    return out;
}

void exportLayered(benchmark::State& state, bool layeredTIFF)
{
    RenderContext context;
    PSDWriter writer;
    writer.width = width;
    writer.height = height;
    writer.context = &context;
    writer.dpi = 300;
    writer.iccProfile = ColourSpace::displayP3().icc;
    original();
    const Export job = sixLayers();
    const auto destination = std::filesystem::temp_directory_path() / (layeredTIFF ? "bench-layered.tif" : "bench-layered.psd");
    const auto processSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    };
    const double cpuBefore = processSeconds();
    for (auto _ : state) {
        if (auto error = writer.write(job.layers, destination, job.composite, layeredTIFF))
            state.SkipWithError(error->description().c_str());
    }
    // Work done by every thread, a figure that holds even when other programs share the cores.
    state.counters["process_cpu_s"] = (processSeconds() - cpuBefore) / double(state.iterations());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["file_MB"] = double(std::filesystem::file_size(destination)) / 1e6;
    std::filesystem::remove(destination);
}

void BM_ExportPSD(benchmark::State& state) { exportLayered(state, false); }
void BM_ExportLayeredTIFF(benchmark::State& state) { exportLayered(state, true); }

BENCHMARK(BM_ExportPSD)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportLayeredTIFF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace oxel
