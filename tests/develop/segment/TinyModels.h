#pragma once

#include "TestModel.h"

#include <cstdint>
#include <vector>

namespace oxel::test {

// Operator codes and option kinds of the model format, as the tests need them.
namespace op {
constexpr int32_t add = 0, averagePool = 1, conv = 3, depthwiseConv = 4, dequantize = 6, logistic = 14, mul = 18,
                  relu = 19, resizeBilinear = 23, custom = 32, hardSwish = 117;
constexpr uint8_t convOptions = 1, depthwiseOptions = 2, poolOptions = 5, addOptions = 11, resizeOptions = 15,
                  mulOptions = 21;
} // namespace op

using F = FlatBuilder;

// Convolution options: padding (0 same, 1 valid), strides, fused activation.
inline std::vector<FlatBuilder::Field> convOptions(int8_t padding, int32_t stride, int8_t activation = 0)
{
    return {F::scalar<int8_t>(0, padding), F::scalar<int32_t>(1, stride), F::scalar<int32_t>(2, stride),
            F::scalar<int8_t>(3, activation)};
}

inline std::vector<uint8_t> transposedOptions(int32_t padding, int32_t strideX, int32_t strideY)
{
    std::vector<uint8_t> bytes(12);
    const int32_t values[3] = {padding, strideX, strideY};
    std::memcpy(bytes.data(), values, 12);
    return bytes;
}

inline std::vector<uint8_t> halves(const std::vector<uint16_t>& values)
{
    std::vector<uint8_t> bytes(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// A model that uses every operator the interpreter knows, on a 4 x 4 x 2 input:
// conv 1x1 (half-precision weights) -> hard swish -> depthwise 3x3 stride 2 -> whole-map average ->
// logistic -> multiply (broadcast) -> resize to 4 x 4 -> add the conv output -> relu ->
// transposed 2x2 stride 2 -> 8 x 8 x 1.
inline TestModel everyOperatorModel()
{
    TestModel m;
    const int32_t in = m.map({1, 4, 4, 2});
    // 1.0, -0.5, 0.25, 2.0 as half-precision values, OHWI [2, 1, 1, 2].
    const int32_t convHalf = m.add({{2, 1, 1, 2}, 1, halves({0x3C00, 0xB800, 0x3400, 0x4000})});
    const int32_t convWeights = m.map({2, 1, 1, 2});
    const int32_t convBias = m.floats({2}, {0.1f, -0.2f});
    const int32_t conv = m.map({1, 4, 4, 2});
    const int32_t swish = m.map({1, 4, 4, 2});
    const int32_t dwWeights = m.floats({1, 3, 3, 2}, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, -0.1f,
                                                      -0.2f, -0.3f, -0.4f, -0.5f, -0.6f, -0.7f, -0.8f, -0.9f});
    const int32_t dwBias = m.floats({2}, {0.0f, 0.5f});
    const int32_t dw = m.map({1, 2, 2, 2});
    const int32_t pool = m.map({1, 1, 1, 2});
    const int32_t gate = m.map({1, 1, 1, 2});
    const int32_t gated = m.map({1, 2, 2, 2});
    const int32_t size = m.ints({2}, {4, 4});
    const int32_t resized = m.map({1, 4, 4, 2});
    const int32_t sum = m.map({1, 4, 4, 2});
    const int32_t rectified = m.map({1, 4, 4, 2});
    const int32_t upWeights = m.floats({1, 2, 2, 2}, {1, -1, 2, -2, 3, -3, 4, -4});
    const int32_t upBias = m.floats({1}, {0.25f});
    const int32_t out = m.map({1, 8, 8, 1});
    m.inputs = {in};
    m.outputs = {out};
    m.operators = {
        {op::dequantize, {convHalf}, {convWeights}},
        {op::conv, {in, convWeights, convBias}, {conv}, op::convOptions, convOptions(0, 1)},
        {op::hardSwish, {conv}, {swish}},
        {op::depthwiseConv,
         {swish, dwWeights, dwBias},
         {dw},
         op::depthwiseOptions,
         {F::scalar<int8_t>(0, 0), F::scalar<int32_t>(1, 2), F::scalar<int32_t>(2, 2), F::scalar<int32_t>(3, 1)}},
        {op::averagePool,
         {dw},
         {pool},
         op::poolOptions,
         {F::scalar<int8_t>(0, 1), F::scalar<int32_t>(1, 2), F::scalar<int32_t>(2, 2), F::scalar<int32_t>(3, 2),
          F::scalar<int32_t>(4, 2)}},
        {op::logistic, {pool}, {gate}},
        {op::mul, {dw, gate}, {gated}, op::mulOptions, {F::scalar<int8_t>(0, 0)}},
        {op::resizeBilinear,
         {gated, size},
         {resized},
         op::resizeOptions,
         {F::scalar<uint8_t>(2, 0), F::scalar<uint8_t>(3, 1)}},
        {op::add, {resized, conv}, {sum}, op::addOptions, {F::scalar<int8_t>(0, 0)}},
        {op::relu, {sum}, {rectified}},
        {op::custom,
         {rectified, upWeights, upBias},
         {out},
         0,
         {},
         "Convolution2DTransposeBias",
         transposedOptions(1, 2, 2)},
    };
    return m;
}

} // namespace oxel::test
