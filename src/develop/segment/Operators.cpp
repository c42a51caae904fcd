#include "develop/segment/Operators.h"

#include "imaging/VectorClones.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace oxel::segment {
namespace {

void activate(float* values, size_t count, Activation activation)
{
    float low = 0, high = 0;
    switch (activation) {
    case Activation::none: return;
    case Activation::relu: low = 0, high = INFINITY; break;
    case Activation::reluMinus1To1: low = -1, high = 1; break;
    case Activation::relu6: low = 0, high = 6; break;
    }
    for (size_t i = 0; i < count; ++i) values[i] = std::min(std::max(values[i], low), high);
}

// Output channels are summed eight at a time in a small local array, which the compiler keeps in
// vector registers instead of reading and writing the output for every input channel.
constexpr int lanes = 8;

// o[0...co) += the sum over c of pixel[c] x w[c][0...co).
inline void mixChannels(float* __restrict o, const float* __restrict pixel, const float* __restrict w, int ci, int co)
{
    int first = 0;
    for (; first + lanes <= co; first += lanes) {
        float sum[lanes];
        for (int k = 0; k < lanes; ++k) sum[k] = o[first + k];
        for (int c = 0; c < ci; ++c) {
            const float a = pixel[c];
            const float* row = w + size_t(c) * size_t(co) + size_t(first);
            for (int k = 0; k < lanes; ++k) sum[k] += a * row[k];
        }
        for (int k = 0; k < lanes; ++k) o[first + k] = sum[k];
    }
    if (co == 1) {
        // One output channel: a dot product along the input channels, in lanes.
        float sum[lanes] = {};
        int c = 0;
        for (; c + lanes <= ci; c += lanes)
            for (int k = 0; k < lanes; ++k) sum[k] += pixel[c + k] * w[c + k];
        for (; c < ci; ++c) sum[0] += pixel[c] * w[c];
        float total = 0;
        for (int k = 0; k < lanes; ++k) total += sum[k];
        o[0] += total;
        return;
    }
    for (int c = 0; c < ci; ++c)
        for (int k = first; k < co; ++k) o[k] += pixel[c] * w[size_t(c) * size_t(co) + size_t(k)];
}

// The range of kernel taps that land inside the input for output position `o`.
struct TapRange {
    int first, last, origin;
};
TapRange tapsInside(int o, int stride, int pad, int kernel, int inSize)
{
    const int origin = o * stride - pad;
    return {std::max(0, -origin), std::min(kernel, inSize - origin), origin};
}

// The step of each dimension of a map (rows, columns, channels) as an operand of an output of
// `outShape`: 0 where the map repeats a dimension of 1 along the output's.
std::array<size_t, 3> broadcastSteps(MapShape shape, MapShape outShape)
{
    const size_t c = size_t(shape.channels);
    const size_t rowStep = size_t(shape.width) * c;
    return {shape.height == outShape.height ? rowStep : 0, shape.width == outShape.width ? c : 0,
            shape.channels == outShape.channels ? size_t(1) : size_t(0)};
}

template <class Op>
void elementWise(const float* a, MapShape aShape, const float* b, MapShape bShape, Activation activation, float* out,
                 MapShape outShape, Op op)
{
    const size_t count = outShape.size();
    if (aShape == outShape && bShape == outShape) {
        for (size_t i = 0; i < count; ++i) out[i] = op(a[i], b[i]);
    } else if (aShape == outShape && bShape == MapShape{1, 1, outShape.channels}) {
        const size_t c = size_t(outShape.channels);
        for (size_t i = 0; i < count; i += c)
            for (size_t k = 0; k < c; ++k) out[i + k] = op(a[i + k], b[k]);
    } else {
        const auto as = broadcastSteps(aShape, outShape), bs = broadcastSteps(bShape, outShape);
        float* o = out;
        for (int y = 0; y < outShape.height; ++y)
            for (int x = 0; x < outShape.width; ++x)
                for (int c = 0; c < outShape.channels; ++c)
                    *o++ = op(a[y * as[0] + x * as[1] + c * as[2]], b[y * bs[0] + x * bs[1] + c * bs[2]]);
    }
    activate(out, count, activation);
}

// Where output position `o` samples the input along one axis, as two neighbours and a weight.
struct Sample {
    int lower, upper;
    float weight;
};
Sample sampleAt(int o, float scale, bool halfPixelCenters, int inSize)
{
    const float at = halfPixelCenters ? (float(o) + 0.5f) * scale - 0.5f : float(o) * scale;
    const int lower = std::max(int(std::floor(at)), 0);
    const int upper = std::min(int(std::ceil(at)), inSize - 1);
    return {lower, upper, at - float(lower)};
}

float resizeScale(int inSize, int outSize, bool alignCorners)
{
    if (alignCorners && outSize > 1) return float(inSize - 1) / float(outSize - 1);
    return float(inSize) / float(outSize);
}

} // namespace

OXEL_VECTOR_CLONES
void convolve(const float* in, MapShape inShape, const ConvKernel& kernel, const Window& window, Activation activation,
              float* out, MapShape outShape)
{
    const int ci = kernel.inChannels, co = kernel.outChannels;
    for (int oy = 0; oy < outShape.height; ++oy) {
        const TapRange ys = tapsInside(oy, window.strideY, window.padTop, kernel.height, inShape.height);
        for (int ox = 0; ox < outShape.width; ++ox) {
            const TapRange xs = tapsInside(ox, window.strideX, window.padLeft, kernel.width, inShape.width);
            float* o = out + (size_t(oy) * size_t(outShape.width) + size_t(ox)) * size_t(co);
            std::copy(kernel.bias.begin(), kernel.bias.end(), o);
            for (int ky = ys.first; ky < ys.last; ++ky) {
                for (int kx = xs.first; kx < xs.last; ++kx) {
                    const float* pixel =
                        in + (size_t(ys.origin + ky) * size_t(inShape.width) + size_t(xs.origin + kx)) * size_t(ci);
                    const float* w = kernel.weights.data() + size_t(ky * kernel.width + kx) * size_t(ci) * size_t(co);
                    mixChannels(o, pixel, w, ci, co);
                }
            }
            activate(o, size_t(co), activation);
        }
    }
}

OXEL_VECTOR_CLONES
void convolveDepthwise(const float* in, MapShape inShape, const DepthwiseKernel& kernel, const Window& window,
                       Activation activation, float* out, MapShape outShape)
{
    const int co = kernel.outChannels, ci = inShape.channels, m = kernel.multiplier;
    const float* weights = kernel.weights.data();
    for (int oy = 0; oy < outShape.height; ++oy) {
        const TapRange ys = tapsInside(oy, window.strideY, window.padTop, kernel.height, inShape.height);
        for (int ox = 0; ox < outShape.width; ++ox) {
            const TapRange xs = tapsInside(ox, window.strideX, window.padLeft, kernel.width, inShape.width);
            float* __restrict o = out + (size_t(oy) * size_t(outShape.width) + size_t(ox)) * size_t(co);
            const auto pixel = [&](int ky, int kx) {
                return in + (size_t(ys.origin + ky) * size_t(inShape.width) + size_t(xs.origin + kx)) * size_t(ci);
            };
            const auto tap = [&](int ky, int kx) { return weights + size_t(ky * kernel.width + kx) * size_t(co); };
            int first = 0;
            for (; m == 1 && first + lanes <= co; first += lanes) {
                float sum[lanes];
                for (int k = 0; k < lanes; ++k) sum[k] = kernel.bias[size_t(first + k)];
                for (int ky = ys.first; ky < ys.last; ++ky)
                    for (int kx = xs.first; kx < xs.last; ++kx) {
                        const float* __restrict p = pixel(ky, kx) + first;
                        const float* __restrict w = tap(ky, kx) + first;
                        for (int k = 0; k < lanes; ++k) sum[k] += p[k] * w[k];
                    }
                for (int k = 0; k < lanes; ++k) o[first + k] = sum[k];
            }
            for (int c = first; c < co; ++c) {
                float sum = kernel.bias[size_t(c)];
                for (int ky = ys.first; ky < ys.last; ++ky)
                    for (int kx = xs.first; kx < xs.last; ++kx) sum += pixel(ky, kx)[c / m] * tap(ky, kx)[c];
                o[c] = sum;
            }
            activate(o, size_t(co), activation);
        }
    }
}

OXEL_VECTOR_CLONES
void convolveTransposed(const float* in, MapShape inShape, const ConvKernel& kernel, const Window& window, float* out,
                        MapShape outShape)
{
    const int ci = kernel.inChannels, co = kernel.outChannels;
    for (size_t i = 0; i < outShape.size(); i += size_t(co)) std::copy(kernel.bias.begin(), kernel.bias.end(), out + i);
    for (int iy = 0; iy < inShape.height; ++iy) {
        for (int ix = 0; ix < inShape.width; ++ix) {
            const float* pixel = in + (size_t(iy) * size_t(inShape.width) + size_t(ix)) * size_t(ci);
            for (int ky = 0; ky < kernel.height; ++ky) {
                const int oy = iy * window.strideY - window.padTop + ky;
                if (oy < 0 || oy >= outShape.height) continue;
                for (int kx = 0; kx < kernel.width; ++kx) {
                    const int ox = ix * window.strideX - window.padLeft + kx;
                    if (ox < 0 || ox >= outShape.width) continue;
                    float* o = out + (size_t(oy) * size_t(outShape.width) + size_t(ox)) * size_t(co);
                    const float* w = kernel.weights.data() + size_t(ky * kernel.width + kx) * size_t(ci) * size_t(co);
                    mixChannels(o, pixel, w, ci, co);
                }
            }
        }
    }
}

void averageWholeMap(const float* in, MapShape inShape, Activation activation, float* out)
{
    const size_t c = size_t(inShape.channels), pixels = size_t(inShape.height) * size_t(inShape.width);
    std::vector<double> sums(c, 0.0);
    for (size_t p = 0; p < pixels; ++p)
        for (size_t k = 0; k < c; ++k) sums[k] += in[p * c + k];
    for (size_t k = 0; k < c; ++k) out[k] = float(sums[k] / double(pixels));
    activate(out, c, activation);
}

void relu(const float* in, float* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) out[i] = std::max(in[i], 0.0f);
}

void hardSwish(const float* in, float* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) out[i] = in[i] * std::min(std::max(in[i] + 3.0f, 0.0f), 6.0f) / 6.0f;
}

void logistic(const float* in, float* out, size_t count)
{
    // Past +-40 the result is 0 or 1 in float; written so that NaN lands on -40 as well.
    for (size_t i = 0; i < count; ++i) {
        const float x = in[i] > -40.0f ? (in[i] < 40.0f ? in[i] : 40.0f) : -40.0f;
        out[i] = 1.0f / (1.0f + std::exp(-x));
    }
}

void add(const float* a, MapShape aShape, const float* b, MapShape bShape, Activation activation, float* out,
         MapShape outShape)
{
    elementWise(a, aShape, b, bShape, activation, out, outShape, [](float x, float y) { return x + y; });
}

void multiply(const float* a, MapShape aShape, const float* b, MapShape bShape, Activation activation, float* out,
              MapShape outShape)
{
    elementWise(a, aShape, b, bShape, activation, out, outShape, [](float x, float y) { return x * y; });
}

void resizeBilinear(const float* in, MapShape inShape, bool alignCorners, bool halfPixelCenters, float* out,
                    MapShape outShape)
{
    const float scaleY = resizeScale(inShape.height, outShape.height, alignCorners);
    const float scaleX = resizeScale(inShape.width, outShape.width, alignCorners);
    const size_t c = size_t(inShape.channels), row = size_t(inShape.width) * c;
    float* o = out;
    for (int oy = 0; oy < outShape.height; ++oy) {
        const Sample sy = sampleAt(oy, scaleY, halfPixelCenters, inShape.height);
        for (int ox = 0; ox < outShape.width; ++ox) {
            const Sample sx = sampleAt(ox, scaleX, halfPixelCenters, inShape.width);
            const float* p00 = in + size_t(sy.lower) * row + size_t(sx.lower) * c;
            const float* p01 = in + size_t(sy.lower) * row + size_t(sx.upper) * c;
            const float* p10 = in + size_t(sy.upper) * row + size_t(sx.lower) * c;
            const float* p11 = in + size_t(sy.upper) * row + size_t(sx.upper) * c;
            for (size_t k = 0; k < c; ++k) {
                const float top = p00[k] + (p01[k] - p00[k]) * sx.weight;
                const float bottom = p10[k] + (p11[k] - p10[k]) * sx.weight;
                *o++ = top + (bottom - top) * sy.weight;
            }
        }
    }
}

} // namespace oxel::segment
