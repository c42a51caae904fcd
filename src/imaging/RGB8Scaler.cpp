#include "imaging/RGB8Scaler.h"

#include "imaging/ResampleNode.h"
#include "imaging/VectorClones.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace oxel {

namespace {

using Float4 = float __attribute__((vector_size(16)));

// Output rows one task of the pool scales.
constexpr int64_t rowsPerTask = 16;

// Samples a pixel of the format takes in the source: 1, 3 or 4; 0 for formats not read here.
int stepOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Gray8: return 1;
    case PixelFormat::RGB8: return 3;
    case PixelFormat::RGBX8:
    case PixelFormat::RGBA8: return 4;
    default: return 0;
    }
}

// The Lanczos taps of one axis from `inputs` samples to `outputs`, one tap of weight 1 each when
// the sizes agree; `before` and `after` count how far taps reach beyond the first and last sample.
struct Taps {
    AxisTaps axis;
    int64_t before = 0, after = 0;
};

Taps tapsOf(int64_t outputs, int64_t inputs)
{
    Taps taps;
    taps.axis = ResampleNode::taps(0, outputs, double(outputs) / double(inputs), 0, ResampleFilter::lanczos3);
    if (taps.axis.identity) {
        AxisTaps spelled;
        for (int64_t o = 0; o < outputs; ++o) {
            spelled.first.push_back(taps.axis.inputBegin + o);
            spelled.count.push_back(1);
            spelled.offset.push_back(size_t(o));
            spelled.weights.push_back(1.0f);
        }
        taps.axis = std::move(spelled);
    }
    for (size_t o = 0; o < taps.axis.first.size(); ++o) {
        if (taps.axis.count[o] == 0) continue;
        taps.before = std::max(taps.before, -taps.axis.first[o]);
        taps.after = std::max(taps.after, taps.axis.first[o] + taps.axis.count[o] - inputs);
    }
    return taps;
}

uint8_t toByte(float v)
{
    const float rounded = v + 0.5f;
    if (!(rounded > 0.0f)) return 0;
    if (rounded >= 255.0f) return 255;
    return uint8_t(rounded);
}

// The colours of a sum as `toByte` gives them, all three at once: rounded, NaN and below zero to
// 0, beyond 255 to 255.
inline void storeColours(Float4 sum, uint8_t* pixel)
{
    using Int4 = int __attribute__((vector_size(16)));
    const Float4 zero{}, top = zero + 255.0f;
    Float4 rounded = sum + 0.5f;
    rounded = rounded > zero ? rounded : zero;
    rounded = rounded < top ? rounded : top;
    const Int4 bytes = __builtin_convertvector(rounded, Int4);
    pixel[0] = uint8_t(bytes[0]);
    pixel[1] = uint8_t(bytes[1]);
    pixel[2] = uint8_t(bytes[2]);
}

// out = w * row, or out += w * row.
template <bool first>
inline void weigh(float* __restrict out, const uint8_t* __restrict row, float w, size_t samples)
{
    for (size_t i = 0; i < samples; ++i) {
        if constexpr (first)
            out[i] = w * float(row[i]);
        else
            out[i] += w * float(row[i]);
    }
}

// One row of weighted sums of whole 8-bit source rows.
OXEL_VECTOR_CLONES
void weighRows(const uint8_t* const* rows, const float* weights, int count, size_t samples, float* out)
{
    if (count == 0) {
        std::fill(out, out + samples, 0.0f);
        return;
    }
    weigh<true>(out, rows[0], weights[0], samples);
    for (int k = 1; k < count; ++k) weigh<false>(out, rows[k], weights[k], samples);
}

// Where the packed RGB8 pixels of one scaled row go: the first, and the bytes from one to the
// next (the row may run along a column of the upright picture, or backwards).
struct RowPlace {
    uint8_t* first;
    ptrdiff_t step;
};

// Filters one row along x into packed RGB8. Each tap of a colour pixel loads four floats (its
// samples and what follows), so one vector multiply-add weighs all three colours.
template <int step>
inline void weighColumnsOf(const float* in, const AxisTaps& xt, int64_t width, RowPlace out)
{
    for (int64_t o = 0; o < width; ++o) {
        const float* w = xt.weights.data() + xt.offset[size_t(o)];
        const float* p = in + xt.first[size_t(o)] * step;
        const int count = xt.count[size_t(o)];
        uint8_t* pixel = out.first + o * out.step;
        if constexpr (step == 1) {
            float sum = 0;
            for (int k = 0; k < count; ++k) sum += w[k] * p[k];
            pixel[0] = pixel[1] = pixel[2] = toByte(sum);
        } else {
            // Two sums in turn, so that each multiply-add waits on the one before the last.
            Float4 even{}, odd{};
            int k = 0;
            for (; k + 1 < count; k += 2) {
                Float4 a, b;
                __builtin_memcpy(&a, p + step * k, sizeof a);
                __builtin_memcpy(&b, p + step * (k + 1), sizeof b);
                even += w[k] * a;
                odd += w[k + 1] * b;
            }
            if (k < count) {
                Float4 a;
                __builtin_memcpy(&a, p + step * k, sizeof a);
                even += w[k] * a;
            }
            storeColours(even + odd, pixel);
        }
    }
}

OXEL_VECTOR_CLONES
void weighColumns(const float* in, int step, const AxisTaps& xt, int64_t width, RowPlace out)
{
    if (step == 1) weighColumnsOf<1>(in, xt, width, out);
    if (step == 3) weighColumnsOf<3>(in, xt, width, out);
    if (step == 4) weighColumnsOf<4>(in, xt, width, out);
}

// Repeats the first and last pixel of a row of `width` pixels into the room before and after it.
void padEdges(float* row, int step, int64_t width, int64_t before, int64_t after)
{
    for (int64_t i = 1; i <= before; ++i) std::memcpy(row - i * step, row, size_t(step) * sizeof(float));
    const float* last = row + (width - 1) * step;
    for (int64_t i = 1; i <= after; ++i) std::memcpy(row + (width - 1 + i) * step, last, size_t(step) * sizeof(float));
}

// Where pixel (x, y) of a stored picture of w x h goes in the upright picture, for an EXIF
// orientation.
void uprightPosition(int orientation, int64_t w, int64_t h, int64_t x, int64_t y, int64_t& ux, int64_t& uy)
{
    switch (orientation) {
    case 2: ux = w - 1 - x, uy = y; break;
    case 3: ux = w - 1 - x, uy = h - 1 - y; break;
    case 4: ux = x, uy = h - 1 - y; break;
    case 5: ux = y, uy = x; break;
    case 6: ux = h - 1 - y, uy = x; break;
    case 7: ux = h - 1 - y, uy = w - 1 - x; break;
    case 8: ux = y, uy = w - 1 - x; break;
    default: ux = x, uy = y; break;
    }
}

// Where row `y` of the scaled picture (w x h, stored orientation) lands in `upright`: the rows are
// written turned, so no stored-orientation copy is made to be turned afterwards.
RowPlace placeOfRow(Bitmap& upright, int orientation, int64_t w, int64_t h, int64_t y)
{
    int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    uprightPosition(orientation, w, h, 0, y, x0, y0);
    uprightPosition(orientation, w, h, 1, y, x1, y1);
    const auto rowBytes = ptrdiff_t(upright.rowBytes());
    return {upright.mutableRow(y0) + 3 * x0, ptrdiff_t(y1 - y0) * rowBytes + ptrdiff_t(x1 - x0) * 3};
}

// What scaling one stored picture takes: the taps of both axes, and the upright picture that the
// scaled rows are written into.
struct Plan {
    int step = 0;
    int64_t storedWidth = 0, storedHeight = 0;
    int64_t width = 0, height = 0; // before the turn
    int orientation = 1;
    Taps xt, yt;
    Bitmap upright;

    // The row between the passes, with room for edge pixels and one spare sample for the last
    // four-float load.
    std::vector<float> rowBuffer() const
    {
        return std::vector<float>(size_t(xt.before + storedWidth + xt.after) * size_t(step) + 1);
    }

    int tapCount(int64_t y) const { return yt.axis.count[size_t(y)]; }
    // The stored row that tap `k` of output row `y` reads, edge rows repeating beyond the sides.
    int64_t sourceRow(int64_t y, int k) const
    {
        return std::clamp<int64_t>(yt.axis.first[size_t(y)] + k, 0, storedHeight - 1);
    }

    // Scales output row `y` from its stored rows, `sources[k]` the one tap `k` reads.
    void scaleRow(int64_t y, const uint8_t* const* sources, std::vector<float>& padded)
    {
        float* row = padded.data() + xt.before * step;
        weighRows(sources, yt.axis.weights.data() + yt.axis.offset[size_t(y)], tapCount(y),
                  size_t(storedWidth) * size_t(step), row);
        padEdges(row, step, storedWidth, xt.before, xt.after);
        weighColumns(row, step, xt.axis, width, placeOfRow(upright, orientation, width, height, y));
    }
};

std::optional<Plan> planOf(int64_t storedWidth, int64_t storedHeight, PixelFormat format, int64_t width, int64_t height,
                           int orientation, const ColourSpace& colourSpace)
{
    Plan plan;
    plan.step = stepOf(format);
    if (plan.step == 0 || storedWidth <= 0 || storedHeight <= 0 || width <= 0 || height <= 0) return std::nullopt;
    plan.storedWidth = storedWidth;
    plan.storedHeight = storedHeight;
    plan.width = width;
    plan.height = height;
    plan.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    plan.xt = tapsOf(width, storedWidth);
    plan.yt = tapsOf(height, storedHeight);
    const bool swap = plan.orientation >= 5;
    auto upright = Bitmap::allocate(swap ? height : width, swap ? width : height, PixelFormat::RGB8, colourSpace);
    if (!upright) return std::nullopt;
    plan.upright = std::move(*upright);
    return plan;
}

} // namespace

bool scalesToRGB8(PixelFormat format)
{
    return stepOf(format) != 0;
}

std::optional<Bitmap> scaledRGB8(const Bitmap& stored, int64_t width, int64_t height, int orientation,
                                 const ColourSpace& colourSpace)
{
    if (stored.isNull()) return std::nullopt;
    auto plan = planOf(stored.width(), stored.height(), stored.format(), width, height, orientation, colourSpace);
    if (!plan) return std::nullopt;
    tbb::parallel_for(tbb::blocked_range<int64_t>(0, height, rowsPerTask),
                      [&](const tbb::blocked_range<int64_t>& rows) {
                          std::vector<float> padded = plan->rowBuffer();
                          std::vector<const uint8_t*> sources;
                          for (int64_t y = rows.begin(); y < rows.end(); ++y) {
                              sources.resize(size_t(plan->tapCount(y)));
                              for (int k = 0; k < plan->tapCount(y); ++k)
                                  sources[size_t(k)] = stored.row(plan->sourceRow(y, k));
                              plan->scaleRow(y, sources.data(), padded);
                          }
                      });
    return plan->upright;
}

// The stored rows are held in a ring just deep enough for the rows one output row reads, counted
// from the last row that had to arrive before it could be scaled.
struct RGB8Scaler::State {
    Plan plan;
    std::vector<float> padded;
    std::vector<const uint8_t*> sources;
    size_t rowBytes = 0;
    int64_t ringRows = 1;
    std::vector<uint8_t> ring;
    std::vector<int64_t> lastNeeded; // a row's last stored row; -1 for rows that read none
    int64_t added = 0;
    int64_t scaled = 0;

    explicit State(Plan scaling) : plan(std::move(scaling)), padded(plan.rowBuffer())
    {
        rowBytes = size_t(plan.storedWidth) * size_t(plan.step);
        int64_t arrived = -1;
        for (int64_t y = 0; y < plan.height; ++y) {
            const int count = plan.tapCount(y);
            lastNeeded.push_back(count > 0 ? plan.sourceRow(y, count - 1) : -1);
            arrived = std::max(arrived, lastNeeded.back());
            if (count > 0) ringRows = std::max(ringRows, arrived + 1 - plan.sourceRow(y, 0));
        }
        ring.resize(size_t(ringRows) * rowBytes);
    }

    uint8_t* slot(int64_t storedRow) { return ring.data() + size_t(storedRow % ringRows) * rowBytes; }

    void scaleReadyRows()
    {
        for (; scaled < plan.height && lastNeeded[size_t(scaled)] < added; ++scaled) {
            sources.resize(size_t(plan.tapCount(scaled)));
            for (int k = 0; k < plan.tapCount(scaled); ++k) sources[size_t(k)] = slot(plan.sourceRow(scaled, k));
            plan.scaleRow(scaled, sources.data(), padded);
        }
    }
};

RGB8Scaler::RGB8Scaler(std::unique_ptr<State> state) : state_(std::move(state))
{}
RGB8Scaler::RGB8Scaler(RGB8Scaler&&) noexcept = default;
RGB8Scaler& RGB8Scaler::operator=(RGB8Scaler&&) noexcept = default;
RGB8Scaler::~RGB8Scaler() = default;

std::optional<RGB8Scaler> RGB8Scaler::start(int64_t storedWidth, int64_t storedHeight, PixelFormat format,
                                            int64_t width, int64_t height, int orientation,
                                            const ColourSpace& colourSpace)
{
    auto plan = planOf(storedWidth, storedHeight, format, width, height, orientation, colourSpace);
    if (!plan) return std::nullopt;
    try {
        return RGB8Scaler(std::make_unique<State>(std::move(*plan)));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

void RGB8Scaler::add(const uint8_t* row)
{
    State& s = *state_;
    if (s.added == s.plan.storedHeight) return;
    std::memcpy(s.slot(s.added), row, s.rowBytes);
    ++s.added;
    s.scaleReadyRows();
}

std::optional<Bitmap> RGB8Scaler::finish()
{
    if (state_->added < state_->plan.storedHeight) return std::nullopt;
    return state_->plan.upright;
}

} // namespace oxel
