#pragma once

#include "FlatBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace oxel::test {

// A small model of the segmentation network's file format, described field by field so that a
// test can build it whole, or damage one field, and write its bytes.
struct TestModel {
    struct Tensor {
        std::vector<int32_t> shape;
        int8_t type = 0;           // 0 float32, 1 float16, 2 int32
        std::vector<uint8_t> data; // empty for a map
    };
    struct Operator {
        int32_t code = 0;
        std::vector<int32_t> inputs = {}, outputs = {};
        uint8_t optionsType = 0;
        std::vector<FlatBuilder::Field> options = {};
        std::string custom = {}; // the custom operator's name
        std::vector<uint8_t> customOptions = {};
    };

    uint32_t version = 3;
    std::vector<Tensor> tensors;
    std::vector<Operator> operators;
    std::vector<int32_t> inputs{0}, outputs;

    // Adds a tensor; its index.
    int32_t add(Tensor tensor)
    {
        tensors.push_back(std::move(tensor));
        return int32_t(tensors.size() - 1);
    }
    int32_t map(std::vector<int32_t> shape) { return add({std::move(shape), 0, {}}); }
    int32_t floats(std::vector<int32_t> shape, const std::vector<float>& values)
    {
        std::vector<uint8_t> data(values.size() * 4);
        std::memcpy(data.data(), values.data(), data.size());
        return add({std::move(shape), 0, data});
    }
    int32_t ints(std::vector<int32_t> shape, const std::vector<int32_t>& values)
    {
        std::vector<uint8_t> data(values.size() * 4);
        std::memcpy(data.data(), values.data(), data.size());
        return add({std::move(shape), 2, data});
    }

    std::vector<uint8_t> bytes() const
    {
        FlatBuilder b;
        // Operator codes: one per distinct (code, custom name), in order of first use.
        std::vector<std::pair<int32_t, std::string>> codes;
        std::vector<uint32_t> operatorTables;
        std::vector<uint32_t> opCodeIndex;
        for (const Operator& op : operators) {
            const auto key = std::make_pair(op.code, op.custom);
            auto found = std::find(codes.begin(), codes.end(), key);
            if (found == codes.end()) found = codes.insert(codes.end(), key);
            opCodeIndex.push_back(uint32_t(found - codes.begin()));
        }
        for (size_t i = 0; i < operators.size(); ++i) {
            const Operator& op = operators[i];
            std::vector<FlatBuilder::Field> fields{FlatBuilder::scalar<uint32_t>(0, opCodeIndex[i]),
                                                   FlatBuilder::reference(1, b.vector(op.inputs)),
                                                   FlatBuilder::reference(2, b.vector(op.outputs))};
            if (!op.options.empty() || op.optionsType) {
                fields.push_back(FlatBuilder::scalar<uint8_t>(3, op.optionsType));
                fields.push_back(FlatBuilder::reference(4, b.table(op.options)));
            }
            if (!op.customOptions.empty()) fields.push_back(FlatBuilder::reference(5, b.vector(op.customOptions)));
            operatorTables.push_back(b.table(fields));
        }
        std::vector<uint32_t> tensorTables, bufferTables{b.table({})};
        for (const Tensor& t : tensors) {
            uint32_t buffer = 0;
            if (!t.data.empty()) {
                bufferTables.push_back(b.table({FlatBuilder::reference(0, b.vector(t.data))}));
                buffer = uint32_t(bufferTables.size() - 1);
            }
            tensorTables.push_back(
                b.table({FlatBuilder::reference(0, b.vector(t.shape)), FlatBuilder::scalar<int8_t>(1, t.type),
                         FlatBuilder::scalar<uint32_t>(2, buffer)}));
        }
        const uint32_t graph = b.table(
            {FlatBuilder::reference(0, b.references(tensorTables)), FlatBuilder::reference(1, b.vector(inputs)),
             FlatBuilder::reference(2, b.vector(outputs)), FlatBuilder::reference(3, b.references(operatorTables))});
        std::vector<uint32_t> codeTables;
        for (const auto& [code, custom] : codes) {
            std::vector<FlatBuilder::Field> fields{FlatBuilder::scalar<int8_t>(0, int8_t(std::min(code, 127))),
                                                   FlatBuilder::scalar<int32_t>(3, code)};
            if (!custom.empty()) fields.push_back(FlatBuilder::reference(1, b.string(custom)));
            codeTables.push_back(b.table(fields));
        }
        const uint32_t model = b.table(
            {FlatBuilder::scalar<uint32_t>(0, version), FlatBuilder::reference(1, b.references(codeTables)),
             FlatBuilder::reference(2, b.references({graph})), FlatBuilder::reference(4, b.references(bufferTables))});
        return b.finish(model);
    }
};

} // namespace oxel::test
