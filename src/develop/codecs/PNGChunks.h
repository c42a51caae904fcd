#pragma once

#include "develop/codecs/ByteIO.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace oxel::png {

struct PNGChunk {
    std::string_view type;
    std::span<const uint8_t> data;
};

// Visits the chunks in order until `visit` says to stop; false when a chunk runs past the end of
// the file before that.
template <class Visit>
bool walkChunks(std::span<const uint8_t> file, Visit visit)
{
    ByteReader in(file);
    if (!in.skip(8)) return false;
    while (true) {
        const auto length = in.u32be();
        const auto type = in.bytes(4);
        const auto data = length && type ? in.bytes(*length) : std::nullopt;
        if (!data || !in.skip(4)) return false;
        if (!visit(PNGChunk{std::string_view(reinterpret_cast<const char*>(type->data()), 4), *data})) return true;
    }
}

} // namespace oxel::png
