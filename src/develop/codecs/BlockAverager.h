#pragma once

#include "develop/codecs/PictureCodec.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace oxel {

// Averages blocks of `factor` x `factor` samples into a smaller picture as the rows of the larger
// one come, top to bottom, so that the whole picture is never held: only one row of sums. Blocks
// at the right and bottom edges are partial and averaged over what they hold. The rows may carry
// every channel interleaved, or one plane at a time (all rows of one plane before the next).
class BlockAverager {
public:
    // How the samples lie in the rows handed in: `channels` interleaved a pixel, of the reduced
    // picture's depth (8 and 16-bit unsigned, 32-bit float), in native or big-endian order.
    struct RowLayout {
        int channels = 1;
        bool bigEndian = false;
    };

    // The largest whole factor whose reduced longer side still reaches `minLongSide`; 1 when
    // nothing smaller is asked for.
    static int64_t factorFor(int64_t width, int64_t height, int64_t minLongSide);
    // The side of a reduced picture.
    static int64_t reducedSide(int64_t side, int64_t factor) { return (side + factor - 1) / factor; }

    BlockAverager(Samples& out, int64_t sourceWidth, int64_t sourceHeight, int64_t factor, RowLayout layout);

    // Row `y` of the larger picture, its samples going to the channels from `firstChannel` on.
    void take(std::span<const uint8_t> row, int64_t y, int firstChannel = 0);

    // A picture already decoded whole, reduced by `factor`; itself when the factor is 1.
    static std::optional<Samples> reduced(const Samples& whole, int64_t factor);

private:
    template <class Read>
    void accumulate(const uint8_t* row, Read read);
    void emit(int64_t outY, int firstChannel, int64_t rows);

    Samples& out_;
    int64_t sourceWidth_, sourceHeight_, factor_;
    RowLayout layout_;
    std::vector<double> sums_;
};

} // namespace oxel
