#pragma once

#include <cstddef>
#include <vector>

namespace oxel::segment {

// The float operators of the segmentation network. Feature maps are one picture each, laid out
// row by row with the channels of a pixel side by side (height x width x channels). The callers
// check every shape before they call; these functions only compute.

// A feature map's shape.
struct MapShape {
    int height = 1;
    int width = 1;
    int channels = 1;

    size_t size() const { return size_t(height) * size_t(width) * size_t(channels); }
    bool operator==(const MapShape&) const = default;
};

// The clamp an operator applies to its results.
enum class Activation { none, relu, reluMinus1To1, relu6 };

// Where a kernel window starts and how far it moves: output pixel (y, x) reads input rows from
// y x strideY - padTop on (and columns likewise).
struct Window {
    int strideY = 1;
    int strideX = 1;
    int padTop = 0;
    int padLeft = 0;
};

// A convolution's kernel, stored tap by tap, then input channel, then output channel
// ([ky][kx][in][out]), so that the innermost loop runs along the output channels.
struct ConvKernel {
    int height = 1;
    int width = 1;
    int inChannels = 1;
    int outChannels = 1;
    std::vector<float> weights;
    std::vector<float> bias;
};

// A depthwise kernel: output channel o reads input channel o / multiplier; stored [ky][kx][out].
struct DepthwiseKernel {
    int height = 1;
    int width = 1;
    int multiplier = 1;
    int outChannels = 1;
    std::vector<float> weights;
    std::vector<float> bias;
};

void convolve(const float* in, MapShape inShape, const ConvKernel& kernel, const Window& window, Activation activation,
              float* out, MapShape outShape);
void convolveDepthwise(const float* in, MapShape inShape, const DepthwiseKernel& kernel, const Window& window,
                       Activation activation, float* out, MapShape outShape);
// Each input pixel spreads its kernel-sized patch over the output, starting at (y x strideY -
// padTop, x x strideX - padLeft); the patches add up, on top of the bias.
void convolveTransposed(const float* in, MapShape inShape, const ConvKernel& kernel, const Window& window, float* out,
                        MapShape outShape);
// The mean of every channel over the whole map: a 1 x 1 map.
void averageWholeMap(const float* in, MapShape inShape, Activation activation, float* out);

void relu(const float* in, float* out, size_t count);
// x x relu6(x + 3) / 6.
void hardSwish(const float* in, float* out, size_t count);
// 1 / (1 + e^-x), its input clamped first so that no input or build option gives NaN.
void logistic(const float* in, float* out, size_t count);

// Element-wise operations of two maps whose dimensions are equal or 1 (a dimension of 1 is
// repeated along the other map's).
void add(const float* a, MapShape aShape, const float* b, MapShape bShape, Activation activation, float* out,
         MapShape outShape);
void multiply(const float* a, MapShape aShape, const float* b, MapShape bShape, Activation activation, float* out,
              MapShape outShape);

// Bilinear resampling. With `alignCorners` the corner pixels' centres meet; with
// `halfPixelCenters` pixel centres sit at half-integer positions.
void resizeBilinear(const float* in, MapShape inShape, bool alignCorners, bool halfPixelCenters, float* out,
                    MapShape outShape);

} // namespace oxel::segment
