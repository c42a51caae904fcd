#include "develop/segment/OperatorOptions.h"

#include "develop/segment/ModelFormat.h"

#include <algorithm>
#include <cstring>

namespace oxel::segment {

using format::require;

namespace {

enum class Padding { same, valid };

// The output size and leading padding of a window along one axis.
struct AxisWindow {
    int outSize, pad;
};

AxisWindow convolutionAxis(int inSize, int kernel, int stride, Padding padding)
{
    require(stride >= 1 && stride <= format::largestWindow, "a stride is out of range");
    require(kernel >= 1 && kernel <= format::largestWindow, "a kernel size is out of range");
    if (padding == Padding::valid) {
        require(inSize >= kernel, "a kernel is larger than its valid input");
        return {(inSize - kernel) / stride + 1, 0};
    }
    const int out = int((int64_t(inSize) + stride - 1) / stride);
    return {out, int(std::max<int64_t>(int64_t(out - 1) * stride + kernel - inSize, 0) / 2)};
}

AxisWindow transposedAxis(int inSize, int kernel, int stride, Padding padding)
{
    require(stride >= 1 && stride <= format::largestKernel, "a stride is out of range");
    const int64_t outSize = padding == Padding::same ? int64_t(inSize) * stride : int64_t(inSize - 1) * stride + kernel;
    require(outSize <= format::largestMap, "a transposed convolution's output is too large");
    return {int(outSize), int(std::max<int64_t>(int64_t(inSize - 1) * stride + kernel - outSize, 0) / 2)};
}

Padding paddingOf(int8_t code)
{
    require(code == 0 || code == 1, "a padding is neither same nor valid");
    return code == 0 ? Padding::same : Padding::valid;
}

} // namespace

Activation activationOf(int8_t code)
{
    switch (code) {
    case 0: return Activation::none;
    case 1: return Activation::relu;
    case 2: return Activation::reluMinus1To1;
    case 3: return Activation::relu6;
    default: throw ModelError("an operator's fused activation is not supported");
    }
}

Placement placementOf(const FlatTable& options, MapShape in, int kernelHeight, int kernelWidth)
{
    const Padding padding = paddingOf(options.scalar<int8_t>(0, 0));
    const int strideX = options.scalar<int32_t>(1, 0), strideY = options.scalar<int32_t>(2, 0);
    const AxisWindow ys = convolutionAxis(in.height, kernelHeight, strideY, padding);
    const AxisWindow xs = convolutionAxis(in.width, kernelWidth, strideX, padding);
    return {{strideY, strideX, ys.pad, xs.pad}, ys.outSize, xs.outSize};
}

void requireUndilated(const FlatTable& options, int first)
{
    require(options.scalar<int32_t>(first, 1) == 1 && options.scalar<int32_t>(first + 1, 1) == 1,
            "dilated convolutions are not supported");
}

Placement transposedPlacementOf(std::span<const uint8_t> customOptions, MapShape in, int kernelHeight, int kernelWidth)
{
    require(customOptions.size() == 12, "the transposed convolution's options are not three numbers");
    int32_t values[3];
    std::memcpy(values, customOptions.data(), 12);
    const auto [paddingCode, strideX, strideY] = values;
    require(paddingCode == 1 || paddingCode == 2, "the transposed convolution's padding is neither same nor valid");
    const Padding padding = paddingCode == 1 ? Padding::same : Padding::valid;
    const AxisWindow ys = transposedAxis(in.height, kernelHeight, strideY, padding);
    const AxisWindow xs = transposedAxis(in.width, kernelWidth, strideX, padding);
    return {{strideY, strideX, ys.pad, xs.pad}, ys.outSize, xs.outSize};
}

} // namespace oxel::segment
