#include "develop/codecs/IptcDatasets.h"

namespace oxel {

std::vector<IptcDataset> iptcDatasets(std::span<const uint8_t> block)
{
    constexpr uint8_t marker = 0x1C;
    constexpr size_t extended = 0x8000, longestLengthField = 4;
    std::vector<IptcDataset> datasets;
    size_t at = 0;
    while (at + 3 < block.size()) {
        if (block[at++] != marker) continue;
        const uint8_t record = block[at++], number = block[at++];
        if (block.size() - at < 2) break;
        size_t length = size_t(block[at]) << 8 | block[at + 1];
        at += 2;
        if (length & extended) {
            // The field names how many bytes after it hold the length.
            size_t fieldSize = length & ~extended;
            if (fieldSize > longestLengthField || fieldSize > block.size() - at) break;
            for (length = 0; fieldSize > 0; --fieldSize) length = length << 8 | block[at++];
        }
        if (length > block.size() - at) break;
        datasets.push_back({record, number, block.subspan(at, length)});
        at += length;
    }
    return datasets;
}

} // namespace oxel
