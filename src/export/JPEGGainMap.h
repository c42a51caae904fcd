#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace oxel {

// A JPEG file of two pictures in the Multi-Picture Format: `primary` with an MPF index (APP2,
// after its leading application segments) whose second entry points at `gainMap`, which is
// appended after the primary with `gainMapXmp` as its own XMP (APP1). Nothing when either
// stream is not a JPEG stream or the file would outgrow the index's 32-bit offsets.
std::optional<std::vector<uint8_t>> withGainMapPicture(std::span<const uint8_t> primary,
                                                       std::span<const uint8_t> gainMap, std::string_view gainMapXmp);

// The position after the SOI marker and the application segments that follow it directly.
std::optional<size_t> endOfLeadingApplicationSegments(std::span<const uint8_t> jpeg);

} // namespace oxel
