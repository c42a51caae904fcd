#include "export/ZlibSink.h"

#include "export/PSDWriterError.h"

#include <tbb/parallel_for.h>
#include <zlib.h>

#include <optional>
#include <vector>

namespace oxel {

namespace {

constexpr int level = 1;
// Per-row differences of photographs leave little for string matching to find: run-length
// matching compresses them as well as the default strategy at about twice the speed.
constexpr int strategy = Z_RLE;

struct Piece {
    std::vector<uint8_t> bytes;
    uint32_t checksum = 1;
    uLong length = 0;
    std::optional<PSDWriterError> error;
};

// A raw deflate of `count` bytes that ends on a byte boundary without closing the stream, or
// the final empty block when `last` is set.
void deflatePiece(const uint8_t* input, size_t count, bool last, Piece& piece)
{
    z_stream stream{};
    const int started = deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    if (started != Z_OK) {
        piece.error = PSDWriterError::io("zlib could not start (" + std::to_string(started) + ")");
        return;
    }
    piece.bytes.resize(deflateBound(&stream, uLong(count)) + 16);
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = uInt(count);
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    size_t produced = 0;
    for (;;) {
        stream.next_out = piece.bytes.data() + produced;
        stream.avail_out = uInt(piece.bytes.size() - produced);
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR || result == Z_MEM_ERROR) {
            deflateEnd(&stream);
            piece.error = PSDWriterError::io("zlib failed (" + std::to_string(result) + ")");
            return;
        }
        produced = piece.bytes.size() - stream.avail_out;
        const bool done = last ? result == Z_STREAM_END : (stream.avail_in == 0 && stream.avail_out > 0);
        if (done) break;
        piece.bytes.resize(piece.bytes.size() * 2);
    }
    deflateEnd(&stream);
    piece.bytes.resize(produced);
    piece.checksum = uint32_t(adler32(1, input, uInt(count)));
    piece.length = uLong(count);
}

} // namespace

ZlibSink::ZlibSink(std::filesystem::path path) : file_(std::move(path))
{}

void ZlibSink::put(const uint8_t* bytes, size_t count)
{
    if (written_ == 0) {
        // CMF: deflate with a 32 KiB window; FLG: fastest level, no dictionary, check bits.
        const uint8_t header[2] = {0x78, 0x01};
        file_.write(header, 2);
        written_ = 2;
    }
    file_.write(bytes, count);
    written_ += count;
}

void ZlibSink::write(const uint8_t* bytes, size_t count)
{
    if (count == 0) return;
    const size_t pieceCount = (count + pieceBytes - 1) / pieceBytes;
    std::vector<Piece> pieces(pieceCount);
    const auto compress = [&](size_t i) {
        const size_t start = i * pieceBytes;
        deflatePiece(bytes + start, std::min(pieceBytes, count - start), false, pieces[i]);
    };
    if (pieceCount == 1)
        compress(0);
    else
        tbb::parallel_for(size_t(0), pieceCount, compress);
    for (const Piece& piece : pieces) {
        if (piece.error) throw *piece.error;
        put(piece.bytes.data(), piece.bytes.size());
        checksum_ = uint32_t(adler32_combine(checksum_, piece.checksum, z_off_t(piece.length)));
    }
}

uint64_t ZlibSink::finish()
{
    Piece end;
    deflatePiece(nullptr, 0, true, end);
    if (end.error) throw *end.error;
    put(end.bytes.data(), end.bytes.size());
    const uint8_t trailer[4] = {uint8_t(checksum_ >> 24), uint8_t(checksum_ >> 16), uint8_t(checksum_ >> 8),
                                uint8_t(checksum_)};
    put(trailer, 4);
    file_.close();
    return written_;
}

} // namespace oxel
