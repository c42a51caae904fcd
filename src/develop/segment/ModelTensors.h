#pragma once

#include "develop/segment/FlatTable.h"
#include "develop/segment/ModelFormat.h"
#include "develop/segment/Operators.h"

#include <memory>
#include <string>
#include <vector>

namespace oxel::segment {

// A tensor as the model declares it, and its values when it is a constant: floats (half-precision
// ones widened) or integers.
struct ModelTensor {
    std::vector<int32_t> shape;
    format::ElementType type = format::ElementType::float32;
    std::shared_ptr<const std::vector<float>> values;
    std::vector<int32_t> integers;

    bool isConstant() const { return values || !integers.empty(); }
};

// Every tensor of a graph, with the constants of its buffers. Throws ModelError when a shape,
// type, buffer index or byte count is out of order or a constant is not finite; `where` names
// the tensor being read.
std::vector<ModelTensor> readModelTensors(const FlatTable& model, const FlatTable& graph, std::string& where);

// A feature map's shape from a declared rank-4 shape of batch 1, and back.
MapShape mapShapeOf(const std::vector<int32_t>& shape);
std::vector<int32_t> declaredShape(MapShape shape);

} // namespace oxel::segment
