#pragma once

#include "develop/SourceCache.h"
#include "develop/codecs/FileType.h"
#include "develop/codecs/PictureCodec.h"
#include "imaging/Bitmap.h"
#include "imaging/ColourSpace.h"
#include "imaging/Image.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

// A picture file read as far as its header, with its format.
struct PictureFile {
    FileType type = FileType::jpeg;
    PictureHeader header;
};

// The colour space in which a file's decoded values are read: its own RGB space when the program
// can model it, sRGB otherwise (values as stored for untagged RGB and plain grey, converted
// values for the other colour models), and whether that is the fallback.
struct ResolvedColour {
    ColourSpace space;
    bool fellBack = false;
};
ResolvedColour resolveColour(const PictureHeader& header);

// The type and header of a readable picture; nothing for other files and damaged headers.
std::optional<PictureFile> readPictureFile(std::span<const uint8_t> bytes);

// Whether the format's decoder gives a smaller picture when asked for one: JPEG by DCT scaling,
// HEIF through its thumbnails, PNG, TIFF and PSD by averaging blocks as the rows are decoded.
bool decodesReduced(FileType type);

// The stored picture (before orientation) as a bitmap: RGB and plain grey values as stored,
// other colour models converted to sRGB. With `minLongSide` above 0 the decoder may give a
// smaller picture whose longer side still reaches it.
std::optional<Bitmap> decodeStoredPicture(std::span<const uint8_t> bytes, const PictureFile& file, int64_t minLongSide);

// The stored picture of a stamped file, decoded as `decodeStoredPicture` does; nothing when the file
// cannot be read, or changed while it was decoded.
std::optional<Bitmap> decodeStampedFile(const std::filesystem::path& path, const FileState& stamp, int64_t minLongSide);

// The cache key of a file's content at a stamp; pictures made from it add their own suffix.
std::string pictureKey(const std::filesystem::path& path, const FileState& stamp);

// What a lazy picture of a file says once when the file changed or went away since it was loaded.
std::string changedFileNote(const std::filesystem::path& path);

// The stored picture of a stamped file as a lazy picture, decoded through the shared cache when a
// render first needs it. A file whose stamp no longer matches renders black and says so once on
// standard error; `storedBitmap` gives the checked result.
Image lazyStoredPicture(const std::filesystem::path& path, const FileState& stamp, const PictureFile& file);
std::optional<Bitmap> storedBitmap(const std::filesystem::path& path, const FileState& stamp);

// A picture decoded from encoded bytes that are kept anyway (a result's render as received, or as
// the library stores it), upright, values as stored. Decoded now, then held by the shared picture
// cache and decoded again from the bytes when it was let go. Nothing when the bytes are no
// picture this program reads, or are damaged.
std::optional<Image> decodedPicture(std::shared_ptr<const std::vector<uint8_t>> encoded);

} // namespace oxel
