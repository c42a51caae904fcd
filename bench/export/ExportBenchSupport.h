#pragma once

// What the export benchmarks share: a loaded 6000 x 4000 original written once as a camera JPEG
// (with a quarter-size gain map when asked), the outcome of its relit 2048 x 1365 render, and the
// process's memory and CPU figures.
#include "export/Exporter.h"

#include "imaging/Kernel.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace oxel::benchsupport {

namespace fs = std::filesystem;

inline constexpr int64_t width = 6000, height = 4000;

inline const fs::path& folder()
{
    static const fs::path path = [] {
        const auto made = fs::temp_directory_path() / ("oxel-flat-bench-" + std::to_string(::getpid()));
        fs::create_directories(made);
        return made;
    }();
    return path;
}

// A photograph-like picture: gradients, hard edges and fine noise, 16 bits a channel. The
// gradients span the same values at any size.
inline Image scene(int64_t columns = width, int64_t rows = height)
{
    auto bitmap = Bitmap::allocate(columns, rows, PixelFormat::RGBX16);
    std::mt19937 random(5);
    for (int64_t y = 0; y < rows; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(bitmap->mutableRow(y));
        for (int64_t x = 0; x < columns; ++x) {
            const uint32_t noise = random() & 0x3FF;
            const uint32_t edge = ((x / 230 + y / 170) % 2) ? 6000 : 0;
            row[x * 4 + 0] = uint16_t(8000 + x * (42000 / columns) + noise + edge);
            row[x * 4 + 1] = uint16_t(12000 + y * (36000 / rows) + noise + edge);
            row[x * 4 + 2] = uint16_t(20000 + (x + y) * (30000 / (columns + rows)) + noise);
            row[x * 4 + 3] = 65535;
        }
    }
    return Image::fromBitmap(*bitmap);
}

inline std::optional<CarriedGainMap> quarterSizeMap(std::span<const uint8_t>, const Image&, const RenderContext&,
                                                    std::string& reason)
{
    reason = "applied:apple";
    return CarriedGainMap{
        {width / 4, height / 4, std::vector<uint8_t>(size_t(width / 4 * height / 4), 140), {}}, 1, {}, {}};
}

// The original as a camera JPEG on disk, with a quarter-size gain map when asked, loaded.
inline SourceImage original(bool gainMap)
{
    const auto file = folder() / (gainMap ? "original-hdr.jpg" : "original.jpg");
    if (!fs::exists(file)) {
        ExportOptions options;
        options.format = ExportFormat::jpeg;
        FlatWriteOriginal carried;
        FlatWriteServices services;
        if (gainMap) {
            carried.hasGainMap = true;
            carried.gainMapFile = FileBytes();
            services.carryGainMap = quarterSizeMap;
        }
        writeFlat(scene(), carried, file, options, ColourSpace::sRGB(), RenderContext(), services);
    }
    return SourceImage::load(file);
}

// The relit render the backend sends: brighter and warmer, at 2048 x 1365 whatever the original's size.
template <class Outcome = DevelopInput>
std::shared_ptr<const Outcome> outcomeFor(const SourceImage& source, const std::string& jobId = "bench-job")
{
    const Image lit = applyKernel(
        source.image.extent(),
        [](RGB p) {
            return RGB{p.r * 1.2f + 0.03f, p.g * 1.05f + 0.02f, p.b * 0.92f};
        },
        source.image);
    const Image render =
        materialised(lit.scaled(2048.0 / double(source.pixelWidth), 1365.0 / double(source.pixelHeight)));
    auto outcome = std::make_shared<Outcome>(jobId, render, DetailTransfer(source.image, render, source.colorSpace));
    GradeLooks looks;
    looks.chosen.lift = {0.02, 0.01, 0.0};
    looks.chosen.gain = {1.05, 1.0, 0.95};
    looks.chosen.saturation = 1.1;
    outcome->looks = looks;
    outcome->grainLevel = 2;
    return outcome;
}

inline long maxResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The process's peak resident memory since the last reset (VmHWM), in kilobytes.
inline long peakResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Starts the peak afresh from what is resident now, so that each benchmark measures its own.
inline void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double processCPUSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The files made for the benchmarks go when the program ends.
struct RemoveFolder {
    ~RemoveFolder()
    {
        std::error_code ignored;
        fs::remove_all(folder(), ignored);
    }
};
inline RemoveFolder removeFolder;

} // namespace oxel::benchsupport
