// Whole flat exports of a 6000 x 4000 original relit at 2048 x 1365: detail transfer, grade,
// skin hold and grain, written as JPEG (with and without a gain map), HEIC and 16-bit TIFF.
#include "export/FlatWriter.h"

#include "develop/ColourWear.h"
#include "develop/DetailTransfer.h"
#include "develop/GradeWear.h"
#include "develop/Grain.h"
#include "imaging/Kernel.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <random>

namespace oxel {
namespace {

constexpr int64_t width = 6000, height = 4000;

const Image& original()
{
    static const Image picture = [] {
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
    }();
    return picture;
}

// The relit render the backend would send: brighter and warmer, at 2048 x 1365.
Image render()
{
    const Image lit = applyKernel(
        original().extent(), [](RGB p) { return RGB{p.r * 1.2f + 0.03f, p.g * 1.05f + 0.02f, p.b * 0.92f}; }, original());
    return materialised(lit.scaled(2048.0 / width, 1365.0 / height));
}

SuggestedGrade grade()
{
    SuggestedGrade grade;
    grade.lift = {0.02, 0.01, 0.0};
    grade.gain = {1.05, 1.0, 0.95};
    grade.saturation = 1.1;
    grade.contrast = 1.05;
    return grade;
}

// The developed picture, as the export driver builds it.
Image developed(const DetailTransfer& transfer)
{
    const auto planned = transfer.plan(true, true);
    const Image base = planned ? transfer.combine(*planned.plan, 0.8f).value_or(transfer.render()) : transfer.render();
    const Image coloured = wearGrade(base, grade(), 0.8, holdMask(std::nullopt, 0.7, base.extent()));
    const auto grain = Grain::image(2, "bench-job", coloured.extent());
    return grain ? Grain::apply(*grain, coloured) : coloured;
}

long maxResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::optional<CarriedGainMap> benchGainMap(std::span<const uint8_t>, const Image&, const RenderContext&, std::string& reason)
{
    reason = "applied:apple";
    CarriedGainMap map;
    map.picture = {1500, 1000, std::vector<uint8_t>(1500 * 1000, 140), {}};
    return map;
}

void exportFlat(benchmark::State& state, ExportFormat format, bool sixteenBit, bool gainMap)
{
    const DetailTransfer transfer(original(), render(), ColourSpace::sRGB());
    const auto folder = std::filesystem::temp_directory_path() / "oxel-flat-bench";
    std::filesystem::create_directories(folder);
    ExportOptions options;
    options.format = format;
    options.sixteenBit = sixteenBit;
    FlatWriteOriginal source;
    FlatWriteServices services;
    if (gainMap) {
        source.hasGainMap = true;
        source.gainMapFile = std::make_shared<const std::vector<uint8_t>>();
        services.carryGainMap = benchGainMap;
    }
    const long before = maxResidentKilobytes();
    for (auto _ : state) {
        const auto result = writeFlat(developed(transfer), source, folder / "out", options, ColourSpace::sRGB(), transfer.context(), services);
        if (!std::holds_alternative<FlatWriteResult>(result)) state.SkipWithError(std::get<ExportFailure>(result).description().c_str());
    }
    state.counters["peakGrowthMB"] = double(maxResidentKilobytes() - before) / 1024.0;
    std::filesystem::remove_all(folder);
}

void BM_ExportJPEG(benchmark::State& state) { exportFlat(state, ExportFormat::jpeg, false, false); }
void BM_ExportJPEGGainMap(benchmark::State& state) { exportFlat(state, ExportFormat::jpeg, false, true); }
void BM_ExportHEIC(benchmark::State& state) { exportFlat(state, ExportFormat::heic, false, false); }
void BM_ExportTIFF16(benchmark::State& state) { exportFlat(state, ExportFormat::tiff, true, false); }

BENCHMARK(BM_ExportJPEG)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportJPEGGainMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportHEIC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportTIFF16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace oxel
