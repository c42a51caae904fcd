#include "develop/segment/Operators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace oxel::segment {
namespace {

std::vector<float> counting(size_t count, float from = 1)
{
    std::vector<float> v(count);
    std::iota(v.begin(), v.end(), from);
    return v;
}

void expectValues(const std::vector<float>& actual, const std::vector<float>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-5) << "at " << i;
}

// A kernel of ones over one channel.
ConvKernel ones(int height, int width)
{
    return {height, width, 1, 1, std::vector<float>(size_t(height * width), 1.0f), {0.0f}};
}

std::vector<float> convolved(const std::vector<float>& in, MapShape inShape, const ConvKernel& kernel, Window window,
                             MapShape outShape, Activation activation = Activation::none)
{
    std::vector<float> out(outShape.size(), -99.0f);
    convolve(in.data(), inShape, kernel, window, activation, out.data(), outShape);
    return out;
}

TEST(SegmentConvolution, SamePaddingAtAnEvenSizePadsOnlyAfterTheLastPixel)
{
    // 4 wide, kernel 3, stride 2: two outputs, one pixel of padding on the right only.
    expectValues(convolved({1, 2, 3, 4}, {1, 4, 1}, ones(1, 3), {1, 2, 0, 0}, {1, 2, 1}), {6, 7});
}

TEST(SegmentConvolution, SamePaddingAtAnOddSizePadsBothSides)
{
    // 5 wide, kernel 3, stride 2: three outputs, one pixel of padding on each side.
    expectValues(convolved({1, 2, 3, 4, 5}, {1, 5, 1}, ones(1, 3), {1, 2, 0, 1}, {1, 3, 1}), {3, 9, 9});
    // The same in two dimensions: the corners see 2 x 2 pixels, the centre 3 x 3.
    const auto out = convolved(counting(25), {5, 5, 1}, ones(3, 3), {2, 2, 1, 1}, {3, 3, 1});
    expectValues(out, {1 + 2 + 6 + 7, 2 + 3 + 4 + 7 + 8 + 9, 4 + 5 + 9 + 10, 6 + 7 + 11 + 12 + 16 + 17,
                       7 + 8 + 9 + 12 + 13 + 14 + 17 + 18 + 19, 9 + 10 + 14 + 15 + 19 + 20, 16 + 17 + 21 + 22,
                       17 + 18 + 19 + 22 + 23 + 24, 19 + 20 + 24 + 25});
}

TEST(SegmentConvolution, PointwiseMixesChannelsWithBiasAndClampsThroughItsActivation)
{
    // Two input channels, three output channels; stored [in][out].
    const ConvKernel kernel{1, 1, 2, 3, {1, 0, -1, /* in 1: */ 2, 1, 0}, {0.5f, 0, 0}};
    const std::vector<float> in{1, 2, /* pixel 2: */ 3, -1};
    expectValues(convolved(in, {1, 2, 2}, kernel, {}, {1, 2, 3}), {5.5f, 2, -1, 1.5f, -1, -3});
    expectValues(convolved(in, {1, 2, 2}, kernel, {}, {1, 2, 3}, Activation::relu), {5.5f, 2, 0, 1.5f, 0, 0});
    expectValues(convolved(in, {1, 2, 2}, kernel, {}, {1, 2, 3}, Activation::relu6), {5.5f, 2, 0, 1.5f, 0, 0});
    expectValues(convolved(in, {1, 2, 2}, kernel, {}, {1, 2, 3}, Activation::reluMinus1To1), {1, 1, -1, 1, -1, -1});
    expectValues(convolved({10, 10}, {1, 1, 2}, kernel, {}, {1, 1, 3}, Activation::relu6), {6, 6, 0});
}

TEST(SegmentDepthwise, EachOutputChannelReadsItsOwnInputChannel)
{
    // 2 x 2 input, two channels, 2 x 2 kernel, VALID: one output pixel.
    const DepthwiseKernel kernel{2, 2, 1, 2, {1, 10, 2, 20, 3, 30, 4, 40}, {0.5f, -0.5f}};
    const std::vector<float> in{1, 1, 2, 2, 3, 3, 4, 4};
    std::vector<float> out(2);
    convolveDepthwise(in.data(), {2, 2, 2}, kernel, {}, Activation::none, out.data(), {1, 1, 2});
    expectValues(out, {1 + 4 + 9 + 16 + 0.5f, 10 + 40 + 90 + 160 - 0.5f});
}

TEST(SegmentDepthwise, ADepthMultiplierGivesEachInputChannelSeveralOutputs)
{
    // One pixel, two input channels, multiplier 3: outputs 0-2 read channel 0, 3-5 channel 1.
    const DepthwiseKernel kernel{1, 1, 3, 6, {1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 1}};
    const std::vector<float> in{10, 100};
    std::vector<float> out(6);
    convolveDepthwise(in.data(), {1, 1, 2}, kernel, {}, Activation::none, out.data(), {1, 1, 6});
    expectValues(out, {10, 20, 30, 400, 500, 601});
}

TEST(SegmentDepthwise, SamePaddingAtAStrideOfTwoSkipsTapsOutsideTheMap)
{
    const DepthwiseKernel kernel{3, 3, 1, 1, std::vector<float>(9, 1.0f), {0}};
    const auto in = counting(16);
    std::vector<float> out(4);
    convolveDepthwise(in.data(), {4, 4, 1}, kernel, {2, 2, 0, 0}, Activation::none, out.data(), {2, 2, 1});
    expectValues(out, {1 + 2 + 3 + 5 + 6 + 7 + 9 + 10 + 11, 3 + 4 + 7 + 8 + 11 + 12, 9 + 10 + 11 + 13 + 14 + 15,
                       11 + 12 + 15 + 16});
}

TEST(SegmentTransposedConvolution, ATwoByTwoKernelAtStrideTwoPaintsOneBlockPerInputPixel)
{
    // Input 2 x 2 (a, b / c, d), kernel [[1, 2], [3, 4]], bias 0.5: each input pixel becomes a
    // 2 x 2 block of the kernel times its value, at twice its position.
    const ConvKernel kernel{2, 2, 1, 1, {1, 2, 3, 4}, {0.5f}};
    const std::vector<float> in{1, 10, 100, 1000};
    std::vector<float> out(16);
    convolveTransposed(in.data(), {2, 2, 1}, kernel, {2, 2, 0, 0}, out.data(), {4, 4, 1});
    expectValues(out, {1.5f, 2.5f, 10.5f, 20.5f, 3.5f, 4.5f, 30.5f, 40.5f, 100.5f, 200.5f, 1000.5f, 2000.5f, 300.5f,
                       400.5f, 3000.5f, 4000.5f});
}

TEST(SegmentTransposedConvolution, OverlappingPatchesAddUpAndPaddingCropsTheirEdges)
{
    // One row: input (1, 2), kernel (1, 1, 1), stride 2, padding 1 on the left: patches cover
    // output -1...1 and 1...3 and meet at 1; the output is cropped to 0...3.
    const ConvKernel kernel{1, 3, 1, 1, {1, 1, 1}, {0}};
    const std::vector<float> in{1, 2};
    std::vector<float> out(4);
    convolveTransposed(in.data(), {1, 2, 1}, kernel, {1, 2, 0, 1}, out.data(), {1, 4, 1});
    expectValues(out, {1, 3, 2, 2});
}

TEST(SegmentTransposedConvolution, MixesInputChannelsIntoEachOutputChannel)
{
    // One pixel, two inputs, two outputs, 1 x 1 kernel stored [in][out].
    const ConvKernel kernel{1, 1, 2, 2, {1, 2, 3, 4}, {0, 1}};
    const std::vector<float> in{1, 10};
    std::vector<float> out(2);
    convolveTransposed(in.data(), {1, 1, 2}, kernel, {1, 1, 0, 0}, out.data(), {1, 1, 2});
    expectValues(out, {31, 43});
}

TEST(SegmentPooling, AveragesEachChannelOverTheWholeMap)
{
    const std::vector<float> in{1, -1, 2, -2, 3, -3, 6, -6}; // 2 x 2, two channels
    std::vector<float> out(2);
    averageWholeMap(in.data(), {2, 2, 2}, Activation::none, out.data());
    expectValues(out, {3, -3});
    averageWholeMap(in.data(), {2, 2, 2}, Activation::relu, out.data());
    expectValues(out, {3, 0});
}

TEST(SegmentActivations, HardSwishReluAndLogisticAtTheirKnees)
{
    const std::vector<float> in{-4, -3, -1, 0, 1, 3, 4};
    std::vector<float> out(in.size());
    hardSwish(in.data(), out.data(), in.size());
    expectValues(out, {0, 0, -1 * 2 / 6.0f, 0, 1 * 4 / 6.0f, 3, 4});
    relu(in.data(), out.data(), in.size());
    expectValues(out, {0, 0, 0, 0, 1, 3, 4});
    logistic(in.data(), out.data(), in.size());
    for (size_t i = 0; i < in.size(); ++i) EXPECT_NEAR(out[i], 1 / (1 + std::exp(-in[i])), 1e-6);
}

TEST(SegmentActivations, LogisticStaysANumberForExtremeAndNonNumericInput)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> in{-inf, -1e30f, 1e30f, inf, std::numeric_limits<float>::quiet_NaN()};
    std::vector<float> out(in.size());
    logistic(in.data(), out.data(), in.size());
    expectValues(out, {0, 0, 1, 1, 0});
}

TEST(SegmentElementWise, AddsAndMultipliesMapsOfTheSameShape)
{
    const auto a = counting(4), b = counting(4, 10);
    std::vector<float> out(4);
    add(a.data(), {1, 2, 2}, b.data(), {1, 2, 2}, Activation::none, out.data(), {1, 2, 2});
    expectValues(out, {11, 13, 15, 17});
    multiply(a.data(), {1, 2, 2}, b.data(), {1, 2, 2}, Activation::relu6, out.data(), {1, 2, 2});
    expectValues(out, {6, 6, 6, 6});
}

TEST(SegmentElementWise, BroadcastsAlongEveryDimensionOfOne)
{
    // A per-channel scale over a 2 x 1 x 3 map.
    const auto map = counting(6), scale = std::vector<float>{1, 10, 100};
    std::vector<float> out(6);
    multiply(map.data(), {2, 1, 3}, scale.data(), {1, 1, 3}, Activation::none, out.data(), {2, 1, 3});
    expectValues(out, {1, 20, 300, 4, 50, 600});
    // The scale first, the map second.
    multiply(scale.data(), {1, 1, 3}, map.data(), {2, 1, 3}, Activation::none, out.data(), {2, 1, 3});
    expectValues(out, {1, 20, 300, 4, 50, 600});
    // A column (2 x 1 x 1) plus a row (1 x 3 x 1) makes a 2 x 3 table.
    const std::vector<float> column{10, 20}, row{1, 2, 3};
    add(column.data(), {2, 1, 1}, row.data(), {1, 3, 1}, Activation::none, out.data(), {2, 3, 1});
    expectValues(out, {11, 12, 13, 21, 22, 23});
}

TEST(SegmentResize, DoublesAMapWithHalfPixelCentres)
{
    // One row (0, 4) to four: centres at -0.25, 0.25, 0.75, 1.25 of the input, clamped at its edges.
    const std::vector<float> in{0, 4};
    std::vector<float> out(4);
    resizeBilinear(in.data(), {1, 2, 1}, false, true, out.data(), {1, 4, 1});
    expectValues(out, {0, 1, 3, 4});
}

TEST(SegmentResize, AlignedCornersKeepTheEndsAndPlainScalingStartsAtZero)
{
    const std::vector<float> in{0, 4};
    std::vector<float> out(3);
    resizeBilinear(in.data(), {1, 2, 1}, true, false, out.data(), {1, 3, 1});
    expectValues(out, {0, 2, 4});
    std::vector<float> plain(4);
    resizeBilinear(in.data(), {1, 2, 1}, false, false, plain.data(), {1, 4, 1});
    expectValues(plain, {0, 2, 4, 4});
}

TEST(SegmentResize, InterpolatesRowsAndColumnsOfEveryChannel)
{
    // 2 x 2 map, two channels (the second is ten times the first), to 3 x 3 with aligned corners.
    const std::vector<float> in{0, 0, 2, 20, 4, 40, 6, 60};
    std::vector<float> out(18);
    resizeBilinear(in.data(), {2, 2, 2}, true, false, out.data(), {3, 3, 2});
    expectValues(out, {0, 0, 1, 10, 2, 20, 2, 20, 3, 30, 4, 40, 4, 40, 5, 50, 6, 60});
}

} // namespace
} // namespace oxel::segment
