#include "export/ZlibSink.h"

#include "export/DeflatedPiece.h"
#include "export/PSDWriterError.h"

#include <tbb/parallel_for.h>

#include <optional>
#include <vector>

namespace oxel {

namespace {

constexpr int level = DeflatedPiece::photographLevel;
constexpr int strategy = DeflatedPiece::photographStrategy;

void check(const DeflatedPiece& piece)
{
    if (piece.error) throw PSDWriterError::io(*piece.error);
}

} // namespace

ZlibSink::ZlibSink(std::filesystem::path path) : file_(std::move(path))
{}

void ZlibSink::put(const uint8_t* bytes, size_t count)
{
    if (written_ == 0) {
        const auto header = DeflatedPiece::zlibHeader(level);
        file_.write(header.data(), header.size());
        written_ = 2;
    }
    file_.write(bytes, count);
    written_ += count;
}

void ZlibSink::write(const uint8_t* bytes, size_t count)
{
    if (count == 0) return;
    const size_t pieceCount = (count + pieceBytes - 1) / pieceBytes;
    std::vector<DeflatedPiece> pieces(pieceCount);
    const auto compress = [&](size_t i) {
        const size_t start = i * pieceBytes;
        pieces[i] = DeflatedPiece::deflate(bytes + start, std::min(pieceBytes, count - start), false, level, strategy);
    };
    if (pieceCount == 1)
        compress(0);
    else
        tbb::parallel_for(size_t(0), pieceCount, compress);
    for (const DeflatedPiece& piece : pieces) {
        check(piece);
        put(piece.bytes.data(), piece.bytes.size());
        checksum_ = DeflatedPiece::combined(checksum_, piece);
    }
}

uint64_t ZlibSink::finish()
{
    const DeflatedPiece end = DeflatedPiece::deflate(nullptr, 0, true, level, strategy);
    check(end);
    put(end.bytes.data(), end.bytes.size());
    const auto trailer = DeflatedPiece::zlibTrailer(checksum_);
    put(trailer.data(), trailer.size());
    file_.close();
    return written_;
}

} // namespace oxel
