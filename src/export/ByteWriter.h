#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace oxel {

// An append-only, in-memory byte buffer; every integer goes in big-endian.
class ByteWriter {
public:
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }

    void putU8(uint8_t value) { bytes.push_back(value); }
    void putU16(uint16_t value);
    void putU32(uint32_t value);
    void putU64(uint64_t value);
    // A length field that is 8 bytes wide in a large document and 4 bytes otherwise.
    void putLength(uint64_t value, bool wide);
    void append(std::string_view text);
    void append(std::span<const uint8_t> data);
    void putZeros(size_t count) { bytes.insert(bytes.end(), count, 0); }

    // The text's UTF-8 bytes cut to 255, after a length byte, zero-padded so that the whole field
    // fills a multiple of `multiple` bytes.
    void putPascal(std::string_view text, size_t multiple);
    void pad(size_t multiple);
    // An image resource block: "8BIM", the id, an empty name, the size, the data and an even pad.
    void putResource(uint16_t id, std::span<const uint8_t> data);
};

} // namespace oxel
