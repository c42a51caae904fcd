#include "backend/Utf8Text.h"

#include <cstdint>
#include <optional>

namespace oxel {
namespace {

struct Decoded {
    char32_t codePoint;
    size_t length;
};

// Decodes one well-formed UTF-8 sequence at `at` (no overlongs, no surrogates, at most U+10FFFF).
std::optional<Decoded> decodeAt(std::string_view text, size_t at)
{
    auto byte = [&](size_t i) { return uint8_t(text[i]); };
    uint8_t lead = byte(at);
    if (lead < 0x80) return Decoded{lead, 1};
    size_t length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else
        return std::nullopt;
    if (at + length > text.size()) return std::nullopt;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
    return Decoded{value, length};
}

bool extendsCluster(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xE0100 && c <= 0xE01EF) || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F) ||
           c == 0x200D;
}

bool isRegionalIndicator(char32_t c)
{
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Steps over the first `count` user-perceived characters of the text (all of them when it has
// fewer): `end` is the byte after the last one taken, `taken` how many were.
struct CharacterWalk {
    size_t end;
    size_t taken;
};

CharacterWalk walkCharacters(std::string_view text, size_t count)
{
    size_t at = 0;
    size_t taken = 0;
    std::optional<char32_t> previous;
    bool previousOpensFlag = false;
    while (at < text.size()) {
        auto decoded = decodeAt(text, at);
        char32_t c = decoded ? decoded->codePoint : 0xFFFD;
        size_t length = decoded ? decoded->length : 1;
        bool joinsPrevious =
            previous && (extendsCluster(c) || *previous == 0x200D || (*previous == '\r' && c == '\n') ||
                         (previousOpensFlag && isRegionalIndicator(c)));
        if (!joinsPrevious) {
            if (taken == count) break;
            ++taken;
            previousOpensFlag = isRegionalIndicator(c);
        } else if (isRegionalIndicator(c)) {
            previousOpensFlag = false;
        }
        previous = c;
        at += length;
    }
    return {at, taken};
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool reordersText(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Whole UTF-8 sequences only: a cut inside one would leave a replacement character at the end.
std::string_view cutAtSequence(std::string_view text, size_t bytes)
{
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (uint8_t(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

} // namespace

std::string utf8OrEmpty(std::string_view bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        auto decoded = decodeAt(bytes, at);
        if (!decoded) return {};
        at += decoded->length;
    }
    return std::string(bytes);
}

std::string utf8Repaired(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        if (auto decoded = decodeAt(bytes, at)) {
            out.append(bytes.substr(at, decoded->length));
            at += decoded->length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++at;
        }
    }
    return out;
}

std::string firstCharacters(std::string_view text, size_t count)
{
    return std::string(text.substr(0, walkCharacters(text, count).end));
}

std::string afterFirstCharacters(std::string_view text, size_t count)
{
    return std::string(text.substr(walkCharacters(text, count).end));
}

size_t characterCount(std::string_view text)
{
    return walkCharacters(text, SIZE_MAX).taken;
}

std::string oneLineText(std::string_view text, size_t count)
{
    constexpr size_t bytesPerCharacter = 64;
    const std::string repaired = utf8Repaired(cutAtSequence(text, count * bytesPerCharacter));
    std::string kept;
    kept.reserve(repaired.size());
    for (size_t at = 0; at < repaired.size();) {
        const auto decoded = decodeAt(repaired, at);
        const std::string_view sequence = std::string_view(repaired).substr(at, decoded->length);
        at += decoded->length;
        if (isControl(decoded->codePoint))
            kept += ' ';
        else if (!reordersText(decoded->codePoint))
            kept += sequence;
    }
    std::string cut = firstCharacters(kept, count);
    const size_t first = cut.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return cut.substr(first, cut.find_last_not_of(' ') - first + 1);
}

} // namespace oxel
