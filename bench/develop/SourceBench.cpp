// Loading a 6000 x 4000 JPEG original with a Display P3 profile and EXIF orientation 6, and the
// preview and thumbnail made from it.

#include "ProcessCPUTime.h"
#include "develop/BenchOriginal.h"
#include "develop/SourceImage.h"
#include "imaging/PictureCache.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <string>

namespace oxel {
namespace {

using bench::height;
using bench::originalPath;
using bench::trimAndResetResidentPeak;
using bench::width;

// Runs `work` once an iteration from an emptied cache, and gives the largest growth of the
// resident peak that one run caused, in bytes.
template <class Work>
double largestPeakGrowth(benchmark::State& state, Work work)
{
    double largest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        trimAndResetResidentPeak();
        const size_t before = residentBytes();
        state.ResumeTiming();
        work();
        state.PauseTiming();
        largest = std::max(largest, double(residentPeakBytes() - before));
        state.ResumeTiming();
    }
    return largest;
}

void BM_LoadOriginal(benchmark::State& state)
{
    const auto& path = originalPath();
    const double peak = largestPeakGrowth(state, [&] { benchmark::DoNotOptimize(SourceImage::load(path).pixelWidth); });
    state.counters["peak_vs_16bit"] = peak / (double(width) * height * 3 * 2);
}
BENCHMARK(BM_LoadOriginal)->Unit(benchmark::kMillisecond);

void BM_PreviewImage(benchmark::State& state)
{
    const SourceImage source = SourceImage::load(originalPath());
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        state.ResumeTiming();
        benchmark::DoNotOptimize(source.previewImage(SourceImage::sRGB(), false));
    }
}
BENCHMARK(BM_PreviewImage)->Unit(benchmark::kMillisecond);

void BM_Thumbnail1024(benchmark::State& state)
{
    const auto& path = originalPath();
    for (auto _ : state) benchmark::DoNotOptimize(SourceImage::thumbnail(path, 1024));
}
BENCHMARK(BM_Thumbnail1024)->Unit(benchmark::kMillisecond);

// What intake does for one dropped file: load it and take its thumbnail.
void BM_LoadForIntake(benchmark::State& state)
{
    const auto& path = originalPath();
    const double peak = largestPeakGrowth(state, [&] {
        benchmark::DoNotOptimize(SourceImage::load(path).thumbnail(SourceImage::intakeThumbnailPixels));
    });
    state.counters["peak_growth_MB"] = peak / 1e6;
}
BENCHMARK(BM_LoadForIntake)->Unit(benchmark::kMillisecond);

// 500 dropped files (hard links to four originals, each its own file to the program) loaded with
// their thumbnails on the pool, the thumbnails kept as intake keeps them.
void BM_Intake500(benchmark::State& state)
{
    constexpr int count = 500;
    const auto folder = std::filesystem::temp_directory_path() / "oxel-bench-intake";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> originals;
    for (int i = 0; i < 4; ++i) {
        originals.push_back(folder / ("made-" + std::to_string(i) + ".jpg"));
        std::filesystem::copy_file(originalPath(), originals.back());
    }
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder / ("dropped-" + std::to_string(i) + ".jpg"));
        std::filesystem::create_hard_link(originals[size_t(i) % originals.size()], files.back());
    }
    double peak = 0;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        trimAndResetResidentPeak();
        state.ResumeTiming();
        std::vector<std::optional<Bitmap>> thumbnails(files.size());
        tbb::parallel_for(size_t(0), files.size(), [&](size_t i) {
            thumbnails[i] = SourceImage::load(files[i]).thumbnail(SourceImage::intakeThumbnailPixels);
        });
        state.PauseTiming();
        peak = std::max(peak, double(residentPeakBytes()) / 1e9);
        thumbnails.clear();
        state.ResumeTiming();
    }
    state.counters["peak_resident_GB"] = peak;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Intake500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

} // namespace
} // namespace oxel
