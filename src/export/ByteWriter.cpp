#include "export/ByteWriter.h"

#include <algorithm>

namespace oxel {

void ByteWriter::putU16(uint16_t value)
{
    bytes.push_back(uint8_t(value >> 8));
    bytes.push_back(uint8_t(value));
}

void ByteWriter::putU32(uint32_t value)
{
    putU16(uint16_t(value >> 16));
    putU16(uint16_t(value));
}

void ByteWriter::putU64(uint64_t value)
{
    putU32(uint32_t(value >> 32));
    putU32(uint32_t(value));
}

void ByteWriter::putLength(uint64_t value, bool wide)
{
    if (wide)
        putU64(value);
    else
        putU32(uint32_t(value));
}

void ByteWriter::append(std::string_view text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void ByteWriter::append(std::span<const uint8_t> data)
{
    bytes.insert(bytes.end(), data.begin(), data.end());
}

void ByteWriter::putPascal(std::string_view text, size_t multiple)
{
    // Cutting at 255 bytes may split a UTF-8 sequence; readers replace the broken tail, and the
    // whole name travels in the Unicode name block anyway.
    const size_t count = std::min<size_t>(text.size(), 255);
    const size_t start = bytes.size();
    putU8(uint8_t(count));
    append(text.substr(0, count));
    while ((bytes.size() - start) % multiple != 0) putU8(0);
}

void ByteWriter::pad(size_t multiple)
{
    while (bytes.size() % multiple != 0) putU8(0);
}

void ByteWriter::putResource(uint16_t id, std::span<const uint8_t> data)
{
    append("8BIM");
    putU16(id);
    putU16(0);
    putU32(uint32_t(data.size()));
    append(data);
    if (data.size() % 2 != 0) putU8(0);
}

} // namespace oxel
