#pragma once

#include "develop/segment/Operators.h"
#include "platform/Decoded.h"

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

namespace oxel::segment {

// A small float network read from a model file (FlatBuffers tables of tensors, buffers and
// operators) and made ready to run: half-precision constants widened once, every shape checked,
// and one scratch layout planned for all intermediate maps. Only the operators that the person
// segmentation model uses are known; any other is refused when the model loads.
class Network {
public:
    // Reads a model from untrusted bytes. Every index, size, stride, kernel and shape is checked
    // before it is used, declared shapes must equal the computed ones and weights must be finite;
    // the error says what was wrong and where.
    static Decoded<Network> load(std::span<const uint8_t> model);

    MapShape inputShape() const { return program_.input; }
    MapShape outputShape() const { return program_.output; }
    // The operators that run, after constants were folded.
    size_t operatorCount() const { return program_.steps.size(); }
    // The floats of scratch memory one run takes.
    size_t scratchSize() const { return program_.scratchSize; }

    // The output map for one input map of inputShape().size() values; empty when the input has
    // another size. Const and safe to call from several threads at once.
    std::vector<float> run(std::span<const float> input) const;

    // What the loader makes: the operators in order, each reading and writing maps in the scratch
    // memory of a run, and where the input and output maps lie in it.
    struct Program {
        std::vector<std::function<void(float* scratch)>> steps;
        MapShape input, output;
        size_t inputOffset = 0, outputOffset = 0, scratchSize = 0;
    };

private:
    explicit Network(Program program) : program_(std::move(program)) {}

    Program program_;
};

} // namespace oxel::segment
