#include "develop/segment/ModelTensors.h"

#include "develop/segment/HalfFloat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oxel::segment {

using namespace format;

namespace {

int64_t elementCount(const std::vector<int32_t>& shape)
{
    int64_t count = 1;
    for (const int32_t d : shape) {
        require(d >= 1 && d <= largestMap && count <= largestMap / d, "a tensor dimension is out of range");
        count *= d;
    }
    return count;
}

void readConstant(ModelTensor& tensor, std::span<const uint8_t> data, size_t count)
{
    const size_t elementSize = tensor.type == ElementType::float16 ? 2 : 4;
    require(data.size() == count * elementSize, "a constant's byte count does not match its shape");
    if (tensor.type == ElementType::int32) {
        tensor.integers.resize(count);
        std::memcpy(tensor.integers.data(), data.data(), data.size());
        return;
    }
    auto values = std::make_shared<std::vector<float>>(count);
    if (tensor.type == ElementType::float16) {
        for (size_t i = 0; i < count; ++i) (*values)[i] = halfToFloat(uint16_t(data[2 * i] | data[2 * i + 1] << 8));
    } else {
        std::memcpy(values->data(), data.data(), data.size());
    }
    require(std::all_of(values->begin(), values->end(), [](float v) { return std::isfinite(v); }),
            "a constant holds a value that is not finite");
    tensor.values = std::move(values);
}

ModelTensor readTensor(const FlatTable& model, const FlatTable& table, const FlatTable::Vector& buffers)
{
    ModelTensor tensor;
    const auto shape = table.vector(field::tensorShape, 4);
    require(shape.count <= 4, "a tensor has more than four dimensions");
    for (size_t d = 0; d < shape.count; ++d) tensor.shape.push_back(table.elementAt<int32_t>(shape, d));
    const int64_t count = elementCount(tensor.shape);
    const int8_t type = table.scalar<int8_t>(field::tensorType, 0);
    require(type >= 0 && type <= 2, "a tensor's element type is not float32, float16 or int32");
    tensor.type = ElementType(type);
    require(!table.scalar<uint8_t>(field::tensorIsVariable, 0) && !table.has(field::tensorSparsity),
            "variable and sparse tensors are not supported");
    const uint32_t buffer = table.scalar<uint32_t>(field::tensorBuffer, 0);
    require(buffer < buffers.count || (buffer == 0 && buffers.count == 0), "a tensor's buffer index is out of range");
    if (buffers.count == 0) return tensor;
    const FlatTable bufferTable = model.tableAt(buffers, buffer);
    require(!bufferTable.has(field::bufferOffset), "buffers outside the model's tables are not supported");
    const auto data = bufferTable.bytes(field::bufferData);
    if (!data.empty()) readConstant(tensor, data, size_t(count));
    return tensor;
}

} // namespace

std::vector<ModelTensor> readModelTensors(const FlatTable& model, const FlatTable& graph, std::string& where)
{
    const auto buffers = model.vector(field::modelBuffers, 4);
    const auto tensors = graph.vector(field::graphTensors, 4);
    require(tensors.count >= 2, "the graph has too few tensors");
    std::vector<ModelTensor> out;
    for (size_t i = 0; i < tensors.count; ++i) {
        where = "tensor " + std::to_string(i);
        out.push_back(readTensor(model, graph.tableAt(tensors, i), buffers));
    }
    return out;
}

MapShape mapShapeOf(const std::vector<int32_t>& shape)
{
    require(shape.size() == 4 && shape[0] == 1, "a feature map is not one picture of rank 4");
    return {shape[1], shape[2], shape[3]};
}

std::vector<int32_t> declaredShape(MapShape shape)
{
    return {1, shape.height, shape.width, shape.channels};
}

} // namespace oxel::segment
