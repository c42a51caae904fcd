// Whole flat exports, from a loaded 6000 x 4000 original and its 2048 x 1365 relit render to the
// renamed file: detail transfer, grade, skin hold and grain, written as JPEG (with and without
// the original's gain map), HEIC, 16-bit TIFF and 16-bit PNG. Each benchmark also reports the growth of the
// process's peak memory while it ran and its CPU time per iteration.
#include "export/ExportBenchSupport.h"

#include <benchmark/benchmark.h>

namespace oxel {
namespace {

using namespace benchsupport;

void exportFlat(benchmark::State& state, ExportFormat format, bool gainMap)
{
    const SourceImage source = original(gainMap);
    const auto outcome = outcomeFor(source);
    ExportOptions options;
    options.format = format;
    options.sixteenBit = true;
    options.tiffLayered = false;
    const auto destination = folder() / ("export." + std::string(fileExtension(format)));
    resetPeakResident();
    const long memoryBefore = peakResidentKilobytes();
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        const auto result = exportPicture(source, *outcome, {false, 0.8, 0.8}, destination, options);
        if (const auto* failure = std::get_if<ExportFailure>(&result))
            state.SkipWithError(failure->description().c_str());
        else if (gainMap && !std::get<ExportReport>(result).hdr)
            state.SkipWithError("the gain map was not carried");
    }
    state.counters["cpuMsPerIteration"] = (processCPUSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
    // The whole process at its peak during the exports (the loaded original's pixels included),
    // and how much of it the exports added.
    state.counters["peakMB"] = double(peakResidentKilobytes()) / 1024.0;
    state.counters["peakGrowthMB"] = double(peakResidentKilobytes() - memoryBefore) / 1024.0;
    std::error_code error;
    state.counters["fileMB"] = double(std::filesystem::file_size(destination, error)) / 1e6;
}

void BM_ExportJPEG(benchmark::State& state)
{
    exportFlat(state, ExportFormat::jpeg, false);
}
void BM_ExportJPEGGainMap(benchmark::State& state)
{
    exportFlat(state, ExportFormat::jpeg, true);
}
void BM_ExportHEIC(benchmark::State& state)
{
    exportFlat(state, ExportFormat::heic, false);
}
void BM_ExportTIFF16(benchmark::State& state)
{
    exportFlat(state, ExportFormat::tiff, false);
}
void BM_ExportPNG16(benchmark::State& state)
{
    exportFlat(state, ExportFormat::png, false);
}

BENCHMARK(BM_ExportJPEG)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportJPEGGainMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportHEIC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportTIFF16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportPNG16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace oxel
