#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace oxel {

// One marker segment of a JPEG stream's header (everything before the first scan).
struct JPEGSegment {
    uint8_t marker = 0;               // the byte after 0xFF: 0xE1 for APP1, 0xC0 for SOF0, ...
    size_t offset = 0;                // where the 0xFF of the marker lies in the stream
    std::span<const uint8_t> payload; // the bytes after the length field

    bool isApp(int n) const { return marker == 0xE0 + n; }
    // An APPn payload that begins with `signature` (NULs included).
    bool hasSignature(std::string_view signature) const;
    std::span<const uint8_t> afterSignature(std::string_view signature) const;
};

// The header segments of the JPEG stream that begins at `stream`, up to and including the first
// start of scan. Nothing when the stream does not begin with SOI or a segment runs past the end.
std::optional<std::vector<JPEGSegment>> jpegSegments(std::span<const uint8_t> stream);

// The frame: size, component count and sample precision of the first SOFn segment.
struct JPEGFrame {
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 8;
};
std::optional<JPEGFrame> jpegFrame(const std::vector<JPEGSegment>& segments);

// What a walk over every marker of a stream, to its end of image, finds: how many scans there are,
// how many component blocks they visit in all, how many blocks the frame has, and the bytes a
// progressive decode keeps for its coefficients. Nothing when the stream does not end properly
// (truncated, or a segment runs past the end) or has no frame.
struct JPEGScans {
    int count = 0;
    uint64_t blockVisits = 0;
    uint64_t frameBlocks = 0;
    uint64_t coefficientBytes = 0;
    bool progressive = false;
};
std::optional<JPEGScans> jpegScans(std::span<const uint8_t> stream);

// Whether decoding the stream costs what a real photograph costs: it ends properly, holds at most a
// few hundred scans whose blocks are visited a bounded number of times, and a progressive stream's
// coefficients fit the decoding budget. Checked before anything is allocated for the pixels, so a
// file of many cheap scans (each of which makes the decoder pass over every block) is refused
// instead of taking minutes.
bool jpegDecodingIsBounded(std::span<const uint8_t> stream);

// The embedded ICC profile, put together from its APP2 chunks in order; empty when absent or when
// chunks are missing.
std::vector<uint8_t> jpegICCProfile(const std::vector<JPEGSegment>& segments);

// The XMP packet of the APP1 segment that carries one (the standard part only).
std::optional<std::string_view> jpegXmpPacket(const std::vector<JPEGSegment>& segments);

inline constexpr std::string_view jpegExifSignature{"Exif\0\0", 6};
inline constexpr std::string_view jpegXmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
inline constexpr std::string_view jpegICCSignature{"ICC_PROFILE\0", 12};
inline constexpr std::string_view jpegMpfSignature{"MPF\0", 4};
inline constexpr std::string_view jpegPhotoshopSignature{"Photoshop 3.0\0", 14};

} // namespace oxel
