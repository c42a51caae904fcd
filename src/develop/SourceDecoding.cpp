#include "develop/SourceDecoding.h"

#include "develop/colour/ColourTransform.h"
#include "develop/colour/ProfileRecognition.h"
#include "imaging/BitmapNode.h"

#include <atomic>
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

namespace {

std::optional<Bitmap> decodeStamped(const std::filesystem::path& path, const FileState& stamp)
{
    const auto bytes = readStampedFile(path, stamp);
    if (!bytes) return std::nullopt;
    const auto file = readPictureFile(*bytes);
    if (!file) return std::nullopt;
    return decodeStoredPicture(*bytes, *file, 0);
}

class StoredPictureNode final : public ImageNode {
public:
    StoredPictureNode(std::filesystem::path path, FileState stamp, int64_t width, int64_t height)
        : path_(std::move(path)), stamp_(stamp), width_(width), height_(height)
    {}

    Rect extent() const override { return Rect::ofSize(double(width_), double(height_)); }

    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        const auto bitmap = storedBitmap(path_, stamp_);
        if (!bitmap || bitmap->width() != width_ || bitmap->height() != height_) {
            clearOutside(Rect(), region, out, stride);
            if (!warned_.exchange(true))
                std::fprintf(stderr, "[source] %s changed or went away since it was loaded; not reading it\n",
                             path_.filename().c_str());
            return;
        }
        BitmapNode(*bitmap).render(region, out, stride);
    }

private:
    std::filesystem::path path_;
    FileState stamp_;
    int64_t width_, height_;
    mutable std::atomic<bool> warned_{false};
};

} // namespace

std::optional<Bitmap> storedBitmap(const std::filesystem::path& path, const FileState& stamp)
{
    return SourceCache::shared().bitmap(pictureKey(path, stamp), [&] { return decodeStamped(path, stamp); });
}

Image lazyStoredPicture(const std::filesystem::path& path, const FileState& stamp, const PictureFile& file)
{
    return Image(std::make_shared<StoredPictureNode>(path, stamp, file.header.width, file.header.height));
}

} // namespace oxel
