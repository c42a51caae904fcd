#include "develop/segment/FlatTable.h"
#include "develop/segment/ModelFormat.h"
#include "develop/segment/ModelTensors.h"
#include "develop/segment/Network.h"
#include "develop/segment/OperatorOptions.h"
#include "develop/segment/ScratchPlan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace oxel::segment {

using namespace format;

namespace {

// Builds a Network from the model's tables, operator by operator.
class Builder {
public:
    explicit Builder(std::span<const uint8_t> bytes) : model_(FlatTable::root(bytes)) {}

    Network::Program build()
    {
        require(model_.scalar<uint32_t>(field::modelVersion, 0) == schemaVersion,
                "the model's schema version is not 3");
        const auto graphs = model_.vector(field::modelSubgraphs, 4);
        require(graphs.count == 1, "the model does not hold exactly one graph");
        const FlatTable graph = model_.tableAt(graphs, 0);
        tensors_ = readModelTensors(model_, graph, where_);
        readGraphEnds(graph);
        const auto operators = graph.vector(field::graphOperators, 4);
        for (size_t i = 0; i < operators.count; ++i) {
            where_ = "operator " + std::to_string(i);
            addOperator(graph.tableAt(operators, i));
        }
        where_ = "the model's output";
        require(maps_.count(output_), "the graph's output is never computed");
        require(maps_.at(output_) == mapShapeOf(tensors_[size_t(output_)].shape), "the output shape differs");
        return finish();
    }

    const std::string& where() const { return where_; }

private:
    // --- the graph's ends and the operators' operands ---

    void readGraphEnds(const FlatTable& graph)
    {
        where_ = "the graph's ends";
        const auto inputs = graph.vector(field::graphInputs, 4), outputs = graph.vector(field::graphOutputs, 4);
        require(inputs.count == 1 && outputs.count == 1, "the graph does not have one input and one output");
        input_ = tensorIndex(graph.elementAt<int32_t>(inputs, 0));
        output_ = tensorIndex(graph.elementAt<int32_t>(outputs, 0));
        const ModelTensor& in = tensors_[size_t(input_)];
        require(!in.isConstant() && in.type == ElementType::float32, "the graph's input is not a float map");
        maps_[input_] = mapShapeOf(in.shape);
        producedAt_[input_] = -1;
    }

    int32_t tensorIndex(int32_t index) const
    {
        require(index >= 0 && size_t(index) < tensors_.size(), "a tensor index is out of range");
        return index;
    }

    // A map that an earlier operator (or the graph's input) made.
    struct MapInput {
        int32_t tensor;
        MapShape shape;
    };
    MapInput mapInput(int32_t index)
    {
        tensorIndex(index);
        const auto found = maps_.find(index);
        require(found != maps_.end(), "an operator reads a map that no earlier operator made");
        lastUse_[index] = step();
        return {index, found->second};
    }

    // An operand that is either a map or a float constant of rank 4 or less.
    struct Operand {
        int32_t map = -1;
        std::shared_ptr<const std::vector<float>> constant;
        MapShape shape;
    };
    Operand operandInput(int32_t index)
    {
        const ModelTensor& tensor = tensors_[size_t(tensorIndex(index))];
        if (tensor.values) {
            require(tensor.type == ElementType::float32, "an operand is a constant of another type");
            std::vector<int32_t> shape(4 - std::min<size_t>(tensor.shape.size(), 4), 1);
            shape.insert(shape.end(), tensor.shape.begin(), tensor.shape.end());
            return {-1, tensor.values, mapShapeOf(shape)};
        }
        const MapInput input = mapInput(index);
        return {input.tensor, nullptr, input.shape};
    }

    const ModelTensor& constantInput(int32_t index, ElementType type)
    {
        const ModelTensor& tensor = tensors_[size_t(tensorIndex(index))];
        require(tensor.isConstant() && tensor.type == type,
                "an operator's weights are not a constant of the right type");
        return tensor;
    }

    // Declares the operator's output map and checks it against the model's declaration.
    int32_t mapOutput(int32_t index, MapShape shape)
    {
        const ModelTensor& tensor = tensors_[size_t(tensorIndex(index))];
        require(!tensor.isConstant() && !maps_.count(index), "an operator writes a constant or a map already made");
        require(tensor.type == ElementType::float32, "an operator's output is not float");
        require(tensor.shape == declaredShape(shape), "an operator's declared output shape differs from its own");
        require(int64_t(shape.size()) <= largestMap, "an output map is too large");
        maps_[index] = shape;
        producedAt_[index] = step();
        return index;
    }

    int step() const { return int(steps_.size()); }

    // --- operators ---

    struct Operator {
        Builtin code;
        std::vector<int32_t> inputs, outputs;
        std::optional<FlatTable> options;
        uint8_t optionsType = 0;
        std::span<const uint8_t> customOptions;
    };

    void addOperator(const FlatTable& table)
    {
        Operator op = readOperator(table);
        switch (op.code) {
        case Builtin::conv: return addConvolution(op);
        case Builtin::depthwiseConv: return addDepthwise(op);
        case Builtin::averagePool: return addAveragePool(op);
        case Builtin::hardSwish: return addUnary(op, hardSwish);
        case Builtin::relu: return addUnary(op, relu);
        case Builtin::logistic: return addUnary(op, logistic);
        case Builtin::add: return addElementWise(op, OptionsType::add, add);
        case Builtin::multiply: return addElementWise(op, OptionsType::multiply, multiply);
        case Builtin::resizeBilinear: return addResize(op);
        case Builtin::dequantize: return foldDequantize(op);
        case Builtin::custom: return addTransposedConvolution(op);
        }
    }

    Operator readOperator(const FlatTable& table)
    {
        const auto codes = model_.vector(field::modelOperatorCodes, 4);
        const uint32_t codeIndex = table.scalar<uint32_t>(field::opCode, 0);
        require(codeIndex < codes.count, "an operator code index is out of range");
        const FlatTable code = model_.tableAt(codes, codeIndex);
        const int32_t builtin = std::max<int32_t>(code.scalar<int8_t>(field::codeDeprecatedBuiltin, 0),
                                                  code.scalar<int32_t>(field::codeBuiltin, 0));
        Operator op{Builtin(builtin),
                    ints(table, field::opInputs),
                    ints(table, field::opOutputs),
                    table.table(field::opOptions),
                    table.scalar<uint8_t>(field::opOptionsType, 0),
                    table.bytes(field::opCustomOptions)};
        switch (op.code) {
        case Builtin::add:
        case Builtin::averagePool:
        case Builtin::conv:
        case Builtin::depthwiseConv:
        case Builtin::dequantize:
        case Builtin::logistic:
        case Builtin::multiply:
        case Builtin::relu:
        case Builtin::resizeBilinear:
        case Builtin::hardSwish: break;
        case Builtin::custom:
            require(code.string(field::codeCustom) == transposedConvolution,
                    "the custom operator \"" + std::string(code.string(field::codeCustom)) + "\" is not supported");
            break;
        default: throw ModelError("the operator with code " + std::to_string(builtin) + " is not supported");
        }
        require(op.outputs.size() == 1, "an operator does not have exactly one output");
        return op;
    }

    static std::vector<int32_t> ints(const FlatTable& table, int field)
    {
        const auto v = table.vector(field, 4);
        require(v.count <= 8, "an operator has too many inputs or outputs");
        std::vector<int32_t> out;
        for (size_t i = 0; i < v.count; ++i) out.push_back(table.elementAt<int32_t>(v, i));
        return out;
    }

    static const FlatTable& optionsOf(const Operator& op, OptionsType type)
    {
        require(op.options && op.optionsType == uint8_t(type), "an operator's options are missing or of another kind");
        return *op.options;
    }

    static void requireInputs(const Operator& op, size_t count)
    {
        require(op.inputs.size() == count, "an operator has the wrong number of inputs");
    }

    // Weights of shape [out, height, width, in] (or [1, height, width, out] for depthwise),
    // checked against the input channels.
    std::array<int, 4> kernelShape(const ModelTensor& weights)
    {
        require(weights.shape.size() == 4, "a kernel is not of rank 4");
        for (const int32_t d : weights.shape) require(d <= 4096, "a kernel dimension is out of range");
        require(weights.shape[1] <= largestKernel && weights.shape[2] <= largestKernel, "a kernel is too large");
        return {weights.shape[0], weights.shape[1], weights.shape[2], weights.shape[3]};
    }

    std::vector<float> biasOf(const Operator& op, size_t index, int channels)
    {
        if (index >= op.inputs.size() || op.inputs[index] < 0) return std::vector<float>(size_t(channels), 0.0f);
        const ModelTensor& bias = constantInput(op.inputs[index], ElementType::float32);
        require(bias.shape == std::vector<int32_t>{channels}, "a bias does not have one value per output channel");
        return *bias.values;
    }

    // A standard convolution's kernel, reordered so that output channels run innermost.
    ConvKernel convKernel(const Operator& op, int inChannels)
    {
        const ModelTensor& weights = constantInput(op.inputs[1], ElementType::float32);
        const auto [out, height, width, in] = kernelShape(weights);
        require(in == inChannels, "a kernel's input channels differ from its input's");
        ConvKernel kernel{height, width, in, out, std::vector<float>(weights.values->size()), biasOf(op, 2, out)};
        const float* w = weights.values->data();
        for (int o = 0; o < out; ++o)
            for (int t = 0; t < height * width; ++t)
                for (int i = 0; i < in; ++i)
                    kernel.weights[(size_t(t) * size_t(in) + size_t(i)) * size_t(out) + size_t(o)] =
                        w[(size_t(o) * size_t(height * width) + size_t(t)) * size_t(in) + size_t(i)];
        return kernel;
    }

    void addConvolution(const Operator& op)
    {
        require(op.inputs.size() == 2 || op.inputs.size() == 3, "a convolution has the wrong number of inputs");
        const FlatTable& options = optionsOf(op, OptionsType::conv);
        requireUndilated(options, 4);
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape inShape = input.shape;
        auto kernel = std::make_shared<const ConvKernel>(convKernel(op, inShape.channels));
        const Placement placed = placementOf(options, inShape, kernel->height, kernel->width);
        const Window window = placed.window;
        const Activation activation = activationOf(options.scalar<int8_t>(3, 0));
        const MapShape outShape{placed.height, placed.width, kernel->outChannels};
        const int32_t out = mapOutput(op.outputs[0], outShape);
        addStep({in, out}, [=](float* const* maps) {
            convolve(maps[0], inShape, *kernel, window, activation, maps[1], outShape);
        });
    }

    void addDepthwise(const Operator& op)
    {
        require(op.inputs.size() == 2 || op.inputs.size() == 3, "a convolution has the wrong number of inputs");
        const FlatTable& options = optionsOf(op, OptionsType::depthwiseConv);
        requireUndilated(options, 5);
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape inShape = input.shape;
        const ModelTensor& weights = constantInput(op.inputs[1], ElementType::float32);
        const auto [one, height, width, outChannels] = kernelShape(weights);
        require(one == 1 && outChannels % inShape.channels == 0, "a depthwise kernel's shape does not fit its input");
        const int multiplier = outChannels / inShape.channels;
        const int32_t declared = options.scalar<int32_t>(3, 0);
        require(declared == 0 || declared == multiplier, "a depth multiplier differs from the kernel's shape");
        auto kernel = std::make_shared<const DepthwiseKernel>(
            DepthwiseKernel{height, width, multiplier, outChannels, *weights.values, biasOf(op, 2, outChannels)});
        const Placement placed = placementOf(options, inShape, height, width);
        const Window window = placed.window;
        const Activation activation = activationOf(options.scalar<int8_t>(4, 0));
        const MapShape outShape{placed.height, placed.width, outChannels};
        const int32_t out = mapOutput(op.outputs[0], outShape);
        addStep({in, out}, [=](float* const* maps) {
            convolveDepthwise(maps[0], inShape, *kernel, window, activation, maps[1], outShape);
        });
    }

    void addTransposedConvolution(const Operator& op)
    {
        requireInputs(op, 3);
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape inShape = input.shape;
        auto kernel = std::make_shared<const ConvKernel>(convKernel(op, inShape.channels));
        const Placement placed = transposedPlacementOf(op.customOptions, inShape, kernel->height, kernel->width);
        const Window window = placed.window;
        const MapShape outShape{placed.height, placed.width, kernel->outChannels};
        const int32_t out = mapOutput(op.outputs[0], outShape);
        addStep({in, out},
                [=](float* const* maps) { convolveTransposed(maps[0], inShape, *kernel, window, maps[1], outShape); });
    }

    void addAveragePool(const Operator& op)
    {
        requireInputs(op, 1);
        const FlatTable& options = optionsOf(op, OptionsType::pool);
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape inShape = input.shape;
        const int filterW = options.scalar<int32_t>(3, 0), filterH = options.scalar<int32_t>(4, 0);
        require(filterH == inShape.height && filterW == inShape.width, "only whole-map average pooling is supported");
        const Placement placement = placementOf(options, inShape, filterH, filterW);
        require(placement.height == 1 && placement.width == 1, "only whole-map average pooling is supported");
        const Activation activation = activationOf(options.scalar<int8_t>(5, 0));
        const int32_t out = mapOutput(op.outputs[0], MapShape{1, 1, inShape.channels});
        addStep({in, out}, [=](float* const* maps) { averageWholeMap(maps[0], inShape, activation, maps[1]); });
    }

    void addUnary(const Operator& op, void (*function)(const float*, float*, size_t))
    {
        requireInputs(op, 1);
        require(!op.options || op.optionsType == 0, "an activation carries options");
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape shape = input.shape;
        const int32_t out = mapOutput(op.outputs[0], shape);
        addStep({in, out}, [=](float* const* maps) { function(maps[0], maps[1], shape.size()); });
    }

    using Binary = void (*)(const float*, MapShape, const float*, MapShape, Activation, float*, MapShape);
    void addElementWise(const Operator& op, OptionsType type, Binary function)
    {
        requireInputs(op, 2);
        const Activation activation =
            op.options ? activationOf(optionsOf(op, type).scalar<int8_t>(0, 0)) : Activation::none;
        const Operand a = operandInput(op.inputs[0]), b = operandInput(op.inputs[1]);
        const auto broadcast = [](int x, int y) {
            require(x == y || x == 1 || y == 1, "two shapes cannot be broadcast together");
            return std::max(x, y);
        };
        const MapShape outShape{broadcast(a.shape.height, b.shape.height), broadcast(a.shape.width, b.shape.width),
                                broadcast(a.shape.channels, b.shape.channels)};
        const int32_t out = mapOutput(op.outputs[0], outShape);
        addStep({a.map, b.map, out}, [=](float* const* maps) {
            const float* x = a.constant ? a.constant->data() : maps[0];
            const float* y = b.constant ? b.constant->data() : maps[1];
            function(x, a.shape, y, b.shape, activation, maps[2], outShape);
        });
    }

    void addResize(const Operator& op)
    {
        requireInputs(op, 2);
        const FlatTable& options = optionsOf(op, OptionsType::resizeBilinear);
        const bool alignCorners = options.scalar<uint8_t>(2, 0), halfPixel = options.scalar<uint8_t>(3, 0);
        require(!(alignCorners && halfPixel), "a resize cannot both align corners and centre half pixels");
        const MapInput input = mapInput(op.inputs[0]);
        const int32_t in = input.tensor;
        const MapShape inShape = input.shape;
        const ModelTensor& size = constantInput(op.inputs[1], ElementType::int32);
        require(size.integers.size() == 2, "a resize's size is not two numbers");
        const int height = size.integers[0], width = size.integers[1];
        require(height >= 1 && width >= 1 && int64_t(height) * width <= largestMap, "a resize's size is out of range");
        const MapShape outShape{height, width, inShape.channels};
        const int32_t out = mapOutput(op.outputs[0], outShape);
        addStep({in, out}, [=](float* const* maps) {
            resizeBilinear(maps[0], inShape, alignCorners, halfPixel, maps[1], outShape);
        });
    }

    // Half-precision weights become float constants once, here, instead of at every run.
    void foldDequantize(const Operator& op)
    {
        requireInputs(op, 1);
        const ModelTensor& in = tensors_[size_t(tensorIndex(op.inputs[0]))];
        ModelTensor& out = tensors_[size_t(tensorIndex(op.outputs[0]))];
        require(in.values && in.type == ElementType::float16, "only half-precision constants can be dequantized");
        require(!out.isConstant() && !maps_.count(op.outputs[0]) && out.type == ElementType::float32 &&
                    out.shape == in.shape,
                "a dequantized constant's declared tensor does not match it");
        out.values = in.values;
    }

    // --- steps and scratch ---

    // `maps` are tensor indices (-1 for a constant operand); the step gets their places.
    void addStep(std::vector<int32_t> maps, std::function<void(float* const*)> compute)
    {
        steps_.push_back({std::move(maps), std::move(compute)});
    }

    Network::Program finish()
    {
        ScratchPlan plan;
        std::map<int32_t, size_t> slots;
        for (const auto& [tensor, shape] : maps_) {
            const int last = tensor == output_        ? step()
                             : lastUse_.count(tensor) ? lastUse_[tensor]
                                                      : producedAt_[tensor];
            slots[tensor] = plan.add(shape.size(), producedAt_[tensor], last);
        }
        const std::vector<size_t> offsets = plan.offsets();
        require(int64_t(plan.size()) <= largestScratch, "the model's maps need too much memory");
        Network::Program program;
        program.scratchSize = plan.size();
        program.input = maps_.at(input_);
        program.output = maps_.at(output_);
        program.inputOffset = offsets[slots.at(input_)];
        program.outputOffset = offsets[slots.at(output_)];
        for (auto& [maps, compute] : steps_) {
            std::vector<size_t> places;
            for (const int32_t m : maps) places.push_back(m < 0 ? SIZE_MAX : offsets[slots.at(m)]);
            program.steps.push_back([places, compute = std::move(compute)](float* scratch) {
                float* at[4] = {};
                for (size_t i = 0; i < places.size(); ++i)
                    at[i] = places[i] == SIZE_MAX ? nullptr : scratch + places[i];
                compute(at);
            });
        }
        return program;
    }

    FlatTable model_;
    std::string where_ = "the model's tables";
    std::vector<ModelTensor> tensors_;
    int32_t input_ = -1, output_ = -1;
    std::map<int32_t, MapShape> maps_;
    std::map<int32_t, int> producedAt_, lastUse_;
    std::vector<std::pair<std::vector<int32_t>, std::function<void(float* const*)>>> steps_;
};

} // namespace

Decoded<Network> Network::load(std::span<const uint8_t> model)
{
    std::optional<Builder> builder;
    try {
        builder.emplace(model);
        return Network(builder->build());
    } catch (const ModelError& error) {
        return DecodingError{builder ? builder->where() : "the model's tables", error.what()};
    }
}

} // namespace oxel::segment
