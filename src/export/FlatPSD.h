#pragma once

#include "export/PSDWriterError.h"

#include "imaging/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace oxel {

class OutputFile;

// Writes `picture` as a flat Photoshop document at `path`: no layers, the raw composite, the
// resolution, the bitmap's ICC profile and the given IPTC and Exif blocks (Exif as a TIFF-structured
// block, "MM" or "II" first) as image resources. Depth follows the bitmap (8 or 16 bits); a side
// above 30,000 pixels makes it a large document (PSB). Takes RGB, RGBX and RGBA bitmaps of 8 or 16
// bits; alpha is dropped. Nothing on success; the error otherwise, with `path` left as it was.
std::optional<PSDWriterError> writeFlatPSD(const Bitmap& picture, const std::filesystem::path& path, double dpi,
                                           std::span<const uint8_t> iptc = {}, std::span<const uint8_t> exif = {});

// The same document written at the current position of `out`; on an error, part of it may have
// been written.
std::optional<PSDWriterError> writeFlatPSD(const Bitmap& picture, OutputFile& out, double dpi,
                                           std::span<const uint8_t> iptc = {}, std::span<const uint8_t> exif = {});

} // namespace oxel
