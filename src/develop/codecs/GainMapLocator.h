#pragma once

#include "develop/codecs/FileType.h"
#include "develop/codecs/Metadata.h"
#include "imaging/Bitmap.h"

#include <cstdint>
#include <optional>
#include <span>

namespace oxel {

// The two kinds of gain map a file may carry: the platform's HDR gain map, and the ISO-style map
// whose parameters its XMP gives.
enum class GainMapKind { hdr, iso };

// The container a gain map was found in.
enum class GainMapContainer { jpegMultiPicture, heifAuxiliary };

// The original's gain map as stored: its pixels (grey, one value a pixel), its own metadata,
// where it came from, and the EXIF orientations that turn it as the file's picture is turned
// (applied one after the other; none when the picture is not turned or the map turns itself).
struct StoredGainMap {
    Bitmap pixels;
    Metadata metadata;
    GainMapKind kind = GainMapKind::hdr;
    GainMapContainer container = GainMapContainer::jpegMultiPicture;
    std::vector<int> pictureTurns;
};

// A gain map counts only when it is no larger than the file's picture; a larger one is ignored as
// no map at all.

// Whether the file carries a gain map, without decoding it.
bool containsGainMap(std::span<const uint8_t> file);

// The file's gain map, decoded; nothing when it has none or the map cannot be read.
std::optional<StoredGainMap> readGainMap(std::span<const uint8_t> file);

// Only the map's metadata, as `readGainMap` would give it, without decoding the pixels.
std::optional<Metadata> gainMapMetadata(std::span<const uint8_t> file);

} // namespace oxel
