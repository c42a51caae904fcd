#include "export/DeflatedPiece.h"

#include <zlib.h>

namespace oxel {

static_assert(DeflatedPiece::photographStrategy == Z_RLE);

DeflatedPiece DeflatedPiece::deflate(const uint8_t* input, size_t count, bool last, int level, int strategy)
{
    DeflatedPiece piece;
    z_stream stream{};
    const int started = deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    if (started != Z_OK) {
        piece.error = "zlib could not start (" + std::to_string(started) + ")";
        return piece;
    }
    piece.bytes.resize(deflateBound(&stream, uLong(count)) + 16);
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = uInt(count);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = 0;
    for (;;) {
        stream.next_out = piece.bytes.data() + produced;
        stream.avail_out = uInt(piece.bytes.size() - produced);
        const int result = ::deflate(&stream, flush);
        if (result == Z_STREAM_ERROR || result == Z_MEM_ERROR) {
            deflateEnd(&stream);
            piece.error = "zlib failed (" + std::to_string(result) + ")";
            return piece;
        }
        produced = piece.bytes.size() - stream.avail_out;
        const bool done = last ? result == Z_STREAM_END : (stream.avail_in == 0 && stream.avail_out > 0);
        if (done) break;
        piece.bytes.resize(piece.bytes.size() * 2);
    }
    deflateEnd(&stream);
    piece.bytes.resize(produced);
    piece.checksum = uint32_t(adler32(1, input, uInt(count)));
    piece.length = count;
    return piece;
}

std::array<uint8_t, 2> DeflatedPiece::zlibHeader(int level)
{
    // FLEVEL: 0 for the fastest levels, 1 fast, 2 default, 3 best; FCHECK makes the pair a
    // multiple of 31.
    const int flevel = level <= 1 ? 0 : level <= 5 ? 1 : level == 6 || level == Z_DEFAULT_COMPRESSION ? 2 : 3;
    const unsigned cmf = 0x78;
    unsigned flg = unsigned(flevel) << 6;
    flg += 31 - (cmf * 256 + flg) % 31;
    return {uint8_t(cmf), uint8_t(flg)};
}

uint32_t DeflatedPiece::combined(uint32_t checksum, const DeflatedPiece& next)
{
    return uint32_t(adler32_combine(checksum, next.checksum, z_off_t(next.length)));
}

std::array<uint8_t, 4> DeflatedPiece::zlibTrailer(uint32_t checksum)
{
    return {uint8_t(checksum >> 24), uint8_t(checksum >> 16), uint8_t(checksum >> 8), uint8_t(checksum)};
}

} // namespace oxel
