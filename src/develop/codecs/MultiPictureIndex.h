#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

// One picture listed by a Multi-Picture Format index.
struct MultiPictureEntry {
    uint32_t attribute = 0; // flags (bits 31...27), data format (bits 26...24), type (bits 23...0)
    uint32_t size = 0;      // bytes of the picture's JPEG stream
    uint32_t offset = 0;    // from the index's TIFF header; 0 for the first picture
    uint16_t dependent1 = 0;
    uint16_t dependent2 = 0;

    static constexpr uint32_t primaryType = 0x030000; // baseline MP primary picture
    static constexpr uint32_t undefinedType = 0x000000;
    bool operator==(const MultiPictureEntry&) const = default;
};

// The MP index of a JPEG file: the APP2 "MPF" segment of its first picture, which lists every
// picture of the file. Offsets count from the TIFF header that follows "MPF\0".
struct MultiPictureIndex {
    bool bigEndian = true;
    std::string version = "0100";
    std::vector<MultiPictureEntry> entries;

    // The index from an APP2 payload after its "MPF\0" signature; nothing when it is damaged.
    static std::optional<MultiPictureIndex> parse(std::span<const uint8_t> payload);

    // The payload that `parse` reads (without the signature): the index directory only.
    std::vector<uint8_t> encoded() const;

    bool operator==(const MultiPictureIndex&) const = default;
};

// The index of a JPEG file and where its offsets count from in the file; nothing when the file
// has no MP index.
struct LocatedMultiPictureIndex {
    MultiPictureIndex index;
    size_t base = 0;

    // The JPEG stream of entry `i`, when it lies wholly inside the file.
    std::optional<std::span<const uint8_t>> picture(std::span<const uint8_t> file, size_t i) const;
};
std::optional<LocatedMultiPictureIndex> locateMultiPictureIndex(std::span<const uint8_t> file);

} // namespace oxel
