// Whole layered exports through the export driver, from a loaded 6000 x 4000 original and its
// 2048 x 1365 relit render: detail transfer planned at full size, grade, skin hold and grain,
// written with their six layers as a PSD and as a layered TIFF. Each benchmark reports the
// process's CPU time per export and its peak memory during the exports.
#include "export/ExportBenchSupport.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <string>

namespace oxel {
namespace {

using namespace benchsupport;

// Counts the process's peak resident memory again from now (Linux keeps it per process). Memory
// that an earlier repetition freed but the allocator still holds is handed back first, so that it
// doesn't count as this export's.
void resetPeakMemory()
{
    malloc_trim(0);
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

void exportLayered(benchmark::State& state, ExportFormat format)
{
    const SourceImage source = original(false);
    const auto outcome = outcomeFor(source);
    ExportOptions options;
    options.format = format;
    options.tiffLayered = true;
    const auto destination = folder() / (format == ExportFormat::psd ? "layered.psd" : "layered.tif");
    resetPeakMemory();
    // What is resident before the export: the loaded original, its render and whatever earlier
    // repetitions left behind.
    const double residentBefore = memoryMB("VmRSS:");
    const double cpuBefore = processCPUSeconds();
    for (auto _ : state) {
        const auto result = exportPicture(source, *outcome, {false, 0.6, 0.8}, destination, options);
        if (const auto* failure = std::get_if<ExportFailure>(&result))
            state.SkipWithError(failure->description().c_str());
        else if (!std::get<ExportReport>(result).layered)
            state.SkipWithError("the export fell back to a flat file");
    }
    state.counters["cpuMsPerIteration"] = (processCPUSeconds() - cpuBefore) * 1000.0 / double(state.iterations());
    state.counters["exportPeakMB"] = memoryMB("VmHWM:");
    state.counters["residentBeforeMB"] = residentBefore;
    state.counters["fileMB"] = double(std::filesystem::file_size(destination)) / 1e6;
}

void BM_ExportPSD(benchmark::State& state)
{
    exportLayered(state, ExportFormat::psd);
}
void BM_ExportLayeredTIFF(benchmark::State& state)
{
    exportLayered(state, ExportFormat::tiff);
}

BENCHMARK(BM_ExportPSD)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportLayeredTIFF)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace oxel
