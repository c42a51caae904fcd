#include "develop/codecs/PNGRawProfile.h"

#include "develop/codecs/PNGChunks.h"

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <string>

namespace oxel::png {

namespace {

// Far beyond any IPTC block; a profile that inflates further is not read.
constexpr size_t largestText = size_t(4) << 20;

std::optional<std::vector<uint8_t>> inflated(std::span<const uint8_t> compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = uInt(compressed.size());
    std::vector<uint8_t> out;
    int status = Z_OK;
    while (status == Z_OK && out.size() < largestText) {
        const size_t done = out.size();
        out.resize(std::min(largestText, std::max<size_t>(4096, done * 2)));
        stream.next_out = out.data() + done;
        stream.avail_out = uInt(out.size() - done);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(out.size() - stream.avail_out);
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) return std::nullopt;
    return out;
}

// The text of a tEXt, zTXt or iTXt chunk whose keyword begins with `keyword`.
std::optional<std::vector<uint8_t>> textOf(const PNGChunk& chunk, std::string_view keyword)
{
    const std::string_view body(reinterpret_cast<const char*>(chunk.data.data()), chunk.data.size());
    const size_t keyEnd = body.find('\0');
    if (keyEnd == std::string_view::npos || !body.substr(0, keyEnd).starts_with(keyword)) return std::nullopt;
    const auto after = chunk.data.subspan(keyEnd + 1);
    if (chunk.type == "tEXt") return std::vector<uint8_t>(after.begin(), after.end());
    if (chunk.type == "zTXt") return after.empty() || after[0] != 0 ? std::nullopt : inflated(after.subspan(1));
    if (chunk.type != "iTXt" || after.size() < 2 || after[1] != 0) return std::nullopt;
    // Compression flag and method, then the language tag and the translated keyword.
    const std::string_view tail = body.substr(keyEnd + 3);
    const size_t languageEnd = tail.find('\0');
    const size_t translatedEnd = languageEnd == std::string_view::npos ? languageEnd : tail.find('\0', languageEnd + 1);
    if (translatedEnd == std::string_view::npos) return std::nullopt;
    const auto text = after.subspan(2 + translatedEnd + 1);
    if (after[0] == 1) return inflated(text);
    if (after[0] != 0) return std::nullopt;
    return std::vector<uint8_t>(text.begin(), text.end());
}

int nibble(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "\n<type>\n<length>\n<hex digits>": after the line that names the type, the decimal byte count,
// then that many bytes in lower-case hexadecimal, any other character between digits skipped.
std::optional<std::vector<uint8_t>> unhexed(const std::vector<uint8_t>& text)
{
    const auto newline = std::find(text.begin() + std::min<size_t>(1, text.size()), text.end(), '\n');
    auto at = std::find_if(newline, text.end(), [](uint8_t c) { return c != '\0' && c != ' ' && c != '\n'; });
    size_t length = 0;
    for (; at != text.end() && *at >= '0' && *at <= '9'; ++at) {
        length = length * 10 + size_t(*at - '0');
        if (length > text.size()) return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(length);
    int high = -1;
    while (bytes.size() < length) {
        if (at == text.end() || *at == '\0') return std::nullopt;
        const int value = nibble(*at++);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(uint8_t(high << 4 | value));
            high = -1;
        }
    }
    return bytes;
}

} // namespace

std::vector<std::vector<uint8_t>> rawProfiles(std::span<const uint8_t> file, std::string_view type)
{
    const std::string keyword = "Raw profile type " + std::string(type);
    std::vector<std::vector<uint8_t>> profiles;
    walkChunks(file, [&](const PNGChunk& chunk) {
        if (chunk.type == "IEND") return false;
        if (const auto text = textOf(chunk, keyword))
            if (auto profile = unhexed(*text); profile && !profile->empty()) profiles.push_back(std::move(*profile));
        return true;
    });
    return profiles;
}

} // namespace oxel::png
