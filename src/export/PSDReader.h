#pragma once

#include "develop/codecs/Metadata.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

// Takes the bottom layer, "original", back out of a layered PSD, PSB or TIFF that this program
// wrote. The reader accepts what the writer produces and little more: every length is checked
// against the bytes that are really there before anything is allocated or decoded, and every
// problem, whatever it is, gives a plain "no".
namespace PSDReader {

// The "original" layer: 16-bit RGB samples (native order, interleaved, rows top to bottom) and
// the document's ICC profile, empty when it has none.
struct Original {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint16_t> samples;
    std::vector<uint8_t> iccProfile;
};

// Where the layered file's bytes come from.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly `count` bytes at `offset`; false when they are not all there.
    virtual bool read(uint64_t offset, void* out, size_t count) const = 0;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, void* out, size_t count) const override;

private:
    std::span<const uint8_t> bytes_;
};

// The "original" layer of the layered file in `source`, or nothing.
std::optional<Original> readOriginal(const Source& source);

// Reads the "original" layer of the file at `source` and writes it to `destination` as an
// uncompressed 16-bit RGB TIFF tagged with the document's profile (sRGB without a usable one), carrying
// `properties` (the original's metadata) with the orientation set upright, as the layer's pixels
// lie. True when the TIFF was written; false on every failure, leaving no file at `destination`.
bool extractOriginal(const std::filesystem::path& source, const std::filesystem::path& destination,
                     const std::optional<Metadata>& properties);

} // namespace PSDReader

} // namespace oxel
