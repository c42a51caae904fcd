#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

// One piece of a zlib stream that is deflated in independent pieces, side by side, and joined in
// order: every piece but the final one ends on a byte boundary with a sync flush, and the Adler-32
// checksums of the pieces are combined, so the joined stream is one ordinary stream that any
// inflater reads.
struct DeflatedPiece {
    // Per-row differences of photographs leave little for string matching to find: run-length
    // matching at the fastest level compresses them as well as the default strategy at about
    // twice the speed.
    static constexpr int photographLevel = 1;
    static constexpr int photographStrategy = 3; // Z_RLE

    std::vector<uint8_t> bytes; // raw deflate data, no zlib header or trailer
    uint32_t checksum = 1;      // Adler-32 of the piece's input
    uint64_t length = 0;        // bytes of input
    std::optional<std::string> error;

    // Deflates `count` bytes at `level` with `strategy` (zlib's constants); the final piece,
    // `last`, closes the stream (it may be empty).
    static DeflatedPiece deflate(const uint8_t* input, size_t count, bool last, int level, int strategy);

    // The two-byte zlib header that announces a 32 KiB window and `level`.
    static std::array<uint8_t, 2> zlibHeader(int level);
    // `checksum` continued over the input of `next`.
    static uint32_t combined(uint32_t checksum, const DeflatedPiece& next);
    // The four-byte trailer: the checksum of the whole input, big-endian.
    static std::array<uint8_t, 4> zlibTrailer(uint32_t checksum);
};

} // namespace oxel
