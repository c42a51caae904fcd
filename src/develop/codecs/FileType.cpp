#include "develop/codecs/FileType.h"

#include "develop/codecs/ByteIO.h"

#include <algorithm>
#include <array>

namespace oxel {

namespace {

struct TypeRow {
    FileType type;
    std::string_view identifier;
    bool readable;
};

// The one table of formats.
constexpr std::array<TypeRow, 8> typeTable = {{
    {FileType::jpeg, "public.jpeg", true},
    {FileType::png, "public.png", true},
    {FileType::tiff, "public.tiff", true},
    {FileType::heic, "public.heic", true},
    {FileType::heif, "public.heif", true},
    {FileType::psd, "com.adobe.photoshop-image", true},
    // The large variant is the same format to everything that asks for a type.
    {FileType::psb, "com.adobe.photoshop-image", true},
    {FileType::cameraRaw, "public.camera-raw-image", false},
}};

const TypeRow& rowOf(FileType type)
{
    return *std::find_if(typeTable.begin(), typeTable.end(), [type](const TypeRow& row) { return row.type == type; });
}

bool startsWith(std::span<const uint8_t> bytes, std::initializer_list<uint8_t> prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

std::optional<FileType> heifBrand(std::span<const uint8_t> bytes)
{
    ByteReader in(bytes);
    const auto boxSize = in.u32be();
    const auto boxType = in.bytes(4);
    if (!boxSize || !boxType || std::string_view(reinterpret_cast<const char*>(boxType->data()), 4) != "ftyp")
        return std::nullopt;
    if (*boxSize < 16) return std::nullopt;
    const size_t end = std::min<size_t>(*boxSize, bytes.size());
    bool heif = false;
    // The major brand, the minor version, then the compatible brands.
    for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const std::string_view brand(reinterpret_cast<const char*>(bytes.data() + at), 4);
        if (brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis" || brand == "hevc" ||
            brand == "hevx")
            return FileType::heic;
        if (brand == "mif1" || brand == "msf1") heif = true;
    }
    return heif ? std::optional(FileType::heif) : std::nullopt;
}

// Tags that only camera raw files put in their TIFF directories.
constexpr uint16_t dngVersionTag = 0xC612;
constexpr uint16_t photometricTag = 262;
constexpr uint16_t subIFDsTag = 330;
constexpr uint16_t photometricCFA = 32803;
constexpr uint16_t photometricLinearRaw = 34892;

// How a TIFF file lays out its numbers: byte order, and whether it is the large variant whose
// offsets and counts take eight bytes.
struct TIFFLayout {
    bool bigEndian = false;
    bool large = false;

    // Offsets and value counts share their width.
    std::optional<uint64_t> offsetOrCount(ByteReader& in) const
    {
        if (large) return in.u64(bigEndian);
        return in.u32(bigEndian);
    }
    std::optional<uint64_t> entryCount(ByteReader& in) const
    {
        if (large) return in.u64(bigEndian);
        return in.u16(bigEndian);
    }
    size_t valueBytes() const { return large ? 8 : 4; }
};

constexpr uint16_t long8Type = 16, ifd8Type = 18;

// The first of a SubIFDs entry's directory offsets, stored in place when they fit.
uint64_t firstSubDirectory(std::span<const uint8_t> bytes, const TIFFLayout& layout, uint16_t type, uint64_t count,
                           std::span<const uint8_t> value)
{
    const bool wide = type == long8Type || type == ifd8Type;
    const auto read = [&](ByteReader& in) -> std::optional<uint64_t> {
        if (wide) return in.u64(layout.bigEndian);
        return in.u32(layout.bigEndian);
    };
    ByteReader field(value);
    if (count <= layout.valueBytes() / (wide ? 8 : 4)) return read(field).value_or(0);
    ByteReader list(bytes);
    if (!list.seek(size_t(std::min<uint64_t>(layout.offsetOrCount(field).value_or(0), bytes.size())))) return 0;
    return read(list).value_or(0);
}

// Whether a directory (or one of its sub-directories, one level down) describes raw sensor data.
bool directoryIsRaw(std::span<const uint8_t> bytes, const TIFFLayout& layout, uint64_t offset, int depth)
{
    ByteReader in(bytes);
    if (offset > bytes.size() || !in.seek(size_t(offset))) return false;
    const auto count = layout.entryCount(in);
    if (!count) return false;
    for (uint64_t i = 0; i < *count; ++i) {
        const auto tag = in.u16(layout.bigEndian);
        const auto type = in.u16(layout.bigEndian);
        const auto n = layout.offsetOrCount(in);
        const auto value = in.bytes(layout.valueBytes());
        if (!tag || !type || !n || !value) return false;
        ByteReader field(*value);
        if (*tag == dngVersionTag) return true;
        if (*tag == photometricTag && *type == 3) {
            const auto photometric = field.u16(layout.bigEndian);
            if (photometric == photometricCFA || photometric == photometricLinearRaw) return true;
        }
        if (*tag == subIFDsTag && depth == 0 && *n >= 1) {
            const uint64_t first = firstSubDirectory(bytes, layout, *type, *n, *value);
            if (first && directoryIsRaw(bytes, layout, first, 1)) return true;
        }
    }
    return false;
}

std::optional<FileType> tiffKind(std::span<const uint8_t> bytes)
{
    const bool little = startsWith(bytes, {'I', 'I'}), big = startsWith(bytes, {'M', 'M'});
    if (!little && !big) return std::nullopt;
    ByteReader in(bytes);
    in.skip(2);
    const auto magic = in.u16(big);
    if (!magic) return std::nullopt;
    // Olympus and Panasonic raw files change the magic number itself.
    if (*magic == 0x4F52 || *magic == 0x5352 || *magic == 0x0055) return FileType::cameraRaw;
    // 43 is the large variant: eight-byte offsets, announced by an offset size of 8.
    const TIFFLayout layout{big, *magic == 43};
    if (*magic != 42 && !layout.large) return std::nullopt;
    if (layout.large && (in.u16(big) != 8 || in.u16(big) != 0)) return std::nullopt;
    const auto ifd0 = layout.offsetOrCount(in);
    if (!layout.large && bytes.size() >= 10 && bytes[8] == 'C' && bytes[9] == 'R')
        return FileType::cameraRaw; // Canon CR2
    if (ifd0 && directoryIsRaw(bytes, layout, *ifd0, 0)) return FileType::cameraRaw;
    return FileType::tiff;
}

} // namespace

std::optional<FileType> fileTypeOf(std::span<const uint8_t> bytes)
{
    if (startsWith(bytes, {0xFF, 0xD8, 0xFF})) return FileType::jpeg;
    if (startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return FileType::png;
    if (startsWith(bytes, {'8', 'B', 'P', 'S', 0, 1})) return FileType::psd;
    if (startsWith(bytes, {'8', 'B', 'P', 'S', 0, 2})) return FileType::psb;
    if (auto tiff = tiffKind(bytes)) return tiff;
    if (bytes.size() >= 12 && std::string_view(reinterpret_cast<const char*>(bytes.data() + 4), 4) == "ftyp")
        return heifBrand(bytes);
    return std::nullopt;
}

std::string_view typeIdentifier(FileType type)
{
    return rowOf(type).identifier;
}

bool isReadable(FileType type)
{
    return rowOf(type).readable;
}

} // namespace oxel
