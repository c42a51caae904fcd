// Whole flat exports, from a loaded 6000 x 4000 original and its 2048 x 1365 relit render to the
// renamed file: detail transfer, grade, skin hold and grain, written as JPEG (with and without
// the original's gain map), HEIC and 16-bit TIFF. Each benchmark also reports the growth of the
// process's peak memory while it ran and its CPU time per iteration.
#include "export/Exporter.h"

#include "imaging/Kernel.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <random>

namespace oxel {
namespace {

namespace fs = std::filesystem;

constexpr int64_t width = 6000, height = 4000;

const fs::path& folder()
{
    static const fs::path path = [] {
        const auto made = fs::temp_directory_path() / ("oxel-flat-bench-" + std::to_string(::getpid()));
        fs::create_directories(made);
        return made;
    }();
    return path;
}

// A photograph-like picture: gradients, hard edges and fine noise, 16 bits a channel.
Image scene()
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX16);
    std::mt19937 random(5);
    for (int64_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(bitmap->mutableRow(y));
        for (int64_t x = 0; x < width; ++x) {
            const uint32_t noise = random() & 0x3FF;
            const uint32_t edge = ((x / 230 + y / 170) % 2) ? 6000 : 0;
            row[x * 4 + 0] = uint16_t(8000 + x * 7 + noise + edge);
            row[x * 4 + 1] = uint16_t(12000 + y * 9 + noise + edge);
            row[x * 4 + 2] = uint16_t(20000 + (x + y) * 3 + noise);
            row[x * 4 + 3] = 65535;
        }
    }
    return Image::fromBitmap(*bitmap);
}

std::optional<CarriedGainMap> quarterSizeMap(std::span<const uint8_t>, const Image&, const RenderContext&, std::string& reason)
{
    reason = "applied:apple";
    return CarriedGainMap{{width / 4, height / 4, std::vector<uint8_t>(size_t(width / 4 * height / 4), 140), {}}, 1, {}, {}};
}

// The original as a camera JPEG on disk, with a quarter-size gain map when asked, loaded.
SourceImage original(bool gainMap)
{
    const auto file = folder() / (gainMap ? "original-hdr.jpg" : "original.jpg");
    if (!fs::exists(file)) {
        ExportOptions options;
        options.format = ExportFormat::jpeg;
        FlatWriteOriginal carried;
        FlatWriteServices services;
        if (gainMap) {
            carried.hasGainMap = true;
            carried.gainMapFile = std::make_shared<const std::vector<uint8_t>>();
            services.carryGainMap = quarterSizeMap;
        }
        writeFlat(scene(), carried, file, options, ColourSpace::sRGB(), RenderContext(), services);
    }
    return SourceImage::load(file);
}

// The relit render the backend sends: brighter and warmer, at 2048 x 1365.
std::shared_ptr<const JobOutcome> outcomeFor(const SourceImage& source)
{
    const Image lit = applyKernel(
        source.image.extent(), [](RGB p) { return RGB{p.r * 1.2f + 0.03f, p.g * 1.05f + 0.02f, p.b * 0.92f}; }, source.image);
    const Image render = materialised(lit.scaled(2048.0 / width, 1365.0 / height));
    auto outcome = std::make_shared<JobOutcome>("bench-job", render, DetailTransfer(source.image, render, source.colorSpace));
    GradeLooks looks;
    looks.chosen.lift = {0.02, 0.01, 0.0};
    looks.chosen.gain = {1.05, 1.0, 0.95};
    looks.chosen.saturation = 1.1;
    outcome->looks = looks;
    outcome->grainLevel = 2;
    return outcome;
}

long maxResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double processCPUSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void exportFlat(benchmark::State& state, ExportFormat format, bool gainMap)
{
    const SourceImage source = original(gainMap);
    const auto outcome = outcomeFor(source);
    ExportOptions options;
    options.format = format;
    options.sixteenBit = true;
    options.tiffLayered = false;
    const auto destination = folder() / ("export." + std::string(temporaryExtension(format)));
    const long memoryBefore = maxResidentKilobytes();
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        const auto result = exportPicture(source, *outcome, false, 0.8, 0.8, destination, options);
        if (const auto* failure = std::get_if<ExportFailure>(&result)) state.SkipWithError(failure->description().c_str());
        else if (gainMap && !std::get<ExportReport>(result).hdr) state.SkipWithError("the gain map was not carried");
    }
    state.counters["cpuMsPerIteration"] = (processCPUSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
    state.counters["peakGrowthMB"] = double(maxResidentKilobytes() - memoryBefore) / 1024.0;
    state.counters["peakMB"] = double(maxResidentKilobytes()) / 1024.0;
}

void BM_ExportJPEG(benchmark::State& state) { exportFlat(state, ExportFormat::jpeg, false); }
void BM_ExportJPEGGainMap(benchmark::State& state) { exportFlat(state, ExportFormat::jpeg, true); }
void BM_ExportHEIC(benchmark::State& state) { exportFlat(state, ExportFormat::heic, false); }
void BM_ExportTIFF16(benchmark::State& state) { exportFlat(state, ExportFormat::tiff, false); }

BENCHMARK(BM_ExportJPEG)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportJPEGGainMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportHEIC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportTIFF16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The files made for the benchmarks go when the program ends.
struct RemoveFolder {
    ~RemoveFolder()
    {
        std::error_code ignored;
        fs::remove_all(folder(), ignored);
    }
} removeFolder;

} // namespace
} // namespace oxel
