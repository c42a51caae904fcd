#include "Base64.h"

#include <array>
#include <cstdint>

namespace oxel {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodingTable() {
    std::array<int8_t, 256> table{};
    for (auto& entry : table) entry = -1;
    for (int i = 0; i < 64; ++i) table[uint8_t(alphabet[i])] = int8_t(i);
    return table;
}

constexpr auto sextets = decodingTable();

} // namespace

std::string base64Encoded(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | (rest == 2 ? uint32_t(uint8_t(bytes[i + 1])) << 8 : 0);
        out += alphabet[n >> 18];
        out += alphabet[(n >> 12) & 63];
        out += rest == 2 ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> base64Decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t buffer = 0;
    int held = 0;
    for (char c : text) {
        int8_t value = sextets[uint8_t(c)];
        if (value < 0) continue;
        buffer = buffer << 6 | uint32_t(value);
        if (++held == 4) {
            out += char(buffer >> 16);
            out += char(buffer >> 8);
            out += char(buffer);
            buffer = 0;
            held = 0;
        }
    }
    if (held == 1) return std::nullopt;
    if (held == 2) out += char(buffer >> 4);
    if (held == 3) {
        out += char(buffer >> 10);
        out += char(buffer >> 2);
    }
    return out;
}

} // namespace oxel
