#pragma once

// The 6000 x 4000 JPEG original the develop benchmarks load (Display P3, EXIF orientation 6), and
// the process's memory figures.

#include "develop/codecs/JPEGEncoder.h"
#include "develop/codecs/Metadata.h"
#include "platform/ProcessMemory.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace oxel::bench {

inline constexpr int64_t width = 6000, height = 4000;

// A photograph-like picture with fine detail, so that the JPEG has a realistic size.
inline std::vector<uint8_t> photographJPEG(int64_t width = bench::width, int64_t height = bench::height)
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

inline const std::filesystem::path& originalPath()
{
    static const std::filesystem::path path = [] {
        // Each run writes its own, so that runs side by side never change each other's file.
        const auto p =
            std::filesystem::temp_directory_path() / ("oxel-bench-original-" + std::to_string(::getpid()) + ".jpg");
        const auto bytes = photographJPEG();
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }();
    // Registered after the path itself, so it runs while the path still exists.
    static const bool removedAtExit = std::atexit([] { std::filesystem::remove(originalPath()); }) == 0;
    (void)removedAtExit;
    return path;
}

// Hands freed memory back first, so that the next peak counts what is really new.
inline void trimAndResetResidentPeak()
{
    malloc_trim(0);
    resetResidentPeak();
}

} // namespace oxel::bench
