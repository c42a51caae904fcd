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

// Whether a directory (or one of its sub-directories, one level down) describes raw sensor data.
bool directoryIsRaw(std::span<const uint8_t> bytes, bool bigEndian, uint32_t offset, int depth)
{
    ByteReader in(bytes);
    if (!in.seek(offset)) return false;
    const auto count = in.u16(bigEndian);
    if (!count) return false;
    for (uint16_t i = 0; i < *count; ++i) {
        const auto tag = in.u16(bigEndian);
        const auto type = in.u16(bigEndian);
        const auto n = in.u32(bigEndian);
        const auto value = in.bytes(4);
        if (!tag || !type || !n || !value) return false;
        ByteReader field(*value);
        if (*tag == dngVersionTag) return true;
        if (*tag == photometricTag && *type == 3) {
            const auto photometric = field.u16(bigEndian);
            if (photometric == photometricCFA || photometric == photometricLinearRaw) return true;
        }
        if (*tag == subIFDsTag && depth == 0 && *n >= 1) {
            // One offset is stored in place; several are stored elsewhere: the first is enough.
            uint32_t first = field.u32(bigEndian).value_or(0);
            if (*n > 1) {
                ByteReader list(bytes);
                first = list.seek(first) ? list.u32(bigEndian).value_or(0) : 0;
            }
            if (first && directoryIsRaw(bytes, bigEndian, first, 1)) return true;
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
    if (*magic != 42) return std::nullopt;
    const auto ifd0 = in.u32(big);
    if (bytes.size() >= 10 && bytes[8] == 'C' && bytes[9] == 'R') return FileType::cameraRaw; // Canon CR2
    if (ifd0 && directoryIsRaw(bytes, big, *ifd0, 0)) return FileType::cameraRaw;
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
