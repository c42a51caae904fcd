#include "develop/segment/FlatTable.h"

namespace oxel {
namespace {

void require(bool condition, const char* what)
{
    if (!condition) throw ModelError(what);
}

} // namespace

FlatTable FlatTable::root(std::span<const uint8_t> bytes)
{
    require(bytes.size() >= 8, "the model is too short to hold a root table");
    uint32_t rootOffset;
    __builtin_memcpy(&rootOffset, bytes.data(), 4);
    return FlatTable(bytes, rootOffset);
}

FlatTable::FlatTable(std::span<const uint8_t> buffer, size_t position) : buffer_(buffer), position_(position)
{
    require(position_ <= buffer_.size() && buffer_.size() - position_ >= 4, "a table lies past the end of the model");
    const int64_t vtable = int64_t(position_) - read<int32_t>(position_);
    require(vtable >= 0 && uint64_t(vtable) + 4 <= buffer_.size(), "a table's field list lies outside the model");
    vtable_ = size_t(vtable);
    vtableSize_ = read<uint16_t>(vtable_);
    tableSize_ = read<uint16_t>(vtable_ + 2);
    require(vtableSize_ >= 4 && vtableSize_ % 2 == 0 && vtable_ + vtableSize_ <= buffer_.size(),
            "a table's field list has a bad size");
    require(tableSize_ >= 4 && position_ + tableSize_ <= buffer_.size(), "a table's size reaches past the model");
}

uint16_t FlatTable::fieldOffset(int field) const
{
    const size_t entry = 4 + 2 * size_t(field);
    if (field < 0 || entry + 2 > vtableSize_) return 0;
    return read<uint16_t>(vtable_ + entry);
}

size_t FlatTable::fieldAt(int field, size_t size) const
{
    const uint16_t offset = fieldOffset(field);
    if (offset == 0) return 0;
    require(offset >= 4 && size_t(offset) + size <= tableSize_, "a field lies outside its table");
    return position_ + offset;
}

size_t FlatTable::referenceAt(size_t at) const
{
    const uint64_t target = uint64_t(at) + read<uint32_t>(at);
    require(target < buffer_.size(), "a reference points past the end of the model");
    return size_t(target);
}

std::optional<FlatTable> FlatTable::table(int field) const
{
    const size_t at = fieldAt(field, 4);
    if (!at) return std::nullopt;
    return FlatTable(buffer_, referenceAt(at));
}

FlatTable::Vector FlatTable::vector(int field, size_t elementSize) const
{
    const size_t at = fieldAt(field, 4);
    if (!at) return {};
    const size_t start = referenceAt(at);
    require(buffer_.size() - start >= 4, "a vector's length lies past the end of the model");
    const uint64_t count = read<uint32_t>(start);
    require(count * elementSize <= buffer_.size() - start - 4, "a vector reaches past the end of the model");
    return {start + 4, size_t(count)};
}

FlatTable FlatTable::tableAt(const Vector& vector, size_t index) const
{
    require(index < vector.count, "a vector index lies past its end");
    return FlatTable(buffer_, referenceAt(vector.start + 4 * index));
}

std::span<const uint8_t> FlatTable::bytes(int field) const
{
    const Vector v = vector(field, 1);
    return buffer_.subspan(v.start, v.count);
}

std::string_view FlatTable::string(int field) const
{
    const auto b = bytes(field);
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

} // namespace oxel
