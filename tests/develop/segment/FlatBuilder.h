#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace oxel::test {

// Writes FlatBuffers by hand, back to front as the format intends: children first, so that every
// reference points forwards. Objects are named by their distance from the end of the buffer.
class FlatBuilder {
public:
    struct Field {
        int index;
        std::vector<uint8_t> bytes; // a scalar's little-endian bytes, or empty for a reference
        uint32_t reference = 0;     // the referenced object, when bytes is empty
    };

    template <class T>
    static Field scalar(int index, T value)
    {
        std::vector<uint8_t> bytes(sizeof(T));
        std::memcpy(bytes.data(), &value, sizeof(T));
        return {index, bytes, 0};
    }
    static Field reference(int index, uint32_t object) { return {index, {}, object}; }

    template <class T>
    uint32_t vector(std::span<const T> values)
    {
        std::vector<uint8_t> bytes(4 + values.size() * sizeof(T));
        const uint32_t count = uint32_t(values.size());
        std::memcpy(bytes.data(), &count, 4);
        if (!values.empty()) std::memcpy(bytes.data() + 4, values.data(), values.size() * sizeof(T));
        return prepend(bytes);
    }
    template <class T>
    uint32_t vector(const std::vector<T>& values)
    {
        return vector(std::span<const T>(values));
    }
    uint32_t string(std::string_view text) { return vector(std::span<const char>(text.data(), text.size())); }
    // A vector of references to objects made before.
    uint32_t references(const std::vector<uint32_t>& objects)
    {
        std::vector<uint8_t> bytes(4 + 4 * objects.size());
        const uint32_t count = uint32_t(objects.size());
        std::memcpy(bytes.data(), &count, 4);
        const uint32_t start = end() + uint32_t(padding(bytes.size())) + uint32_t(bytes.size());
        for (size_t i = 0; i < objects.size(); ++i) {
            const uint32_t offset = start - 4 - uint32_t(4 * i) - objects[i];
            std::memcpy(bytes.data() + 4 + 4 * i, &offset, 4);
        }
        return prepend(bytes);
    }

    // A table and, just before it, its field list.
    uint32_t table(const std::vector<Field>& fields)
    {
        int count = 0;
        for (const Field& f : fields) count = std::max(count, f.index + 1);
        std::vector<uint16_t> offsets(size_t(count), 0);
        std::vector<uint8_t> body(4, 0);
        for (const Field& f : fields) {
            offsets[size_t(f.index)] = uint16_t(body.size());
            body.resize(body.size() + (f.bytes.empty() ? 4 : f.bytes.size()));
            while (body.size() % 4) body.push_back(0);
        }
        const uint32_t tableEnd = end() + uint32_t(body.size());
        for (const Field& f : fields) {
            uint8_t* at = body.data() + offsets[size_t(f.index)];
            if (!f.bytes.empty()) {
                std::memcpy(at, f.bytes.data(), f.bytes.size());
            } else {
                const uint32_t offset = tableEnd - offsets[size_t(f.index)] - f.reference;
                std::memcpy(at, &offset, 4);
            }
        }
        std::vector<uint16_t> vtable{uint16_t(4 + 2 * count), uint16_t(body.size())};
        vtable.insert(vtable.end(), offsets.begin(), offsets.end());
        if (vtable.size() % 2) vtable.push_back(0);
        const int32_t toVtable = int32_t(2 * vtable.size()); // the field list sits right before the table
        std::memcpy(body.data(), &toVtable, 4);
        const uint32_t table = prepend(body);
        std::vector<uint8_t> vtableBytes(2 * vtable.size());
        std::memcpy(vtableBytes.data(), vtable.data(), vtableBytes.size());
        prepend(vtableBytes);
        return table;
    }

    // The finished buffer with `root` as its root table.
    std::vector<uint8_t> finish(uint32_t root)
    {
        const uint32_t offset = end() + 4 - root;
        std::vector<uint8_t> head(4);
        std::memcpy(head.data(), &offset, 4);
        prepend(head);
        return std::vector<uint8_t>(bytes_.rbegin(), bytes_.rend());
    }

private:
    uint32_t end() const { return uint32_t(bytes_.size()); }
    static size_t padding(size_t size) { return (4 - size % 4) % 4; }

    // Puts `object` in front of what is written (padded to 4 bytes behind it); its name.
    uint32_t prepend(const std::vector<uint8_t>& object)
    {
        bytes_.insert(bytes_.end(), padding(object.size()), 0);
        bytes_.insert(bytes_.end(), object.rbegin(), object.rend());
        return end();
    }

    std::vector<uint8_t> bytes_; // reversed: the last byte of the buffer first
};

} // namespace oxel::test
