#include "export/PNGEncoder.h"

#include "export/DeflatedPiece.h"
#include "platform/Diagnostics.h"

#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

namespace oxel {

namespace {

constexpr std::string_view pngSignature("\x89PNG\r\n\x1a\n", 8);
// Lengths and sizes in a PNG file are at most 2^31 - 1.
constexpr int64_t pngLargest = 0x7FFFFFFF;

// Measured with bench_export's BM_ExportPNG16 on a 6000 x 4000 16-bit picture: run-length
// matching wrote the same size (113.16 MB) as level 6 of the default strategy (113.16 MB) with
// 40% less processor time; level 1 of the default strategy was both slower and larger (115.6 MB).
constexpr int level = DeflatedPiece::photographLevel;
constexpr int strategy = DeflatedPiece::photographStrategy;
// Rows of a black-and-white picture repeat each sample three times, which run-length matching
// cannot use at 16 bits (a sample's two bytes alternate): string matching at level 2 writes them
// about half as large, close to level 6, in less time than run-length matching takes.
constexpr int greyLevel = 2;
constexpr int greyStrategy = 0; // Z_DEFAULT_STRATEGY
// Rows are deflated in pieces of about this many filtered bytes, side by side.
constexpr size_t pieceBytes = size_t(1) << 20;

void putU32(std::vector<uint8_t>& out, uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    out.insert(out.end(), bytes, bytes + 4);
}

void putChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data)
{
    putU32(out, uint32_t(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    putU32(out, uint32_t(crc32(0, out.data() + typeAt, uInt(out.size() - typeAt))));
}

// `bytes` of raw deflate data made into an image data chunk in place: the length and type go in
// front, the checksum behind, so that the chunk is whole before it reaches the serial writer.
void frameImageData(std::vector<uint8_t>& bytes)
{
    const uint32_t length = uint32_t(bytes.size());
    const uint8_t front[8] = {
        uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 'I', 'D', 'A', 'T'};
    bytes.insert(bytes.begin(), front, front + 8);
    putU32(bytes, uint32_t(crc32(0, bytes.data() + 4, uInt(bytes.size() - 4))));
}

// The twelve bytes of the end chunk.
constexpr uint8_t endChunk[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

void putHeader(std::vector<uint8_t>& out, const Bitmap& bitmap, bool sixteen)
{
    std::vector<uint8_t> header;
    putU32(header, uint32_t(bitmap.width()));
    putU32(header, uint32_t(bitmap.height()));
    header.insert(header.end(), {uint8_t(sixteen ? 16 : 8), 2 /* RGB */, 0, 0, 0 /* not interlaced */});
    putChunk(out, "IHDR", header);
}

void putProfile(std::vector<uint8_t>& out, const std::vector<uint8_t>& icc)
{
    if (icc.empty()) return;
    uLongf packedSize = compressBound(uLong(icc.size()));
    std::vector<uint8_t> chunk(12 + 2 + packedSize);
    std::memcpy(chunk.data(), "ICC Profile", 12); // name, its terminating zero, then the method 0
    chunk[12] = 0;
    if (compress2(chunk.data() + 13, &packedSize, icc.data(), uLong(icc.size()), Z_BEST_COMPRESSION) != Z_OK) return;
    chunk.resize(13 + packedSize);
    putChunk(out, "iCCP", chunk);
}

void putResolution(std::vector<uint8_t>& out, double dpi)
{
    const double perMetre = dpi / 0.0254;
    if (!(perMetre >= 1 && perMetre <= double(pngLargest))) return;
    std::vector<uint8_t> chunk;
    putU32(chunk, uint32_t(std::lround(perMetre)));
    putU32(chunk, uint32_t(std::lround(perMetre)));
    chunk.push_back(1); // per metre
    putChunk(out, "pHYs", chunk);
}

// One row as the file stores it: R, G, B, 16-bit samples big-endian; the fourth channel is dropped.
void packRow(const Bitmap& bitmap, int64_t y, bool sixteen, uint8_t* out)
{
    const int64_t width = bitmap.width();
    if (sixteen) {
        const auto* samples = reinterpret_cast<const uint16_t*>(bitmap.row(y));
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint16_t v = samples[4 * x + c];
                out[6 * x + 2 * c] = uint8_t(v >> 8);
                out[6 * x + 2 * c + 1] = uint8_t(v);
            }
    } else {
        const uint8_t* samples = bitmap.row(y);
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) out[3 * x + c] = samples[4 * x + c];
    }
}

uint8_t paethPredictor(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// `row` less its prediction from the byte to the left (a), the byte above (b) and the byte above
// the left one (c), into `out`; the sum of the results read as signed bytes.
template <class Predict>
uint64_t filtered(const uint8_t* row, const uint8_t* above, size_t length, size_t pixelBytes, uint8_t* out,
                  Predict predict)
{
    uint64_t cost = 0;
    for (size_t i = 0; i < pixelBytes; ++i) {
        out[i] = uint8_t(row[i] - predict(0, above[i], 0));
        cost += uint64_t(std::abs(int(int8_t(out[i]))));
    }
    for (size_t i = pixelBytes; i < length; ++i) {
        out[i] = uint8_t(row[i] - predict(row[i - pixelBytes], above[i], above[i - pixelBytes]));
        cost += uint64_t(std::abs(int(int8_t(out[i]))));
    }
    return cost;
}

// Filters `row` against `above` (zeros for the first row) with each of the five filters and keeps
// the one whose bytes, read as signed, sum smallest: the usual choice for photographs. `fast`
// takes the "sub" filter for every row instead.
void filterRow(const uint8_t* row, const uint8_t* above, size_t length, size_t pixelBytes, uint8_t* out,
               std::vector<uint8_t>& candidate, bool fast)
{
    if (fast) {
        out[0] = 1;
        filtered(row, above, length, pixelBytes, out + 1, [](int a, int, int) { return a; });
        return;
    }
    candidate.resize(length);
    uint64_t best = UINT64_MAX;
    const auto keep = [&](uint8_t type, uint64_t cost) {
        if (cost >= best) return;
        best = cost;
        out[0] = type;
        std::memcpy(out + 1, candidate.data(), length);
    };
    uint8_t* c = candidate.data();
    keep(0, filtered(row, above, length, pixelBytes, c, [](int, int, int) { return 0; }));
    keep(1, filtered(row, above, length, pixelBytes, c, [](int a, int, int) { return a; }));
    keep(2, filtered(row, above, length, pixelBytes, c, [](int, int b, int) { return b; }));
    keep(3, filtered(row, above, length, pixelBytes, c, [](int a, int b, int) { return (a + b) / 2; }));
    keep(4, filtered(row, above, length, pixelBytes, c, paethPredictor));
}

struct RowRange {
    int64_t first = 0;
    int64_t end = 0;
};

// Whether every pixel of rows `range` has equal red, green and blue.
bool rowsAreGrey(const Bitmap& bitmap, bool sixteen, RowRange range)
{
    const auto grey = [&](const auto* samples) {
        for (int64_t x = 0; x < bitmap.width(); ++x)
            if (samples[4 * x] != samples[4 * x + 1] || samples[4 * x] != samples[4 * x + 2]) return false;
        return true;
    };
    for (int64_t y = range.first; y < range.end; ++y)
        if (!(sixteen ? grey(reinterpret_cast<const uint16_t*>(bitmap.row(y))) : grey(bitmap.row(y)))) return false;
    return true;
}

// Rows `range` filtered and deflated as one piece of the image data stream.
DeflatedPiece deflatedRows(const Bitmap& bitmap, bool sixteen, bool fast, RowRange range)
{
    const size_t pixelBytes = sixteen ? 6 : 3, length = size_t(bitmap.width()) * pixelBytes;
    std::vector<uint8_t> above(length, 0), row(length), candidate;
    if (range.first > 0) packRow(bitmap, range.first - 1, sixteen, above.data());
    std::vector<uint8_t> filtered(size_t(range.end - range.first) * (length + 1));
    for (int64_t y = range.first; y < range.end; ++y) {
        packRow(bitmap, y, sixteen, row.data());
        filterRow(row.data(), above.data(), length, pixelBytes,
                  filtered.data() + size_t(y - range.first) * (length + 1), candidate, fast);
        std::swap(row, above);
    }
    const bool grey = sixteen && rowsAreGrey(bitmap, sixteen, range);
    DeflatedPiece piece = DeflatedPiece::deflate(filtered.data(), filtered.size(), false, grey ? greyLevel : level,
                                                 grey ? greyStrategy : strategy);
    if (!piece.error) frameImageData(piece.bytes);
    return piece;
}

// The image data as IDAT chunks, one a piece, then the end chunk, through `sink`: pieces of rows
// are filtered, deflated and framed on all cores, a few at a time, and handed on in order as one
// zlib stream.
bool putImageData(const Bitmap& bitmap, bool sixteen, bool fast, const PNGSink& sink)
{
    const size_t rowLength = size_t(bitmap.width()) * (sixteen ? 6 : 3) + 1;
    const int64_t rowsPerPiece = int64_t(std::max<size_t>(1, pieceBytes / rowLength));
    uint32_t checksum = 1;
    // Written by the last stage, read by the first: once the sink refuses, no more rows are taken.
    std::atomic<bool> failed = false;
    int64_t nextRow = 0;
    const auto nextRange = [&](tbb::flow_control& control) {
        if (failed || nextRow >= bitmap.height()) control.stop();
        const RowRange range{nextRow, std::min(bitmap.height(), nextRow + rowsPerPiece)};
        nextRow = range.end;
        return range;
    };
    const auto deflate = [&](RowRange range) { return deflatedRows(bitmap, sixteen, fast, range); };
    const auto hand = [&](DeflatedPiece piece) {
        if (piece.error) diagnose("export", "png: " + *piece.error);
        failed = failed || piece.error.has_value();
        if (failed) return;
        checksum = DeflatedPiece::combined(checksum, piece);
        failed = !sink(piece.bytes);
    };
    std::vector<uint8_t> header;
    putChunk(header, "IDAT", DeflatedPiece::zlibHeader(level));
    if (!sink(header)) return false;
    tbb::parallel_pipeline(size_t(2 * tbb::this_task_arena::max_concurrency()),
                           tbb::make_filter<void, RowRange>(tbb::filter_mode::serial_in_order, nextRange) &
                               tbb::make_filter<RowRange, DeflatedPiece>(tbb::filter_mode::parallel, deflate) &
                               tbb::make_filter<DeflatedPiece, void>(tbb::filter_mode::serial_in_order, hand));
    if (failed) return false;
    DeflatedPiece end = DeflatedPiece::deflate(nullptr, 0, true, level, strategy);
    if (end.error) return false;
    const auto trailer = DeflatedPiece::zlibTrailer(checksum);
    end.bytes.insert(end.bytes.end(), trailer.begin(), trailer.end());
    std::vector<uint8_t> tail;
    putChunk(tail, "IDAT", end.bytes);
    tail.insert(tail.end(), std::begin(endChunk), std::end(endChunk));
    return sink(tail);
}

bool takesSixteenBits(const Bitmap& bitmap)
{
    return bitmap.format() == PixelFormat::RGBX16;
}

bool fits(const Bitmap& bitmap)
{
    return bitmap.width() <= pngLargest && bitmap.height() <= pngLargest;
}

// Whether `file` is a PNG file whose chunks lie within it and end with the end chunk, with no
// image data among them.
bool holdsNoImageData(std::span<const uint8_t> file)
{
    if (file.size() < pngSignature.size() + sizeof endChunk ||
        std::memcmp(file.data(), pngSignature.data(), pngSignature.size()) != 0)
        return false;
    for (size_t at = pngSignature.size(); at + 12 <= file.size();) {
        const size_t length =
            size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3];
        if (length > file.size() - at - 12 || std::memcmp(file.data() + at + 4, "IDAT", 4) == 0) return false;
        if (std::memcmp(file.data() + at + 4, "IEND", 4) == 0) return length == 0 && at + 12 == file.size();
        at += 12 + length;
    }
    return false;
}

std::vector<uint8_t> head(const Bitmap& bitmap, double dpi)
{
    std::vector<uint8_t> bytes(pngSignature.begin(), pngSignature.end());
    putHeader(bytes, bitmap, takesSixteenBits(bitmap));
    putProfile(bytes, bitmap.colourSpace().icc);
    putResolution(bytes, dpi);
    return bytes;
}

// The whole file in memory. Its size is about that of the filtered rows, which photographs hardly
// shrink, so that much is asked for at once.
std::optional<std::vector<uint8_t>> encode(const Bitmap& bitmap, double dpi, bool fast)
{
    if (!fits(bitmap)) return std::nullopt;
    try {
        std::vector<uint8_t> bytes = head(bitmap, dpi);
        const size_t rowLength = size_t(bitmap.width()) * (takesSixteenBits(bitmap) ? 6 : 3) + 1;
        bytes.reserve(bytes.size() + rowLength * size_t(bitmap.height()) + 4096);
        const auto append = [&bytes](std::span<const uint8_t> more) {
            bytes.insert(bytes.end(), more.begin(), more.end());
            return true;
        };
        if (!putImageData(bitmap, takesSixteenBits(bitmap), fast, append)) return std::nullopt;
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<std::vector<uint8_t>> encodePNG(const Bitmap& bitmap, double dpi)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16))
        return std::nullopt;
    return encode(bitmap, dpi, false);
}

std::optional<std::vector<uint8_t>> pngWithoutImageData(const Bitmap& bitmap, double dpi)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16) ||
        !fits(bitmap))
        return std::nullopt;
    std::vector<uint8_t> bytes = head(bitmap, dpi);
    bytes.insert(bytes.end(), std::begin(endChunk), std::end(endChunk));
    return bytes;
}

bool writePNG(const Bitmap& bitmap, std::span<const uint8_t> withoutImageData, const PNGSink& sink)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16) ||
        !fits(bitmap))
        return false;
    if (!holdsNoImageData(withoutImageData)) return false;
    const size_t headLength = withoutImageData.size() - sizeof endChunk;
    try {
        return sink(withoutImageData.first(headLength)) && putImageData(bitmap, takesSixteenBits(bitmap), false, sink);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::optional<std::vector<uint8_t>> encodePNGFast(const Bitmap& bitmap)
{
    const auto format = bitmap.format();
    if (bitmap.isNull() ||
        (format != PixelFormat::RGBX8 && format != PixelFormat::RGBX16 && format != PixelFormat::RGBA8))
        return std::nullopt;
    return encode(bitmap, 0, true);
}

std::optional<std::vector<uint8_t>> withExifChunk(std::span<const uint8_t> png, std::span<const uint8_t> exif)
{
    constexpr std::string_view signature = pngSignature;
    if (png.size() < signature.size() || std::memcmp(png.data(), signature.data(), signature.size()) != 0)
        return std::nullopt;
    if (exif.size() > pngLargest) return std::nullopt;
    size_t at = signature.size();
    for (;;) {
        if (at + 8 > png.size()) return std::nullopt;
        const size_t length =
            size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3];
        if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0 || std::memcmp(png.data() + at + 4, "IEND", 4) == 0) break;
        if (length > png.size() - at - 12) return std::nullopt;
        at += 12 + length;
    }
    std::vector<uint8_t> out(png.begin(), png.begin() + std::ptrdiff_t(at));
    if (!exif.empty()) {
        const uint32_t length = uint32_t(exif.size());
        const uint8_t header[8] = {
            uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 'e', 'X', 'I', 'f'};
        out.insert(out.end(), header, header + 8);
        out.insert(out.end(), exif.begin(), exif.end());
        uLong crc = crc32(0, header + 4, 4);
        crc = crc32(crc, exif.data(), uInt(exif.size()));
        const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        out.insert(out.end(), crcBytes, crcBytes + 4);
    }
    out.insert(out.end(), png.begin() + std::ptrdiff_t(at), png.end());
    return out;
}

} // namespace oxel
