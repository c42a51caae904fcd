#include "library/KeptPicture.h"

#include "develop/SourceDecoding.h"
#include "library/LibraryFiles.h"

#include <algorithm>

namespace oxel {

std::optional<KeptPicture> KeptPicture::read(const std::filesystem::path& file, int64_t nominalLongSide, KeptDecode how)
{
    if (!isPlainFile(file)) return std::nullopt;
    const auto stamp = FileState::of(file);
    if (!stamp) return std::nullopt;
    auto decoded = decode(file, *stamp, nominalLongSide, how);
    if (!decoded || decoded->isNull()) return std::nullopt;
    return KeptPicture{std::move(*decoded), *stamp};
}

std::optional<Bitmap> KeptPicture::decode(const std::filesystem::path& file, const FileState& stamp,
                                          int64_t nominalLongSide, KeptDecode how)
{
    const auto bytes = readStampedFile(file, stamp);
    if (!bytes) return std::nullopt;
    const auto picture = readPictureFile(bytes->span());
    if (!picture || std::max(picture->header.width, picture->header.height) > 2 * nominalLongSide) return std::nullopt;
    auto decoded = decodeStoredPicture(bytes->span(), *picture, how == KeptDecode::reduced ? nominalLongSide : 0);
    if (FileState::of(file) != stamp) return std::nullopt;
    return decoded;
}

} // namespace oxel
