// Decoding a 6000 x 4000 16-bit PNG and TIFF original whole, and reduced for its preview (longer
// side 1872): time, and the growth of the resident peak the decode caused (the mapped file's
// pages included).

#include "develop/BenchOriginal.h"
#include "develop/SourceDecoding.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace oxel {
namespace {

using bench::height;
using bench::width;

constexpr int64_t previewLongSide = 1872;

// One row of 16-bit RGB with fine detail, so that the files have a realistic size.
std::vector<uint16_t> photographRow(int64_t y)
{
    std::vector<uint16_t> row(size_t(width) * 3);
    for (int64_t x = 0; x < width; ++x) {
        const double u = double(x) / width, v = double(y) / height;
        const double detail = 0.05 * std::sin(x * 0.7) * std::cos(y * 0.45);
        const auto sample = [](double value) { return uint16_t(std::lround(std::clamp(value, 0.0, 1.0) * 65535)); };
        row[size_t(x) * 3] = sample(0.2 + 0.6 * u + detail);
        row[size_t(x) * 3 + 1] = sample(0.3 + 0.4 * v - detail);
        row[size_t(x) * 3 + 2] = sample(0.5 + 0.3 * std::sin(6 * u * v) + detail);
    }
    return row;
}

std::filesystem::path benchFile(const char* extension)
{
    return std::filesystem::temp_directory_path() /
           ("oxel-bench-reduced-" + std::to_string(::getpid()) + "." + extension);
}

std::filesystem::path writePNG()
{
    const auto path = benchFile("png");
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    png_set_swap(png);
    for (int64_t y = 0; y < height; ++y) png_write_row(png, reinterpret_cast<png_bytep>(photographRow(y).data()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
}

std::filesystem::path writeTIFF()
{
    const auto path = benchFile("tif");
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(16));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    for (int64_t y = 0; y < height; ++y) TIFFWriteScanline(tiff, photographRow(y).data(), uint32_t(y), 0);
    TIFFClose(tiff);
    return path;
}

const std::filesystem::path& original(int64_t format)
{
    static const std::filesystem::path png = writePNG(), tiff = writeTIFF();
    static const bool removedAtExit = std::atexit([] {
                                          std::filesystem::remove(benchFile("png"));
                                          std::filesystem::remove(benchFile("tif"));
                                      }) == 0;
    (void)removedAtExit;
    return format == 0 ? png : tiff;
}

// Args: the format (0 PNG, 1 TIFF) and the longer side asked for (0 for the whole picture).
void BM_DecodeOriginal16(benchmark::State& state)
{
    const auto& path = original(state.range(0));
    const auto stamp = FileState::of(path);
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench::trimAndResetResidentPeak();
        const size_t before = residentBytes();
        state.ResumeTiming();
        auto decoded = decodeStampedFile(path, *stamp, state.range(1));
        state.PauseTiming();
        if (!decoded) state.SkipWithError("the original did not decode");
        peak = std::max(peak, double(residentPeakBytes() - before));
        decoded.reset();
        state.ResumeTiming();
    }
    state.counters["peak_growth_MB"] = peak / 1e6;
    // The file is mapped while it is decoded, and counts in the peak.
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_DecodeOriginal16)
    ->ArgNames({"tiff", "long_side"})
    ->ArgsProduct({{0, 1}, {0, previewLongSide}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
} // namespace oxel
