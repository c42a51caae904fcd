// Whole layered exports of a 6000 x 4000 original: the six layers of an export (four with masks)
// and the composite, written as a PSD and as a layered TIFF. Planning the transfer is not timed.
#include "export/PSDWriter.h"

#include "develop/ColourWear.h"
#include "develop/DetailTransfer.h"
#include "develop/Grain.h"
#include "imaging/Kernel.h"
#include "imaging/RenderContext.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>
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

// The layers an export makes, built as the export driver builds them: a planned detail transfer
// of a relit render at a quarter of the size, the light at 0.6, a warm colour change through a hold
// mask, and grain.
Export sixLayers(const RenderContext& context)
{
    const Image& base = original();
    const Rect extent = base.extent();
    const Image lit = applyKernel(
        extent, [](RGB p) { return RGB{p.r * 1.2f + 0.03f, p.g * 1.1f, p.b * 0.95f}; }, base);
    const DetailTransfer transfer(base, materialised(lit.scaled(0.25, 0.25), context), ColourSpace::sRGB());
    const auto planned = transfer.plan(true, true);
    if (!planned) return {};
    const TransferPlan& plan = *planned.plan;
    const float strength = transfer.effectiveStrength(plan, 0.6f);
    const Image combined = *transfer.combine(plan, strength);
    const Image warm = applyKernel(
        extent, [](RGB p) { return RGB{p.r * 1.04f, p.g, p.b * 0.96f}; }, combined);
    const Image change = colourChange(warm, combined, extent);
    const Image hold = holdMask(std::nullopt, 0.5, extent);
    const Image grain = *Grain::image(2, "bench-job", extent);
    const Image light = *DetailTransfer::lightLayer(plan);

    Export out;
    out.layers.push_back({"original", PSDBlend::normal, 1.0, true, plan.src, std::nullopt, 255});
    out.layers.push_back({"smooth", PSDBlend::normal, 1.0, true, plan.originalLow, DetailTransfer::smoothMask(plan), 255});
    out.layers.push_back({"light (moved)", PSDBlend::linearLight, 1.0, true, light, DetailTransfer::invertedSoftMask(plan), 255});
    out.layers.push_back({"light", PSDBlend::linearLight, strength, true, light, DetailTransfer::softMask(plan), 255});
    out.layers.push_back({"colour", PSDBlend::linearLight, 1.0, true, colourLayer(change), hold, 255});
    out.layers.push_back({"grain", PSDBlend::overlay, 1.0, true, grain, std::nullopt, 255});
    out.composite = Grain::apply(grain, wearColour(combined, change, hold));
    return out;
}

// The process's peak resident memory, counted again from now (Linux keeps it per process).
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A memory figure of this process ("VmRSS:", "VmHWM:") in MB.
double memoryMB(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
    return 0;
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
    // Planned once for both benchmarks and every repetition, as one export plans once.
    static const Export job = sixLayers(context);
    if (job.layers.empty()) {
        state.SkipWithError("the detail transfer declined the relit render");
        return;
    }
    const auto destination = std::filesystem::temp_directory_path() / (layeredTIFF ? "bench-layered.tif" : "bench-layered.psd");
    const auto processSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    };
    resetPeakMemory();
    const double memoryBefore = memoryMB("VmRSS:");
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
    // What the writer adds on top of the planned transfer that the export holds anyway.
    state.counters["write_added_MB"] = memoryMB("VmHWM:") - memoryBefore;
    state.counters["file_MB"] = double(std::filesystem::file_size(destination)) / 1e6;
    std::filesystem::remove(destination);
}

void BM_ExportPSD(benchmark::State& state) { exportLayered(state, false); }
void BM_ExportLayeredTIFF(benchmark::State& state) { exportLayered(state, true); }

BENCHMARK(BM_ExportPSD)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportLayeredTIFF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace oxel
