#include "develop/grade/LookName.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>

namespace oxel {
namespace {

bool isWhitespaceOrNewline(char32_t c)
{
    switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000: return true;
    default: return c >= 0x2000 && c <= 0x200A;
    }
}

struct CodePoint {
    char32_t value;
    size_t length;
};

// The UTF-8 sequence starting at `at`, or nothing when it is malformed.
std::optional<CodePoint> decodeAt(std::string_view text, size_t at)
{
    const auto lead = uint8_t(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return std::nullopt;
    char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) {
        const auto next = uint8_t(text[at + i]);
        if ((next >> 6) != 0x2) return std::nullopt;
        value = (value << 6) | (next & 0x3F);
    }
    return CodePoint{value, length};
}

// The start of the code point that ends just before `end`, or nothing when it is malformed.
std::optional<CodePoint> decodeBefore(std::string_view text, size_t end)
{
    size_t start = end;
    while (start > 0 && end - start < 4) {
        --start;
        if ((uint8_t(text[start]) >> 6) != 0x2) {
            auto point = decodeAt(text, start);
            if (point && start + point->length == end) return point;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::string trimmedWhitespace(std::string_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end) {
        auto point = decodeAt(text, begin);
        if (!point || !isWhitespaceOrNewline(point->value)) break;
        begin += point->length;
    }
    while (end > begin) {
        auto point = decodeBefore(text, end);
        if (!point || !isWhitespaceOrNewline(point->value)) break;
        end -= point->length;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string normalisedLookName(std::string_view text)
{
    std::string name = trimmedWhitespace(text);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return name;
}

std::optional<std::string> lookNameIn(const nlohmann::json& object, const char* key)
{
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return normalisedLookName(found->get_ref<const std::string&>());
}

} // namespace oxel
