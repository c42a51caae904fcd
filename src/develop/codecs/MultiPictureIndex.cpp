#include "develop/codecs/MultiPictureIndex.h"

#include "develop/codecs/ByteIO.h"
#include "develop/codecs/JPEGStructure.h"

namespace oxel {

namespace {

constexpr uint16_t versionTag = 0xB000;
constexpr uint16_t numberOfImagesTag = 0xB001;
constexpr uint16_t entryTag = 0xB002;
constexpr uint16_t undefinedType = 7;
constexpr uint16_t longType = 4;
constexpr size_t entryBytes = 16;
// No file lists more pictures than this; a larger count is damage.
constexpr uint32_t mostPictures = 1024;

} // namespace

std::optional<MultiPictureIndex> MultiPictureIndex::parse(std::span<const uint8_t> payload)
{
    ByteReader in(payload);
    const auto order = in.u16be();
    if (order != 0x4949 && order != 0x4D4D) return std::nullopt;
    MultiPictureIndex index;
    index.bigEndian = order == 0x4D4D;
    const bool big = index.bigEndian;
    if (in.u16(big) != 42) return std::nullopt;
    const auto ifd = in.u32(big);
    if (!ifd || !in.seek(*ifd)) return std::nullopt;
    const auto count = in.u16(big);
    if (!count) return std::nullopt;
    std::optional<uint32_t> pictures;
    std::optional<std::span<const uint8_t>> entryData;
    for (uint16_t i = 0; i < *count; ++i) {
        const auto tag = in.u16(big);
        const auto type = in.u16(big);
        const auto n = in.u32(big);
        const auto value = in.bytes(4);
        if (!tag || !type || !n || !value) return std::nullopt;
        if (*tag == versionTag && *type == undefinedType && *n == 4) {
            index.version.assign(value->begin(), value->end());
        } else if (*tag == numberOfImagesTag && *type == longType && *n == 1) {
            pictures = ByteReader(*value).u32(big);
        } else if (*tag == entryTag && *type == undefinedType) {
            ByteReader at(*value);
            const auto offset = at.u32(big);
            ByteReader data(payload);
            if (!offset || !data.seek(*offset)) return std::nullopt;
            entryData = data.bytes(*n);
            if (!entryData) return std::nullopt;
        }
    }
    if (!pictures || !entryData || *pictures == 0 || *pictures > mostPictures) return std::nullopt;
    if (entryData->size() != size_t(*pictures) * entryBytes) return std::nullopt;
    ByteReader entries(*entryData);
    for (uint32_t i = 0; i < *pictures; ++i) {
        MultiPictureEntry e;
        e.attribute = *entries.u32(big);
        e.size = *entries.u32(big);
        e.offset = *entries.u32(big);
        e.dependent1 = *entries.u16(big);
        e.dependent2 = *entries.u16(big);
        index.entries.push_back(e);
    }
    return index;
}

std::vector<uint8_t> MultiPictureIndex::encoded() const
{
    const bool big = bigEndian;
    ByteWriter out;
    out.u16be(big ? 0x4D4D : 0x4949);
    out.u16(42, big);
    out.u32(8, big);
    constexpr uint16_t fields = 3;
    const uint32_t entryOffset = 8 + 2 + fields * 12 + 4;
    out.u16(fields, big);
    out.u16(versionTag, big);
    out.u16(undefinedType, big);
    out.u32(4, big);
    std::string paddedVersion = version;
    paddedVersion.resize(4, '0');
    out.append(paddedVersion.data(), 4);
    out.u16(numberOfImagesTag, big);
    out.u16(longType, big);
    out.u32(1, big);
    out.u32(uint32_t(entries.size()), big);
    out.u16(entryTag, big);
    out.u16(undefinedType, big);
    out.u32(uint32_t(entries.size() * entryBytes), big);
    out.u32(entryOffset, big);
    out.u32(0, big); // no attribute directory follows
    for (const MultiPictureEntry& e : entries) {
        out.u32(e.attribute, big);
        out.u32(e.size, big);
        out.u32(e.offset, big);
        out.u16(e.dependent1, big);
        out.u16(e.dependent2, big);
    }
    return out.take();
}

std::optional<std::span<const uint8_t>> LocatedMultiPictureIndex::picture(std::span<const uint8_t> file, size_t i) const
{
    if (i >= index.entries.size()) return std::nullopt;
    const MultiPictureEntry& e = index.entries[i];
    // Offset 0 stands for the start of the file, which only the first picture may claim.
    if (e.offset == 0 && i != 0) return std::nullopt;
    const uint64_t start = e.offset == 0 ? 0 : uint64_t(base) + e.offset;
    if (start > file.size() || e.size > file.size() - start || e.size < 4) return std::nullopt;
    return file.subspan(size_t(start), e.size);
}

std::optional<LocatedMultiPictureIndex> locateMultiPictureIndex(std::span<const uint8_t> file)
{
    const auto segments = jpegSegments(file);
    if (!segments) return std::nullopt;
    for (const JPEGSegment& segment : *segments) {
        if (!segment.isApp(2) || !segment.hasSignature(jpegMpfSignature)) continue;
        const auto payload = segment.afterSignature(jpegMpfSignature);
        auto index = MultiPictureIndex::parse(payload);
        if (!index) return std::nullopt;
        return LocatedMultiPictureIndex{std::move(*index), size_t(payload.data() - file.data())};
    }
    return std::nullopt;
}

} // namespace oxel
