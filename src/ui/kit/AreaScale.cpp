#include "ui/kit/AreaScale.h"

#include "imaging/VectorClones.h"

#include <QColorSpace>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// Samples a pixel of the formats whose samples average on their own; 0 for any other format.
int samplesPerPixel(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied: return 4;
    case QImage::Format_RGB888:
    case QImage::Format_BGR888: return 3;
    default: return 0;
    }
}

// The source rows under output row `y`, weighted and summed: one sum a sample, each at most 255
// times a whole share.
OXEL_VECTOR_CLONES
void sumRows(const QImage& image, const Coverage& rows, int y, size_t samples, std::vector<uint32_t>& sums)
{
    std::fill(sums.begin(), sums.end(), 0u);
    for (int k = 0; k < rows.count[size_t(y)]; ++k) {
        const uint32_t share = rows.shares[rows.offset[size_t(y)] + size_t(k)];
        const uchar* __restrict row = image.constScanLine(rows.first[size_t(y)] + k);
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
void sumColumns(std::vector<uint32_t>& sums, const Coverage& columns, size_t channels, uchar* __restrict out)
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
        for (size_t c = 0; c < channels; ++c) out[channels * x + c] = uchar(total[c]);
    }
}

} // namespace

QImage areaScaled(const QImage& image, QSize size)
{
    if (image.isNull() || size.isEmpty()) return {};
    if (size == image.size()) return image;
    const int channels = samplesPerPixel(image.format());
    if (channels == 0 || size.width() > image.width() || size.height() > image.height())
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage scaled(size, image.format());
    if (scaled.isNull()) return {};
    const Coverage columns(image.width(), size.width()), rows(image.height(), size.height());
    // Large pictures are shrunk in bands of rows side by side; a thumbnail is one band.
    const size_t bandRows = std::max<size_t>(1, (size_t(1) << 18) / (size_t(image.width()) * size_t(channels)));
    uchar* const first = scaled.bits();
    const qsizetype rowBytes = scaled.bytesPerLine();
    tbb::parallel_for(tbb::blocked_range<int>(0, size.height(), int(bandRows)),
                      [&](const tbb::blocked_range<int>& band) {
                          const size_t samples = size_t(channels) * size_t(image.width());
                          std::vector<uint32_t> sums(samples + 1);
                          for (int y = band.begin(); y < band.end(); ++y) {
                              sumRows(image, rows, y, samples, sums);
                              sumColumns(sums, columns, size_t(channels), first + y * rowBytes);
                          }
                      });
    scaled.setColorSpace(image.colorSpace());
    return scaled;
}

} // namespace oxel
