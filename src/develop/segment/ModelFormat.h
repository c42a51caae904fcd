#pragma once

#include "develop/segment/FlatTable.h"

#include <cstdint>
#include <string>

// The parts of the model file format that the interpreter reads: table fields by position,
// operator codes, option kinds and element types, and the limits every size is held to.
namespace oxel::segment::format {

namespace field {
constexpr int modelVersion = 0, modelOperatorCodes = 1, modelSubgraphs = 2, modelBuffers = 4;
constexpr int codeDeprecatedBuiltin = 0, codeCustom = 1, codeBuiltin = 3;
constexpr int graphTensors = 0, graphInputs = 1, graphOutputs = 2, graphOperators = 3;
constexpr int tensorShape = 0, tensorType = 1, tensorBuffer = 2, tensorIsVariable = 5, tensorSparsity = 6;
constexpr int bufferData = 0, bufferOffset = 1;
constexpr int opCode = 0, opInputs = 1, opOutputs = 2, opOptionsType = 3, opOptions = 4, opCustomOptions = 5;
} // namespace field

enum class Builtin : int32_t {
    add = 0,
    averagePool = 1,
    conv = 3,
    depthwiseConv = 4,
    dequantize = 6,
    logistic = 14,
    multiply = 18,
    relu = 19,
    resizeBilinear = 23,
    custom = 32,
    hardSwish = 117,
};
enum class OptionsType : uint8_t {
    conv = 1,
    depthwiseConv = 2,
    pool = 5,
    add = 11,
    resizeBilinear = 15,
    multiply = 21
};
enum class ElementType : int8_t { float32 = 0, float16 = 1, int32 = 2 };

constexpr uint32_t schemaVersion = 3;
constexpr const char* transposedConvolution = "Convolution2DTransposeBias";

constexpr int64_t largestMap = int64_t(1) << 24;     // floats in one tensor
constexpr int64_t largestScratch = int64_t(1) << 26; // floats in all maps of a run
constexpr int largestKernel = 64;                    // taps of a convolution kernel along one side
constexpr int largestWindow = 1 << 16;               // strides, and pooling windows along one side

inline void require(bool condition, const std::string& what)
{
    if (!condition) throw ModelError(what);
}

} // namespace oxel::segment::format
