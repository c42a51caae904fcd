// Loading a 6000 x 4000 JPEG original with a Display P3 profile and EXIF orientation 6, and the
// preview and thumbnail made from it.

#include "ProcessCPUTime.h"
#include "develop/SourceImage.h"
#include "develop/codecs/JPEGEncoder.h"
#include "develop/codecs/Metadata.h"
#include "imaging/PictureCache.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>
#include <tbb/parallel_for.h>

#include <cmath>
#include <fstream>
#include <malloc.h>
#include <string>

namespace oxel {
namespace {

constexpr int64_t width = 6000, height = 4000;

// A photograph-like picture with fine detail, so that the JPEG has a realistic size.
std::vector<uint8_t> photographJPEG()
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const double detail = 0.05 * std::sin(x * 0.7) * std::cos(y * 0.45);
            const auto byte = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255)); };
            row[4 * x] = byte(0.2 + 0.6 * u + detail);
            row[4 * x + 1] = byte(0.3 + 0.4 * v - detail);
            row[4 * x + 2] = byte(0.5 + 0.3 * std::sin(6 * u * v) + detail);
        }
    }
    auto jpeg = encodeJPEG(*bitmap, 92, ColourSpace::displayP3().icc);
    Metadata metadata;
    metadata.setText("Exif.Image.Orientation", "6");
    metadata.setText("Exif.Photo.DateTimeOriginal", "2024:06:01 12:00:00");
    metadata.writeInto(*jpeg);
    return *jpeg;
}

const std::filesystem::path& originalPath()
{
    static const std::filesystem::path path = [] {
        const auto p = std::filesystem::temp_directory_path() / "oxel-bench-original.jpg";
        const auto bytes = photographJPEG();
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }();
    return path;
}

// Hands freed memory back first, so that the next peak counts what is really new.
void trimAndResetResidentPeak()
{
    malloc_trim(0);
    resetResidentPeak();
}

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
