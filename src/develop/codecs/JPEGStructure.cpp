#include "develop/codecs/JPEGStructure.h"

#include "develop/codecs/ByteIO.h"

#include <algorithm>
#include <map>

namespace oxel {

bool JPEGSegment::hasSignature(std::string_view signature) const
{
    return payload.size() >= signature.size() && std::equal(signature.begin(), signature.end(), payload.begin(),
                                                            [](char a, uint8_t b) { return uint8_t(a) == b; });
}

std::span<const uint8_t> JPEGSegment::afterSignature(std::string_view signature) const
{
    return hasSignature(signature) ? payload.subspan(signature.size()) : std::span<const uint8_t>();
}

namespace {

bool isStandalone(uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}
bool isStartOfFrame(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

std::optional<std::vector<JPEGSegment>> jpegSegments(std::span<const uint8_t> stream)
{
    ByteReader in(stream);
    if (in.u8() != 0xFF || in.u8() != 0xD8) return std::nullopt;
    std::vector<JPEGSegment> segments;
    while (true) {
        // Fill bytes (any number of 0xFF) may stand before a marker.
        const size_t offset = in.position();
        auto byte = in.u8();
        if (byte != 0xFF) return std::nullopt;
        do byte = in.u8();
        while (byte == 0xFF);
        if (!byte || *byte == 0x00) return std::nullopt;
        const uint8_t marker = *byte;
        if (marker == 0xD9) return std::nullopt; // EOI before any scan: no picture
        if (isStandalone(marker)) continue;
        const auto length = in.u16be();
        if (!length || *length < 2) return std::nullopt;
        const auto payload = in.bytes(*length - 2u);
        if (!payload) return std::nullopt;
        segments.push_back({marker, offset, *payload});
        if (marker == 0xDA) return segments;
    }
}

std::optional<JPEGFrame> jpegFrame(const std::vector<JPEGSegment>& segments)
{
    for (const JPEGSegment& segment : segments) {
        if (!isStartOfFrame(segment.marker)) continue;
        ByteReader in(segment.payload);
        const auto precision = in.u8();
        const auto height = in.u16be();
        const auto width = in.u16be();
        const auto components = in.u8();
        if (!precision || !height || !width || !components) return std::nullopt;
        return JPEGFrame{*width, *height, *components, *precision};
    }
    return std::nullopt;
}

std::vector<uint8_t> jpegICCProfile(const std::vector<JPEGSegment>& segments)
{
    std::map<int, std::span<const uint8_t>> chunks;
    int expected = 0;
    for (const JPEGSegment& segment : segments) {
        if (!segment.isApp(2)) continue;
        const auto body = segment.afterSignature(jpegICCSignature);
        if (body.size() < 2) continue;
        const int sequence = body[0], count = body[1];
        if (sequence < 1 || sequence > count || (expected && count != expected)) return {};
        expected = count;
        chunks[sequence] = body.subspan(2);
    }
    if (chunks.empty() || int(chunks.size()) != expected) return {};
    std::vector<uint8_t> profile;
    for (const auto& [sequence, bytes] : chunks) profile.insert(profile.end(), bytes.begin(), bytes.end());
    return profile;
}

std::optional<std::string_view> jpegXmpPacket(const std::vector<JPEGSegment>& segments)
{
    for (const JPEGSegment& segment : segments) {
        if (!segment.isApp(1)) continue;
        const auto body = segment.afterSignature(jpegXmpSignature);
        if (!body.empty()) return std::string_view(reinterpret_cast<const char*>(body.data()), body.size());
    }
    return std::nullopt;
}

} // namespace oxel
