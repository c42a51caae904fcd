#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// The transformative properties a HEIF container gives one item ('irot' and 'imir'), as EXIF
// orientations to apply one after the other, in the container's order. Empty when the item has
// none; nothing when the container's item properties cannot be read.
std::optional<std::vector<int>> heifItemTransforms(std::span<const uint8_t> file, uint32_t itemID);

} // namespace oxel
