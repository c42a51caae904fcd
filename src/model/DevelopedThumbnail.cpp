#include "model/DevelopedThumbnail.h"

#include "develop/SourceDecoding.h"
#include "library/LibraryStore.h"

#include <memory>
#include <vector>

namespace oxel {

std::optional<PictureHandle> developedThumbnail(const Bitmap& developed)
{
    constexpr double quality = 0.85;
    auto encoded = LibraryStore::jpegData(developed, developedThumbnailPixels, quality);
    if (!encoded) return std::nullopt;
    auto bytes = std::make_shared<const std::vector<uint8_t>>(std::move(*encoded));
    const auto file = readPictureFile(*bytes);
    if (!file) return std::nullopt;
    PictureRecipe recipe{file->header.width, file->header.height,
                         [bytes, file = *file] { return decodeStoredPicture(*bytes, file, 0); }};
    return PictureHandle(std::move(recipe));
}

} // namespace oxel
