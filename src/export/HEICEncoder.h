#pragma once

#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// A gain map to carry as an auxiliary image: one byte a pixel, rows top first, and the original
// map's metadata as an XMP packet (empty when it had none).
struct GainMapPicture {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint8_t> pixels;
    std::string xmp;
};

// HEIC bytes of an 8-bit RGBX bitmap, HEVC at quality 0...1, with the bitmap's ICC profile, the
// given TIFF-structured Exif block and XMP packet (each left out when empty). A gain map, when given, becomes a hidden auxiliary image
// of the primary with its XMP attached. Nothing when encoding fails or the map cannot be carried.
std::optional<std::vector<uint8_t>> encodeHEIC(const Bitmap& bitmap, double quality, std::span<const uint8_t> exif = {},
                                               std::string_view xmp = {}, const GainMapPicture* gainMap = nullptr);

} // namespace oxel
