#pragma once

#include "develop/SourceCache.h"
#include "imaging/Bitmap.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace oxel {

// How a kept picture is decoded: reduced to the long side it was written at (a thumbnail), or
// whole (a render).
enum class KeptDecode { reduced, whole };

// A picture file the library keeps beside a record, decoded, with the stamp of the file it was
// decoded from. The picture was written at `nominalLongSide` at most: one whose header is more
// than twice as large was not written by the library (planted, or damaged) and is refused before
// a pixel is decoded.
struct KeptPicture {
    Bitmap bitmap;
    FileState stamp;

    // Nothing when the file is missing, a link, not a plain file or no whole picture.
    static std::optional<KeptPicture> read(const std::filesystem::path& file, int64_t nominalLongSide, KeptDecode how);
    // The file decoded again, only while its stamp is `stamp`.
    static std::optional<Bitmap> decode(const std::filesystem::path& file, const FileState& stamp,
                                        int64_t nominalLongSide, KeptDecode how);
};

} // namespace oxel
