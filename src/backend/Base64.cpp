#include "backend/Base64.h"

#include <array>
#include <cstdint>

namespace oxel {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodingTable()
{
    std::array<int8_t, 256> table{};
    for (auto& entry : table) entry = -1;
    for (int i = 0; i < 64; ++i) table[uint8_t(alphabet[i])] = int8_t(i);
    return table;
}

constexpr auto sextets = decodingTable();

} // namespace

std::string base64Encoded(std::string_view bytes)
{
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    char* o = out.data();
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3, o += 4) {
        uint32_t n = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        o[0] = alphabet[n >> 18];
        o[1] = alphabet[(n >> 12) & 63];
        o[2] = alphabet[(n >> 6) & 63];
        o[3] = alphabet[n & 63];
    }
    size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t n = uint32_t(in[i]) << 16 | (rest == 2 ? uint32_t(in[i + 1]) << 8 : 0);
        o[0] = alphabet[n >> 18];
        o[1] = alphabet[(n >> 12) & 63];
        o[2] = rest == 2 ? alphabet[(n >> 6) & 63] : '=';
        o[3] = '=';
    }
    return out;
}

std::optional<std::string> base64Decoded(std::string_view text)
{
    std::string out(text.size() / 4 * 3 + 3, '\0');
    char* o = out.data();
    uint32_t buffer = 0;
    int held = 0;
    for (char c : text) {
        int8_t value = sextets[uint8_t(c)];
        if (value < 0) continue;
        buffer = buffer << 6 | uint32_t(value);
        if (++held == 4) {
            o[0] = char(buffer >> 16);
            o[1] = char(buffer >> 8);
            o[2] = char(buffer);
            o += 3;
            buffer = 0;
            held = 0;
        }
    }
    if (held == 1) return std::nullopt;
    if (held == 2) *o++ = char(buffer >> 4);
    if (held == 3) {
        *o++ = char(buffer >> 10);
        *o++ = char(buffer >> 2);
    }
    out.resize(size_t(o - out.data()));
    return out;
}

std::optional<std::string> base64DecodedStrictly(std::string_view text)
{
    if (text.size() % 4 != 0) return std::nullopt;
    const size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    const std::string_view digits = text.substr(0, text.size() - padding);
    for (char c : digits)
        if (sextets[uint8_t(c)] < 0) return std::nullopt;
    // The last digit before the padding carries bits past the last byte, which must be zero.
    const int strayBits = padding == 2 ? 0x0F : padding == 1 ? 0x03 : 0;
    if (padding > 0 && (sextets[uint8_t(digits.back())] & strayBits) != 0) return std::nullopt;
    return base64Decoded(text);
}

} // namespace oxel
