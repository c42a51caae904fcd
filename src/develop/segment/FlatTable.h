#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace oxel {

static_assert(std::endian::native == std::endian::little, "model bytes are read in place as little-endian");

// Why a model was refused: what was wrong, and where.
class ModelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A table in a FlatBuffers buffer, read with every offset, length and field checked against the
// bytes before it is followed, so that damaged bytes end in a ModelError and never in a read past
// the end. References only ever point forwards, so no walk can loop.
class FlatTable {
public:
    // The buffer's root table.
    static FlatTable root(std::span<const uint8_t> bytes);

    bool has(int field) const { return fieldOffset(field) != 0; }

    // A scalar field, or `fallback` when the table leaves it out.
    template <class T>
    T scalar(int field, T fallback) const
    {
        const size_t at = fieldAt(field, sizeof(T));
        return at ? read<T>(at) : fallback;
    }

    // A sub-table field; nothing when the table leaves it out.
    std::optional<FlatTable> table(int field) const;

    // A vector field: where its elements start, their count and their size; empty when left out.
    struct Vector {
        size_t start = 0;
        size_t count = 0;
    };
    Vector vector(int field, size_t elementSize) const;

    // The `index`th table of a vector of tables.
    FlatTable tableAt(const Vector& vector, size_t index) const;
    // The `index`th element of a vector of scalars.
    template <class T>
    T elementAt(const Vector& vector, size_t index) const
    {
        if (index >= vector.count) throw ModelError("a vector index lies past its end");
        return read<T>(vector.start + index * sizeof(T));
    }

    std::span<const uint8_t> bytes(int field) const;
    std::string_view string(int field) const;

private:
    FlatTable(std::span<const uint8_t> buffer, size_t position);

    uint16_t fieldOffset(int field) const;
    // Where a field of `size` bytes lies in the buffer, checked; 0 when it is left out.
    size_t fieldAt(int field, size_t size) const;
    size_t referenceAt(size_t at) const;

    template <class T>
    T read(size_t at) const
    {
        T value;
        __builtin_memcpy(&value, buffer_.data() + at, sizeof(T));
        return value;
    }

    std::span<const uint8_t> buffer_;
    size_t position_ = 0;
    size_t vtable_ = 0;
    uint16_t vtableSize_ = 0;
    uint16_t tableSize_ = 0;
};

} // namespace oxel
