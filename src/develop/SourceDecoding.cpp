#include "develop/SourceDecoding.h"

#include "develop/colour/ColourTransform.h"
#include "develop/colour/ProfileRecognition.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"

#include <cstdio>

namespace oxel {

ResolvedColour resolveColour(const PictureHeader& header)
{
    if (header.model == ColourModel::rgb) {
        if (!header.icc.empty() && isUsableRGBProfile(header.icc)) return {colourSpaceOfProfile(header.icc), false};
        if (header.icc.empty() && header.declaredSRGB) return {ColourSpace::sRGB(), false};
    }
    return {ColourSpace::sRGB(), true};
}

std::optional<PictureFile> readPictureFile(std::span<const uint8_t> bytes)
{
    const auto type = fileTypeOf(bytes);
    if (!type) return std::nullopt;
    const auto codec = codecFor(*type);
    if (!codec) return std::nullopt;
    auto header = codec->readHeader(bytes);
    if (!header || !DecodeLimits::allow(header->width, header->height)) return std::nullopt;
    return PictureFile{*type, std::move(*header)};
}

bool decodesReduced(FileType type)
{
    return type == FileType::jpeg || type == FileType::png || type == FileType::tiff || type == FileType::heic ||
           type == FileType::heif || type == FileType::psd || type == FileType::psb;
}

std::optional<Bitmap> decodeStoredPicture(std::span<const uint8_t> bytes, const PictureFile& file, int64_t minLongSide)
{
    const auto codec = codecFor(file.type);
    if (!codec) return std::nullopt;
    const auto samples = codec->decode(bytes, minLongSide);
    if (!samples) return std::nullopt;
    return bitmapOf(*samples, file.header.icc);
}

std::string pictureKey(const std::filesystem::path& path, const FileState& stamp)
{
    return path.string() + '\n' + std::to_string(stamp.size) + ':' + std::to_string(stamp.modifiedNanoseconds) + ':' +
           std::to_string(stamp.inode) + ':' + std::to_string(stamp.device);
}

std::optional<Bitmap> decodeStampedFile(const std::filesystem::path& path, const FileState& stamp, int64_t minLongSide)
{
    const auto bytes = readStampedFile(path, stamp);
    if (!bytes) return std::nullopt;
    const auto file = readPictureFile(*bytes);
    if (!file) return std::nullopt;
    auto decoded = decodeStoredPicture(*bytes, *file, minLongSide);
    // The mapping shows the file as it is while it is decoded: one changed meanwhile gives nothing.
    if (FileState::of(path) != stamp) return std::nullopt;
    return decoded;
}

std::optional<Bitmap> storedBitmap(const std::filesystem::path& path, const FileState& stamp)
{
    return PictureCache::shared().bitmap(pictureKey(path, stamp), [&] { return decodeStampedFile(path, stamp, 0); });
}

std::string changedFileNote(const std::filesystem::path& path)
{
    return path.filename().string() + " changed or went away since it was loaded; not reading it";
}

Image lazyStoredPicture(const std::filesystem::path& path, const FileState& stamp, const PictureFile& file)
{
    PictureRecipe recipe{file.header.width, file.header.height,
                         [path, stamp] { return decodeStampedFile(path, stamp, 0); }, changedFileNote(path)};
    return PictureHandle::named(pictureKey(path, stamp), std::move(recipe)).image();
}

std::optional<Image> decodedPicture(std::shared_ptr<const std::vector<uint8_t>> encoded)
{
    if (!encoded) return std::nullopt;
    auto file = readPictureFile(*encoded);
    if (!file) return std::nullopt;
    const int orientation = file->header.orientation;
    const int64_t width = file->header.width, height = file->header.height;
    const auto decoded =
        PictureHandle::madeNow([encoded, file = std::move(*file)] { return decodeStoredPicture(*encoded, file, 0); });
    if (!decoded || decoded->width() != width || decoded->height() != height) return std::nullopt;
    return decoded->image().oriented(orientation);
}

} // namespace oxel
