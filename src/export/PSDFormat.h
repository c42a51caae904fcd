#pragma once

#include "export/ByteWriter.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// Pieces of the Photoshop document layout shared by the layered and the flat writers.

// Sides above this make a large document (PSB); no document may exceed `largestSide`.
constexpr int64_t psdLargestSide = 30000;
constexpr int64_t largestSide = 300000;

inline bool needsLargeDocument(int64_t width, int64_t height)
{
    return width > psdLargestSide || height > psdLargestSide;
}

// "8BPS", version 1 (or 2 when large), three RGB channels, the size and depth, no colour mode data.
void putFileHeader(ByteWriter& out, bool large, int64_t width, int64_t height, uint16_t depth);

// Resolution resource: dpi as 16.16 fixed point, pixels per inch, in both directions. 16.16 cannot
// hold 65536 dpi or more; such a value is kept at the largest it can.
std::array<uint8_t, 16> resolutionResource(double dpi);

// The image resources section, length first: resolution, then the profile when there is one,
// then IPTC and Exif blocks when they are not empty.
void putImageResources(ByteWriter& out, double dpi, const std::optional<std::vector<uint8_t>>& iccProfile,
                       std::span<const uint8_t> iptc = {}, std::span<const uint8_t> exif = {});

} // namespace oxel
