#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace oxel::png {

// The contents of every "Raw profile type <type>" text chunk of a PNG file (the hexadecimal form
// programs store Exif and IPTC blocks in), in file order, read as the metadata library reads
// them; a profile that does not read is left out.
std::vector<std::vector<uint8_t>> rawProfiles(std::span<const uint8_t> file, std::string_view type);

} // namespace oxel::png
