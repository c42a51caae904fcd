#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oxel::local {

// An 8-bit RGB picture in memory.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // width * height * 3, rows top to bottom
};

// Decodes a JPEG reduced to at most `longEdge` pixels on its long edge; nothing when the bytes are
// not a JPEG this decoder reads or the picture is implausibly large. Decoding and encoding use the
// fast integer transforms: the stand-in's pictures favour speed, and stay deterministic.
std::optional<RgbPicture> decodeReduced(std::string_view jpeg, int longEdge);

// JPEG bytes of the picture at the given quality; empty on failure.
std::string encodeJPEG(const RgbPicture& picture, int quality);

// The picture relit: a soft key light from the upper left over a lowered fill, with a gentle
// shoulder on the highlights. `strength` 0 leaves it unchanged. Deterministic.
RgbPicture relit(const RgbPicture& picture, double strength);

} // namespace oxel::local
