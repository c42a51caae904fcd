#include "imaging/ResampleNode.h"

#include "imaging/RowMath.h"
#include "imaging/VectorClones.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace oxel {

namespace {

// sinc(x) sinc(x/3) with one sine: sin(3a) = 3 sin(a) - 4 sin(a)^3 for a = pi x / 3. Weights are
// made for every tile a resample renders, so the second sine was a large share of small renders.
double lanczos3(double x)
{
    if (!(std::abs(x) < 3.0)) return 0.0;
    if (std::abs(x) < 1e-9) return 1.0;
    const double a = std::numbers::pi * x / 3.0;
    const double s = std::sin(a);
    const double sin3a = s * (3.0 - 4.0 * s * s);
    return sin3a * s / (3.0 * a * a);
}

bool isWhole(double v)
{
    return v == std::floor(v);
}

} // namespace

AxisTaps ResampleNode::taps(int64_t begin, int64_t end, double scale, double move, ResampleFilter filter)
{
    AxisTaps taps;
    const int64_t n = std::max<int64_t>(end - begin, 0);
    if (scale == 1.0 && isWhole(move)) {
        taps.identity = true;
        taps.inputBegin = begin - int64_t(move);
        taps.inputEnd = end - int64_t(move);
        return taps;
    }
    taps.first.resize(size_t(n));
    taps.count.resize(size_t(n));
    taps.offset.resize(size_t(n));
    taps.inputBegin = INT64_MAX;
    taps.inputEnd = INT64_MIN;
    const bool shrinking = scale < 1.0;
    std::vector<double> scratch;
    for (int64_t o = begin; o < end; ++o) {
        int64_t first = 0, last = 0;
        scratch.clear();
        if (filter == ResampleFilter::linear && shrinking) {
            // The input interval this output pixel covers, weighted by overlap.
            const double a = (double(o) - move) / scale, b = (double(o) + 1.0 - move) / scale;
            first = int64_t(std::floor(a));
            last = int64_t(std::ceil(b)) - 1;
            for (int64_t i = first; i <= last; ++i) {
                scratch.push_back(std::max(0.0, std::min(b, double(i + 1)) - std::max(a, double(i))));
            }
        } else {
            const double u = (double(o) + 0.5 - move) / scale;
            const double stretch = (filter != ResampleFilter::linear && shrinking) ? scale : 1.0;
            const double radius = (filter == ResampleFilter::lanczos3 ? 3.0 : 1.0) / stretch;
            first = int64_t(std::ceil(u - radius - 0.5));
            last = int64_t(std::floor(u + radius - 0.5));
            for (int64_t i = first; i <= last; ++i) {
                const double d = (double(i) + 0.5 - u) * stretch;
                scratch.push_back(filter == ResampleFilter::lanczos3 ? lanczos3(d) : std::max(0.0, 1.0 - std::abs(d)));
            }
        }
        // Trim zero taps at the ends, then normalise so a constant stays constant.
        size_t lo = 0, hi = scratch.size();
        while (lo < hi && scratch[lo] == 0.0) ++lo;
        while (hi > lo && scratch[hi - 1] == 0.0) --hi;
        double sum = 0;
        for (size_t k = lo; k < hi; ++k) sum += scratch[k];
        const size_t index = size_t(o - begin);
        taps.first[index] = first + int64_t(lo);
        taps.count[index] = int(hi - lo);
        taps.offset[index] = taps.weights.size();
        for (size_t k = lo; k < hi; ++k) taps.weights.push_back(float(sum != 0 ? scratch[k] / sum : 0.0));
        if (hi > lo) {
            taps.inputBegin = std::min(taps.inputBegin, first + int64_t(lo));
            taps.inputEnd = std::max(taps.inputEnd, first + int64_t(hi));
        }
    }
    if (taps.inputBegin > taps.inputEnd) taps.inputBegin = taps.inputEnd = begin;
    return taps;
}

ResampleNode::ResampleNode(ImageNodePtr input, double sx, double sy, double tx, double ty, ResampleFilter filter)
    : input_(std::move(input)), sx_(sx), sy_(sy), tx_(tx), ty_(ty), filter_(filter)
{
    const Rect in = input_->extent();
    extent_ = in.isInfinite() ? in : Rect{in.x * sx_ + tx_, in.y * sy_ + ty_, in.width * sx_, in.height * sy_};
    // A shrinking tent reaches one output sample past the scaled edges: the samples there still
    // carry part of the picture, and clearing them would lose that part.
    if (filter_ == ResampleFilter::tent && !extent_.isInfinite())
        extent_ = extent_.insetBy(sx_ < 1.0 ? -1.0 : 0.0, sy_ < 1.0 ? -1.0 : 0.0);
}

namespace {

using Float4 = float __attribute__((vector_size(16)));

// Filters `rowCount` rows along x: output column o of each row from the taps of xt. Each tap
// loads a pixel as four floats (its R, G, B and the next pixel's R, which is ignored), so one
// vector multiply-add does the work of three; scratch rows keep a spare sample at their end.
OXEL_VECTOR_CLONES
void horizontalPass(const RGB* in, size_t inStride, int64_t inX, int64_t rowCount, const AxisTaps& xt, int64_t width,
                    RGB* out, size_t outStride)
{
    for (int64_t y = 0; y < rowCount; ++y) {
        const RGB* row = in + size_t(y) * inStride;
        RGB* dst = out + size_t(y) * outStride;
        if (xt.identity) {
            std::copy(row + (xt.inputBegin - inX), row + (xt.inputBegin - inX) + width, dst);
            continue;
        }
        for (int64_t o = 0; o < width; ++o) {
            const float* w = xt.weights.data() + xt.offset[size_t(o)];
            const float* p = reinterpret_cast<const float*>(row + (xt.first[size_t(o)] - inX));
            Float4 sum{};
            const int count = xt.count[size_t(o)];
            for (int k = 0; k < count; ++k) {
                Float4 pixel;
                __builtin_memcpy(&pixel, p + 3 * k, sizeof pixel);
                sum += w[k] * pixel;
            }
            dst[o] = {sum[0], sum[1], sum[2]};
        }
    }
}

// Filters along y: output row o is a weighted sum of whole input rows, which vectorises well.
// Output rows `begin` to `end` of the taps are written, the first of them at `out`.
void verticalPass(const RGB* in, size_t inStride, int64_t inY, const AxisTaps& yt, int64_t begin, int64_t end,
                  int64_t width, RGB* out, size_t outStride)
{
    std::vector<const float*> sources;
    for (int64_t o = begin; o < end; ++o) {
        const int count = yt.identity ? 1 : yt.count[size_t(o)];
        const int64_t first = yt.identity ? yt.inputBegin + o : yt.first[size_t(o)];
        sources.resize(size_t(count));
        for (int k = 0; k < count; ++k)
            sources[size_t(k)] = reinterpret_cast<const float*>(in + size_t(first - inY + k) * inStride);
        const float one = 1.0f;
        weightedRowSum(reinterpret_cast<float*>(out + size_t(o - begin) * outStride), sources.data(),
                       yt.identity ? &one : yt.weights.data() + yt.offset[size_t(o)], size_t(count), size_t(width) * 3);
    }
}

// Input samples a shrinking tile holds at a time: about a megabyte and a half of floats.
constexpr int64_t bandSamples = int64_t(1) << 17;

} // namespace

// Output rows of a tile in bands, each reading a few megabytes of input rows at most (always the
// rows of one output row at least). Bands are handed out in order, and the input rows they share
// are read once.
std::vector<ResampleNode::RowBand> ResampleNode::rowBands(const AxisTaps& yt, int64_t rows, int64_t inputWidth)
{
    std::vector<RowBand> bands;
    for (int64_t begin = 0, end = 0; begin < rows; begin = end) {
        // The input rows read so far, none yet; the band grows one output row at a time.
        int64_t first = INT64_MAX, last = INT64_MIN;
        for (end = begin; end < rows; ++end) {
            int64_t grownFirst = first, grownLast = last;
            if (const int count = yt.count[size_t(end)]; count > 0) {
                grownFirst = std::min(first, yt.first[size_t(end)]);
                grownLast = std::max(last, yt.first[size_t(end)] + count);
            }
            if (end > begin && grownFirst <= grownLast && (grownLast - grownFirst) * inputWidth > bandSamples) break;
            first = grownFirst;
            last = grownLast;
        }
        if (first > last) first = last = yt.inputBegin;
        bands.push_back({begin, end, first, last});
    }
    return bands;
}

void ResampleNode::shrinkVertically(const PixelRect& from, const AxisTaps& yt, int64_t rows, const AxisTaps& xt,
                                    int64_t width, RGB* target, size_t stride) const
{
    const auto bands = rowBands(yt, rows, from.width);
    int64_t windowRows = 1;
    for (const RowBand& band : bands) windowRows = std::max(windowRows, band.last - band.first);
    const size_t rowSamples = size_t(from.width);
    ScratchBuffer down(size_t(rows) * rowSamples);
    ScratchBuffer window(size_t(windowRows) * rowSamples);
    // The input rows held, from the start of the window.
    int64_t heldFirst = 0, heldLast = 0;
    for (const RowBand& band : bands) {
        if (band.first >= heldFirst && band.first < heldLast) {
            std::memmove(window.data(), window.data() + size_t(band.first - heldFirst) * rowSamples,
                         size_t(heldLast - band.first) * rowSamples * sizeof(RGB));
        } else {
            heldLast = band.first;
        }
        heldFirst = band.first;
        if (band.last > heldLast) {
            input_->render(PixelRect{from.x, heldLast, from.width, band.last - heldLast},
                           window.data() + size_t(heldLast - heldFirst) * rowSamples, rowSamples);
            heldLast = band.last;
        }
        verticalPass(window.data(), rowSamples, heldFirst, yt, band.begin, band.end, from.width,
                     down.data() + size_t(band.begin) * rowSamples, rowSamples);
    }
    horizontalPass(down.data(), rowSamples, from.x, rows, xt, width, target, stride);
}

void ResampleNode::render(const PixelRect& region, RGB* out, size_t stride) const
{
    const PixelRect inside = clearOutside(extent_, region, out, stride);
    if (inside.isEmpty()) return;
    RGB* target = out + size_t(inside.y - region.y) * stride + size_t(inside.x - region.x);

    const AxisTaps xt = taps(inside.x, inside.maxX(), sx_, tx_, filter_);
    const AxisTaps yt = taps(inside.y, inside.maxY(), sy_, ty_, filter_);
    const PixelRect from{xt.inputBegin, yt.inputBegin, xt.inputEnd - xt.inputBegin, yt.inputEnd - yt.inputBegin};
    if (from.isEmpty()) {
        for (int64_t y = 0; y < inside.height; ++y)
            std::fill(target + size_t(y) * stride, target + size_t(y) * stride + inside.width, RGB{});
        return;
    }
    // The vectorised vertical pass is the cheap one, so the pass order gives the scalar horizontal
    // pass as few rows as it can: shrinking in y filters vertically first. A large reduction reads
    // many input rows for each output row, so the input is read a band of output rows at a time:
    // a tile of a thumbnail never holds the whole of its input region (a hundred times its own
    // size) at once.
    if (sy_ < 1.0) {
        shrinkVertically(from, yt, inside.height, xt, inside.width, target, stride);
        return;
    }
    ScratchBuffer source(size_t(from.area()));
    input_->render(from, source.data(), size_t(from.width));
    if (yt.identity) {
        horizontalPass(source.data(), size_t(from.width), from.x, inside.height, xt, inside.width, target, stride);
        return;
    }
    ScratchBuffer across(size_t(from.height) * size_t(inside.width));
    horizontalPass(source.data(), size_t(from.width), from.x, from.height, xt, inside.width, across.data(),
                   size_t(inside.width));
    verticalPass(across.data(), size_t(inside.width), from.y, yt, 0, inside.height, inside.width, target, stride);
}

} // namespace oxel
