#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace oxel {

// One dataset of an IPTC block: its record, its number within that record and its bytes as written.
struct IptcDataset {
    uint8_t record = 0;
    uint8_t number = 0;
    std::span<const uint8_t> data;
};

// The datasets of an IPTC block in the order they are written, found as the metadata library
// finds them: bytes before a dataset's marker are skipped, one that runs past the block is left
// out, and a damaged length ends the reading.
std::vector<IptcDataset> iptcDatasets(std::span<const uint8_t> block);

} // namespace oxel
