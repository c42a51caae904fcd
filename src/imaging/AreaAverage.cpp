#include "imaging/AreaAverage.h"

#include "imaging/VectorClones.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace oxel {
namespace {

// Shares of a source pixel in an output pixel, in units of 1/65536.
constexpr int shareBits = 16;
constexpr uint32_t wholeShare = 1u << shareBits;

// For each of `to` output positions, the source positions it covers and their shares, which add
// up to exactly one, so that a single colour comes out unchanged.
struct Coverage {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<size_t> offset; // into `shares`
    std::vector<uint32_t> shares;

    Coverage(int from, int to)
    {
        const double step = double(from) / to;
        for (int i = 0; i < to; ++i) {
            const double start = i * step, end = std::min(double(from), (i + 1) * step);
            const int firstCovered = std::min(from - 1, int(std::floor(start)));
            const int lastCovered = std::clamp(int(std::ceil(end)) - 1, firstCovered, from - 1);
            first.push_back(firstCovered);
            count.push_back(lastCovered - firstCovered + 1);
            offset.push_back(shares.size());
            int64_t sum = 0;
            size_t largest = shares.size();
            for (int j = firstCovered; j <= lastCovered; ++j) {
                const double covered = std::min(end, j + 1.0) - std::max(start, double(j));
                shares.push_back(uint32_t(std::lround(std::max(covered, 0.0) / step * wholeShare)));
                sum += shares.back();
                if (shares.back() > shares[largest]) largest = shares.size() - 1;
            }
            // What rounding lost or added goes to the largest share, which it hardly changes.
            shares[largest] = uint32_t(int64_t(shares[largest]) + int64_t(wholeShare) - sum);
        }
    }
};

// The source rows under output row `y`, weighted and summed: one sum a sample, each at most 255
// times a whole share.
OXEL_VECTOR_CLONES
void sumRows(const PixelRows& from, const Coverage& rows, int y, size_t samples, std::vector<uint32_t>& sums)
{
    std::fill(sums.begin(), sums.end(), 0u);
    for (int k = 0; k < rows.count[size_t(y)]; ++k) {
        const uint32_t share = rows.shares[rows.offset[size_t(y)] + size_t(k)];
        const uint8_t* __restrict row = from.first + size_t(rows.first[size_t(y)] + k) * from.rowBytes;
        uint32_t* __restrict sum = sums.data();
        for (size_t i = 0; i < samples; ++i) sum[i] += share * row[i];
    }
}

// Four sums side by side: a pixel's, and for three-sample pixels the first of the next one too.
using PixelSums = uint32_t __attribute__((vector_size(16)));

// One output row from the summed source rows. The sums lose their lowest eight bits first, so
// that sums of them times shares stay within 32 bits: at most 255 * 256 * 65536 plus the half.
// `sums` holds one sum more than the row's samples, which the last three-sample pixel reads.
OXEL_VECTOR_CLONES
void sumColumns(std::vector<uint32_t>& sums, const Coverage& columns, size_t channels, size_t toChannels,
                uint8_t* __restrict out)
{
    for (uint32_t& sum : sums) sum >>= 8;
    constexpr uint32_t half = uint32_t(1) << (2 * shareBits - 9);
    for (size_t x = 0; x < columns.first.size(); ++x) {
        PixelSums total = {half, half, half, half};
        const uint32_t* source = sums.data() + channels * size_t(columns.first[x]);
        const uint32_t* shares = columns.shares.data() + columns.offset[x];
        for (int k = 0; k < columns.count[x]; ++k) {
            PixelSums pixel;
            __builtin_memcpy(&pixel, source + channels * size_t(k), sizeof pixel);
            total += pixel * shares[k];
        }
        total >>= 2 * shareBits - 8;
        for (size_t c = 0; c < toChannels; ++c) out[toChannels * x + c] = uint8_t(total[c]);
    }
}

int channelsOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::RGB8: return 3;
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8: return 4;
    default: return 0;
    }
}

} // namespace

void areaAverage(const PixelRows& from, int width, int height, int toChannels, uint8_t* to, size_t toRowBytes)
{
    const Coverage columns(from.width, width), rows(from.height, height);
    // Large pictures are shrunk in bands of rows side by side; a thumbnail is one band.
    const size_t bandRows = std::max<size_t>(1, (size_t(1) << 18) / (size_t(from.width) * size_t(from.channels)));
    tbb::parallel_for(tbb::blocked_range<int>(0, height, int(bandRows)), [&](const tbb::blocked_range<int>& band) {
        const size_t samples = size_t(from.channels) * size_t(from.width);
        std::vector<uint32_t> sums(samples + 1);
        for (int y = band.begin(); y < band.end(); ++y) {
            sumRows(from, rows, y, samples, sums);
            sumColumns(sums, columns, size_t(from.channels), size_t(toChannels), to + size_t(y) * toRowBytes);
        }
    });
}

std::optional<Bitmap> areaAveragedRGB8(const Bitmap& picture, int64_t width, int64_t height)
{
    const int channels = channelsOf(picture.format());
    if (picture.isNull() || channels == 0 || width < 1 || height < 1 || width > picture.width() ||
        height > picture.height())
        return std::nullopt;
    auto shrunk = Bitmap::allocate(width, height, PixelFormat::RGB8, picture.colourSpace());
    if (!shrunk) return std::nullopt;
    const PixelRows from{picture.data(), picture.rowBytes(), int(picture.width()), int(picture.height()), channels};
    areaAverage(from, int(width), int(height), 3, shrunk->mutableData(), shrunk->rowBytes());
    return shrunk;
}

} // namespace oxel
