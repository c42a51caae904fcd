#pragma once

#include <cstdint>
#include <vector>

namespace oxel {

// The auxiliary type under which HEIC files carry an HDR gain map.
inline constexpr const char* heicGainMapAuxiliaryType = "urn:com:apple:photo:2020:aux:hdrgainmap";

// Turns the top-level image item `mapItem` of a HEIF file into a hidden auxiliary image of
// `primaryItem` carrying an HDR gain map: the item becomes hidden, gains an auxC property with
// the gain-map type and an auxl reference to the primary. The meta box grows, so every file
// offset behind it in the item locations moves along. False, leaving `file` as it was, when the
// file's boxes are not laid out as expected.
bool makeAuxiliaryGainMap(std::vector<uint8_t>& file, uint32_t mapItem, uint32_t primaryItem);

} // namespace oxel
