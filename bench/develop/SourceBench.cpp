// Loading a 6000 x 4000 JPEG original with a Display P3 profile and EXIF orientation 6, and the
// preview and thumbnail made from it.

#include "develop/SourceImage.h"
#include "develop/codecs/JPEGEncoder.h"
#include "develop/codecs/Metadata.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
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

// A memory figure of /proc/self/status in bytes: "VmHWM:" is the resident peak since the last
// reset, "VmRSS:" the resident size now.
size_t memoryFigure(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0) return size_t(std::stoull(line.substr(name.size()))) * 1024;
    return 0;
}

void resetResidentPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_LoadOriginal(benchmark::State& state)
{
    const auto& path = originalPath();
    double peakRatio = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SourceCache::shared().clear();
        const size_t before = memoryFigure("VmRSS:");
        resetResidentPeak();
        state.ResumeTiming();
        const SourceImage source = SourceImage::load(path);
        benchmark::DoNotOptimize(source.pixelWidth);
        state.PauseTiming();
        const double decoded16 = double(width) * height * 3 * 2;
        peakRatio = std::max(peakRatio, double(memoryFigure("VmHWM:") - before) / decoded16);
        state.ResumeTiming();
    }
    state.counters["peak_vs_16bit"] = peakRatio;
}
BENCHMARK(BM_LoadOriginal)->Unit(benchmark::kMillisecond);

void BM_PreviewImage(benchmark::State& state)
{
    const SourceImage source = SourceImage::load(originalPath());
    for (auto _ : state) benchmark::DoNotOptimize(source.previewImage(SourceImage::sRGB(), false));
}
BENCHMARK(BM_PreviewImage)->Unit(benchmark::kMillisecond);

void BM_Thumbnail1024(benchmark::State& state)
{
    const auto& path = originalPath();
    for (auto _ : state) benchmark::DoNotOptimize(SourceImage::thumbnail(path, 1024));
}
BENCHMARK(BM_Thumbnail1024)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace oxel
