#include "export/JPEGGainMap.h"

#include <string>

namespace oxel {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::string_view xmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr size_t largestSegmentPayload = 65533;

void put16(Bytes& out, uint32_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void put32(Bytes& out, uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

void putText(Bytes& out, std::string_view text)
{
    for (char c : text) out.push_back(uint8_t(c));
}

bool isJPEGStream(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

// The map's stream with its XMP as the first segment after SOI.
std::optional<Bytes> mapWithXmp(std::span<const uint8_t> map, std::string_view xmp)
{
    Bytes out(map.begin(), map.begin() + 2);
    if (!xmp.empty()) {
        if (xmpSignature.size() + xmp.size() > largestSegmentPayload) return std::nullopt;
        out.insert(out.end(), {0xFF, 0xE1});
        put16(out, uint32_t(2 + xmpSignature.size() + xmp.size()));
        putText(out, xmpSignature);
        putText(out, xmp);
    }
    out.insert(out.end(), map.begin() + 2, map.end());
    return out;
}

// An APP2 "MPF" segment: a big-endian TIFF header and one MP index IFD (version, number of
// images, the MP entries) with the two 16-byte entries behind it. Offsets count from the TIFF
// header; the primary's entry has offset 0.
constexpr uint32_t mpfSegmentLength = 2 + 4 + 8 + 2 + 3 * 12 + 4 + 32;

Bytes mpfSegment(uint32_t primarySize, uint32_t mapSize, uint32_t mapOffset)
{
    Bytes out = {0xFF, 0xE2};
    put16(out, mpfSegmentLength);
    putText(out, std::string_view("MPF\0", 4));
    const uint32_t ifdOffset = 8;
    out.insert(out.end(), {'M', 'M', 0, 42});
    put32(out, ifdOffset);
    put16(out, 3);
    put16(out, 0xB000), put16(out, 7), put32(out, 4), putText(out, "0100"); // MPFVersion
    put16(out, 0xB001), put16(out, 4), put32(out, 1), put32(out, 2);        // NumberOfImages
    const uint32_t entriesOffset = ifdOffset + 2 + 3 * 12 + 4;
    put16(out, 0xB002), put16(out, 7), put32(out, 32), put32(out, entriesOffset);  // MPEntry
    put32(out, 0);                                                                 // no next IFD
    put32(out, 0x20030000), put32(out, primarySize), put32(out, 0), put32(out, 0); // representative, baseline primary
    put32(out, 0x00000000), put32(out, mapSize), put32(out, mapOffset), put32(out, 0);
    return out;
}

} // namespace

std::optional<size_t> endOfLeadingApplicationSegments(std::span<const uint8_t> jpeg)
{
    if (!isJPEGStream(jpeg)) return std::nullopt;
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] >= 0xE0 && jpeg[at + 1] <= 0xEF) {
        const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) return std::nullopt;
        at += 2 + length;
    }
    return at;
}

std::optional<std::vector<uint8_t>> withGainMapPicture(std::span<const uint8_t> primary,
                                                       std::span<const uint8_t> gainMap, std::string_view gainMapXmp)
{
    const auto insertAt = endOfLeadingApplicationSegments(primary);
    if (!insertAt || !isJPEGStream(gainMap)) return std::nullopt;
    const auto map = mapWithXmp(gainMap, gainMapXmp);
    if (!map) return std::nullopt;

    const uint64_t primarySize = primary.size() + 2 + mpfSegmentLength;
    const uint64_t tiffHeaderAt = *insertAt + 2 + 2 + 4;
    const uint64_t mapOffset = primarySize - tiffHeaderAt;
    if (primarySize > 0xFFFFFFFFu || map->size() > 0xFFFFFFFFu) return std::nullopt;

    Bytes out;
    out.reserve(size_t(primarySize) + map->size());
    out.insert(out.end(), primary.begin(), primary.begin() + std::ptrdiff_t(*insertAt));
    const Bytes segment = mpfSegment(uint32_t(primarySize), uint32_t(map->size()), uint32_t(mapOffset));
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), primary.begin() + std::ptrdiff_t(*insertAt), primary.end());
    out.insert(out.end(), map->begin(), map->end());
    return out;
}

} // namespace oxel
