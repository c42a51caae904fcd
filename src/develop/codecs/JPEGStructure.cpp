#include "develop/codecs/JPEGStructure.h"

#include "develop/codecs/ByteIO.h"

#include <algorithm>
#include <cstring>
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

// Real progressive files use about ten scans; encoders that tune their progression use a few dozen.
constexpr int maxScans = 256;
// Ordinary progressions visit each block three or four times.
constexpr uint64_t maxVisitsPerBlock = 16;
// A progressive decode holds two bytes for each of a block's 64 coefficients for the whole picture:
// enough for a progressive photograph of about 170 megapixels (full-resolution colour) or 350
// (half-resolution colour).
constexpr uint64_t maxCoefficientBytes = uint64_t(1) << 30;

struct FrameComponent {
    uint8_t id = 0;
    uint64_t blocks = 0;
};

// Each component's blocks, from a start-of-frame payload.
std::optional<std::vector<FrameComponent>> frameComponents(std::span<const uint8_t> payload)
{
    ByteReader in(payload);
    in.skip(1);
    const auto height = in.u16be(), width = in.u16be();
    const auto count = in.u8();
    if (!height || !width || !count) return std::nullopt;
    struct Sampling {
        uint8_t id, h, v;
    };
    std::vector<Sampling> sampling;
    int hMax = 1, vMax = 1;
    for (int i = 0; i < *count; ++i) {
        const auto id = in.u8(), factors = in.u8();
        if (!id || !factors || !in.skip(1)) return std::nullopt;
        const uint8_t h = std::max(1, *factors >> 4), v = std::max(1, *factors & 15);
        sampling.push_back({*id, h, v});
        hMax = std::max<int>(hMax, h);
        vMax = std::max<int>(vMax, v);
    }
    std::vector<FrameComponent> components;
    for (const Sampling& c : sampling) {
        const uint64_t w = (uint64_t(*width) * c.h + hMax - 1) / hMax, h = (uint64_t(*height) * c.v + vMax - 1) / vMax;
        components.push_back({c.id, ((w + 7) / 8) * ((h + 7) / 8)});
    }
    return components;
}

// The blocks a scan visits: those of every component it names.
std::optional<uint64_t> scanBlocks(std::span<const uint8_t> payload, const std::vector<FrameComponent>& frame)
{
    ByteReader in(payload);
    const auto count = in.u8();
    if (!count) return std::nullopt;
    uint64_t blocks = 0;
    for (int i = 0; i < *count; ++i) {
        const auto id = in.u8();
        if (!id || !in.skip(1)) return std::nullopt;
        const auto found =
            std::find_if(frame.begin(), frame.end(), [&](const FrameComponent& c) { return c.id == *id; });
        if (found == frame.end()) return std::nullopt;
        blocks += found->blocks;
    }
    return blocks;
}

// The position of the marker that ends the entropy-coded data starting at `from`: the first 0xFF
// that is neither a stuffed zero, a restart marker nor fill.
std::optional<size_t> endOfEntropyData(std::span<const uint8_t> stream, size_t from)
{
    const uint8_t* begin = stream.data();
    size_t at = from;
    while (at + 1 < stream.size()) {
        const void* found = std::memchr(begin + at, 0xFF, stream.size() - at - 1);
        if (!found) return std::nullopt;
        at = size_t(static_cast<const uint8_t*>(found) - begin);
        const uint8_t next = begin[at + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF)
            at += next == 0xFF ? 1 : 2;
        else
            return at;
    }
    return std::nullopt;
}

} // namespace

std::optional<JPEGScans> jpegScans(std::span<const uint8_t> stream)
{
    ByteReader in(stream);
    if (in.u8() != 0xFF || in.u8() != 0xD8) return std::nullopt;
    std::optional<std::vector<FrameComponent>> frame;
    JPEGScans scans;
    while (true) {
        // Stray bytes before a marker are skipped, as decoders do: real cameras write them.
        auto byte = in.u8();
        while (byte && *byte != 0xFF) byte = in.u8();
        while (byte == 0xFF) byte = in.u8();
        if (!byte || *byte == 0x00) return std::nullopt;
        const uint8_t marker = *byte;
        if (marker == 0xD9) break;
        if (isStandalone(marker)) continue;
        const auto length = in.u16be();
        if (!length || *length < 2) return std::nullopt;
        const auto payload = in.bytes(*length - 2u);
        if (!payload) return std::nullopt;
        if (isStartOfFrame(marker) && !frame) {
            frame = frameComponents(*payload);
            if (!frame) return std::nullopt;
            scans.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        }
        if (marker != 0xDA) continue;
        const auto blocks = frame ? scanBlocks(*payload, *frame) : std::nullopt;
        if (!blocks) return std::nullopt;
        ++scans.count;
        scans.blockVisits += *blocks;
        const auto end = endOfEntropyData(stream, in.position());
        if (!end || !in.seek(*end)) return std::nullopt;
    }
    if (!frame || scans.count == 0) return std::nullopt;
    for (const FrameComponent& c : *frame) scans.frameBlocks += c.blocks;
    scans.coefficientBytes = scans.progressive ? scans.frameBlocks * 64 * 2 : 0;
    return scans;
}

bool jpegDecodingIsBounded(std::span<const uint8_t> stream)
{
    const auto scans = jpegScans(stream);
    return scans && scans->count <= maxScans && scans->blockVisits <= maxVisitsPerBlock * scans->frameBlocks &&
           scans->coefficientBytes <= maxCoefficientBytes;
}

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
