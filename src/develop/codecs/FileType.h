#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace oxel {

// The picture formats the program tells apart, by the bytes a file begins with.
enum class FileType {
    jpeg,
    png,
    tiff,
    heic, // HEIF with an HEVC brand
    heif, // other HEIF brands
    psd,
    psb,
    cameraRaw, // TIFF-structured camera raw files: recognised, never read as TIFF
};

// The type of a file from its first bytes (a few hundred are enough, except for camera raw files
// whose TIFF directory lies further in: pass the whole file to tell those apart). Nothing when
// the bytes match no known format.
std::optional<FileType> fileTypeOf(std::span<const uint8_t> bytes);

// The uniform type identifier of a format ("public.jpeg", "com.adobe.photoshop-image", ...).
std::string_view typeIdentifier(FileType type);

// The formats whose pictures the program reads.
bool isReadable(FileType type);

} // namespace oxel
