#include "TinyModels.h"

#include "develop/segment/Network.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace oxel::segment {
namespace {

using test::F;
using test::TestModel;
namespace op = test::op;

std::vector<float> testInput(size_t count)
{
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = float(std::sin(0.7 * double(i)) * 1.5);
    return v;
}

// The every-operator model computed by calling the operators one by one.
std::vector<float> everyOperatorByHand(const std::vector<float>& in)
{
    const ConvKernel conv{1, 1, 2, 2, {1.0f, 0.25f, -0.5f, 2.0f}, {0.1f, -0.2f}};
    std::vector<float> a(32), b(32), dw(8), pool(2), gate(2), gated(8), resized(32), sum(32), out(64);
    convolve(in.data(), {4, 4, 2}, conv, {}, Activation::none, a.data(), {4, 4, 2});
    hardSwish(a.data(), b.data(), 32);
    const DepthwiseKernel depthwise{3,
                                    3,
                                    1,
                                    2,
                                    {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, -0.1f, -0.2f, -0.3f, -0.4f,
                                     -0.5f, -0.6f, -0.7f, -0.8f, -0.9f},
                                    {0.0f, 0.5f}};
    convolveDepthwise(b.data(), {4, 4, 2}, depthwise, {2, 2, 0, 0}, Activation::none, dw.data(), {2, 2, 2});
    averageWholeMap(dw.data(), {2, 2, 2}, Activation::none, pool.data());
    logistic(pool.data(), gate.data(), 2);
    multiply(dw.data(), {2, 2, 2}, gate.data(), {1, 1, 2}, Activation::none, gated.data(), {2, 2, 2});
    resizeBilinear(gated.data(), {2, 2, 2}, false, true, resized.data(), {4, 4, 2});
    add(resized.data(), {4, 4, 2}, a.data(), {4, 4, 2}, Activation::none, sum.data(), {4, 4, 2});
    relu(sum.data(), sum.data(), 32);
    const ConvKernel up{2, 2, 2, 1, {1, -1, 2, -2, 3, -3, 4, -4}, {0.25f}};
    convolveTransposed(sum.data(), {4, 4, 2}, up, {2, 2, 0, 0}, out.data(), {8, 8, 1});
    return out;
}

TEST(SegmentNetwork, RunsEveryOperatorAsTheOperatorsThemselvesDo)
{
    const auto bytes = test::everyOperatorModel().bytes();
    const auto network = Network::load(bytes);
    ASSERT_TRUE(network) << network.error().text();
    EXPECT_EQ(network->inputShape(), (MapShape{4, 4, 2}));
    EXPECT_EQ(network->outputShape(), (MapShape{8, 8, 1}));
    EXPECT_EQ(network->operatorCount(), 10u) << "the half-precision weights are folded at load";
    const auto input = testInput(32);
    const auto out = network->run(input), expected = everyOperatorByHand(input);
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], expected[i], 1e-5) << "at " << i;
    EXPECT_TRUE(network->run(testInput(31)).empty()) << "an input of the wrong size is refused";
}

TEST(SegmentNetwork, ReadsConvolutionWeightsOutputChannelFirst)
{
    TestModel m;
    const int32_t in = m.map({1, 1, 1, 2});
    const int32_t w = m.floats({3, 1, 1, 2}, {1, 2, 3, 4, 5, 6});
    const int32_t bias = m.floats({3}, {0, 0, 1});
    const int32_t out = m.map({1, 1, 1, 3});
    m.outputs = {out};
    m.operators = {{op::conv, {in, w, bias}, {out}, op::convOptions, test::convOptions(1, 1)}};
    const auto network = Network::load(m.bytes());
    ASSERT_TRUE(network) << network.error().text();
    EXPECT_EQ(network->run(std::vector<float>{1, 10}), (std::vector<float>{21, 43, 66}));
}

TEST(SegmentNetwork, WidensHalfPrecisionWeightsExactly)
{
    TestModel m;
    const int32_t in = m.map({1, 1, 1, 1});
    // 1, -2, 65504 (the largest half), 2^-24 (the smallest subnormal), -0.
    const int32_t half = m.add({{5, 1, 1, 1}, 1, test::halves({0x3C00, 0xC000, 0x7BFF, 0x0001, 0x8000})});
    const int32_t w = m.map({5, 1, 1, 1});
    const int32_t out = m.map({1, 1, 1, 5});
    m.outputs = {out};
    m.operators = {{op::dequantize, {half}, {w}}, {op::conv, {in, w}, {out}, op::convOptions, test::convOptions(1, 1)}};
    const auto network = Network::load(m.bytes());
    ASSERT_TRUE(network) << network.error().text();
    EXPECT_EQ(network->run(std::vector<float>{1}), (std::vector<float>{1, -2, 65504, std::ldexp(1.0f, -24), 0}));
}

TEST(SegmentNetwork, MapsThatAreNoLongerReadShareScratchMemory)
{
    // A chain of five relus over 1000 values needs two maps at a time, not six.
    TestModel m;
    int32_t previous = m.map({1, 10, 10, 10});
    for (int i = 0; i < 5; ++i) {
        const int32_t next = m.map({1, 10, 10, 10});
        m.operators.push_back({op::relu, {previous}, {next}});
        previous = next;
    }
    m.outputs = {previous};
    const auto network = Network::load(m.bytes());
    ASSERT_TRUE(network) << network.error().text();
    EXPECT_EQ(network->scratchSize(), 2000u);
    const auto out = network->run(testInput(1000));
    const auto in = testInput(1000);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], std::max(in[i], 0.0f));
}

// One damage done to the every-operator model, and a word of the error it must give.
struct Damage {
    const char* name;
    std::function<void(TestModel&)> apply;
    const char* error;
};

void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.name;
}

TestModel::Operator& find(TestModel& m, int32_t code)
{
    for (auto& o : m.operators)
        if (o.code == code) return o;
    throw std::logic_error("no such operator");
}

void setOption(TestModel::Operator& o, int index, std::vector<uint8_t> bytes)
{
    for (auto& f : o.options)
        if (f.index == index) f.bytes = bytes;
}

template <class T>
std::vector<uint8_t> le(T value)
{
    std::vector<uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

const Damage damages[] = {
    {"SchemaVersion", [](TestModel& m) { m.version = 2; }, "version"},
    {"UnknownOperator", [](TestModel& m) { find(m, op::relu).code = 17; }, "not supported"},
    {"UnknownCustomOperator", [](TestModel& m) { find(m, op::custom).custom = "MaxUnpooling2D"; }, "not supported"},
    {"ZeroStride", [](TestModel& m) { setOption(find(m, op::depthwiseConv), 1, le<int32_t>(0)); }, "stride"},
    {"NegativeStride", [](TestModel& m) { setOption(find(m, op::conv), 2, le<int32_t>(-1)); }, "stride"},
    {"HugeStride", [](TestModel& m) { setOption(find(m, op::conv), 2, le<int32_t>(1 << 30)); }, "stride"},
    {"UnknownPadding", [](TestModel& m) { setOption(find(m, op::conv), 0, le<int8_t>(2)); }, "padding"},
    {"TanhActivation", [](TestModel& m) { setOption(find(m, op::conv), 3, le<int8_t>(4)); }, "activation"},
    {"Dilation", [](TestModel& m) { find(m, op::conv).options.push_back(F::scalar<int32_t>(4, 2)); }, "dilated"},
    {"OptionsOfAnotherKind", [](TestModel& m) { find(m, op::conv).optionsType = op::poolOptions; }, "options"},
    {"MissingOptions",
     [](TestModel& m) {
         auto& o = find(m, op::depthwiseConv);
         o.options.clear(), o.optionsType = 0;
     },
     "options"},
    {"StrideThatChangesTheOutput", [](TestModel& m) { setOption(find(m, op::conv), 1, le<int32_t>(2)); },
     "declared output shape"},
    {"DeclaredShapeDiffers",
     [](TestModel& m) {
         m.tensors[5].shape = {1, 4, 4, 3};
     },
     "declared output shape"},
    {"KernelChannelsDiffer",
     [](TestModel& m) {
         m.tensors[1] = {{2, 1, 1, 1}, 1, test::halves({0x3C00, 0x3C00})};
         m.tensors[2].shape = {2, 1, 1, 1};
     },
     "input channels"},
    {"DequantizedShapeDiffers",
     [](TestModel& m) {
         m.tensors[2].shape = {2, 1, 2, 1};
     },
     "does not match"},
    {"BiasOfTheWrongLength",
     [](TestModel& m) {
         m.tensors[3] = {{3}, 0, std::vector<uint8_t>(12, 0)};
     },
     "bias"},
    {"ConstantShorterThanItsShape", [](TestModel& m) { m.tensors[6].data.resize(68); }, "byte count"},
    {"NotANumberWeight", [](TestModel& m) { std::memcpy(m.tensors[6].data.data(), le(NAN).data(), 4); }, "not finite"},
    {"InfiniteHalfWeight",
     [](TestModel& m) {
         m.tensors[1].data = test::halves({0x7C00, 0, 0, 0});
     },
     "not finite"},
    {"ZeroDimension",
     [](TestModel& m) {
         m.tensors[5].shape = {1, 0, 4, 2};
     },
     "dimension"},
    {"NegativeDimension",
     [](TestModel& m) {
         m.tensors[5].shape = {1, -4, 4, 2};
     },
     "dimension"},
    {"OverflowingDimensions",
     [](TestModel& m) {
         m.tensors[5].shape = {1, 1 << 16, 1 << 16, 1 << 16};
     },
     "dimension"},
    {"FiveDimensions",
     [](TestModel& m) {
         m.tensors[5].shape = {1, 1, 4, 4, 2};
     },
     "dimensions"},
    {"UnknownElementType", [](TestModel& m) { m.tensors[5].type = 9; }, "element type"},
    {"InputIndexOutOfRange", [](TestModel& m) { find(m, op::hardSwish).inputs = {360}; }, "out of range"},
    {"NegativeInputIndex", [](TestModel& m) { find(m, op::hardSwish).inputs = {-1}; }, "out of range"},
    {"OutputIndexOutOfRange", [](TestModel& m) { m.outputs = {99}; }, "out of range"},
    {"ReadsAMapBeforeItIsMade", [](TestModel& m) { std::swap(m.operators[2], m.operators[3]); }, "no earlier"},
    {"WritesAConstant", [](TestModel& m) { find(m, op::relu).outputs = {7}; }, "constant"},
    {"WritesAMapTwice", [](TestModel& m) { find(m, op::relu).outputs = {5}; }, "already made"},
    {"TwoOutputs",
     [](TestModel& m) {
         find(m, op::relu).outputs = {14, 15};
     },
     "exactly one output"},
    {"MissingInput", [](TestModel& m) { find(m, op::add).inputs.pop_back(); }, "inputs"},
    {"ConvolutionWithoutWeights", [](TestModel& m) { find(m, op::conv).inputs = {0}; }, "inputs"},
    {"WeightsThatAreAMap", [](TestModel& m) { find(m, op::conv).inputs[1] = 0; }, "weights"},
    {"HalfPrecisionOperand",
     [](TestModel& m) {
         find(m, op::mul).inputs = {8, 1};
     },
     "another type"},
    {"ShapesThatDoNotBroadcast",
     [](TestModel& m) {
         find(m, op::mul).inputs = {8, 5};
     },
     "broadcast"},
    {"PoolingPartOfTheMap", [](TestModel& m) { setOption(find(m, op::averagePool), 3, le<int32_t>(1)); }, "whole-map"},
    {"DepthMultiplierDiffers", [](TestModel& m) { setOption(find(m, op::depthwiseConv), 3, le<int32_t>(2)); },
     "multiplier"},
    {"ResizeToZero",
     [](TestModel& m) {
         m.tensors[12] = {{2}, 2, le<int64_t>(4)};
     },
     "size"},
    {"ResizeSizeOfThreeNumbers",
     [](TestModel& m) {
         std::vector<uint8_t> three(12, 0);
         three[0] = 4, three[4] = 4, three[8] = 4;
         m.tensors[12] = {{3}, 2, three};
     },
     "two numbers"},
    {"ResizeBothAlignedAndHalfPixel", [](TestModel& m) { setOption(find(m, op::resizeBilinear), 2, le<uint8_t>(1)); },
     "align"},
    {"DequantizeOfFloats", [](TestModel& m) { find(m, op::dequantize).inputs = {3}; }, "half-precision"},
    {"TransposedOptionsTooShort", [](TestModel& m) { find(m, op::custom).customOptions.resize(8); }, "three numbers"},
    {"TransposedPaddingUnknown",
     [](TestModel& m) { find(m, op::custom).customOptions = test::transposedOptions(0, 2, 2); }, "padding"},
    {"TransposedZeroStride", [](TestModel& m) { find(m, op::custom).customOptions = test::transposedOptions(1, 0, 2); },
     "stride"},
    {"TwoGraphInputs",
     [](TestModel& m) {
         m.inputs = {0, 5};
     },
     "one input"},
    {"ConstantGraphInput", [](TestModel& m) { m.inputs = {3}; }, "input"},
    {"OutputNeverComputed", [](TestModel& m) { m.operators.pop_back(); }, "never computed"},
};

class SegmentNetworkDamage : public testing::TestWithParam<Damage> {};

TEST_P(SegmentNetworkDamage, IsRefusedWithAClearError)
{
    TestModel model = test::everyOperatorModel();
    GetParam().apply(model);
    const auto network = Network::load(model.bytes());
    ASSERT_FALSE(network);
    EXPECT_NE(network.error().text().find(GetParam().error), std::string::npos) << network.error().text();
}

INSTANTIATE_TEST_SUITE_P(EveryCheckedField, SegmentNetworkDamage, testing::ValuesIn(damages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SegmentNetwork, RefusesEveryTruncationOfAModel)
{
    const auto bytes = test::everyOperatorModel().bytes();
    ASSERT_TRUE(Network::load(bytes));
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
        EXPECT_FALSE(Network::load(cut)) << "cut to " << size << " of " << bytes.size() << " bytes";
    }
}

TEST(SegmentNetwork, RefusesReferencesAndFieldListsThatPointOutside)
{
    const auto bytes = test::everyOperatorModel().bytes();
    // Every 32-bit word of the model replaced by one that points far outside it, and by -1:
    // whatever the word was (offset, length, index or value), loading never reads outside.
    size_t refused = 0;
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
        for (const uint32_t word : {0x7FFFFFF0u, 0xFFFFFFFFu}) {
            auto damaged = bytes;
            std::memcpy(damaged.data() + at, &word, 4);
            refused += !Network::load(damaged);
        }
    }
    EXPECT_GT(refused, bytes.size() / 4);
}

} // namespace
} // namespace oxel::segment
