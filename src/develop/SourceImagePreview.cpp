#include "develop/SourceDecoding.h"
#include "develop/SourceImage.h"
#include "develop/codecs/JPEGEncoder.h"
#include "develop/colour/ColourTransform.h"
#include "imaging/Filters.h"
#include "imaging/PictureCache.h"
#include "imaging/PictureHandle.h"
#include "imaging/RGB8Scaler.h"
#include "imaging/RenderContext.h"

#include <cmath>
#include <fstream>
#include <functional>

namespace oxel {

namespace {

bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

struct UprightSize {
    int64_t width, height;
};

// The stored bitmap resampled and turned upright, to exactly `size`. Resampling comes first, in
// the stored orientation, so the turn only moves the small result.
Image uprightScaled(const Bitmap& stored, int orientation, UprightSize size)
{
    const bool swap = swapsSides(orientation);
    const double width = double(swap ? size.height : size.width), height = double(swap ? size.width : size.height);
    Image picture = Image::fromBitmap(stored);
    if (double(stored.width()) != width || double(stored.height()) != height) {
        const double scaleY = height / double(stored.height()), scaleX = width / double(stored.width());
        picture = lanczosScaleTransform(picture.clampedToExtent(), scaleY, scaleX / scaleY)
                      .cropped(Rect::ofSize(width, height));
    }
    if (orientation == 1) return picture;
    return picture.oriented(orientation);
}

std::optional<FileBytes> readWholeFile(const std::filesystem::path& file)
{
    const auto stamp = FileState::of(file);
    if (!stamp) return std::nullopt;
    return readStampedFile(file, *stamp);
}

// The upright size of a thumbnail whose longer side is `maxPixels`, never enlarged.
UprightSize thumbnailSize(int64_t width, int64_t height, int maxPixels)
{
    const int64_t longSide = std::max(width, height);
    const int64_t target = std::min<int64_t>(maxPixels, longSide);
    const auto side = [&](int64_t s) {
        return std::max<int64_t>(1, std::llround(double(s) * double(target) / double(longSide)));
    };
    return {side(width), side(height)};
}

// Whether a decode of `decodedWidth` x `decodedHeight` read the whole picture of a file larger
// than a thumbnail of `maxPixels`.
bool decodedWholeLarger(const PictureFile& file, int64_t decodedWidth, int64_t decodedHeight, int maxPixels)
{
    return std::max(file.header.width, file.header.height) > maxPixels && decodedWidth == file.header.width &&
           decodedHeight == file.header.height;
}

// Samples of 8-bit grey or RGB as stored, which scale into a thumbnail as they are.
std::optional<PixelFormat> plainFormat(const Samples& layout, const PictureFile& file)
{
    if (layout.bits != 8 || convertsToSRGB(layout.model, file.header.icc)) return std::nullopt;
    if (layout.model == ColourModel::grey && layout.channels == 1) return PixelFormat::Gray8;
    if (layout.model == ColourModel::rgb && layout.channels == 3) return PixelFormat::RGB8;
    return std::nullopt;
}

// A thumbnail scaled from the decoder's rows as they come, so that the reduced picture is never
// held whole. `taken` says whether the rows could serve: not when the format gives none, the
// samples need converting, or a whole picture decoded is to be kept.
std::optional<Bitmap> thumbnailFromRows(std::span<const uint8_t> bytes, const PictureFile& file, int maxPixels,
                                        UprightSize size, bool keepsWhole, bool& taken)
{
    taken = false;
    const auto codec = codecFor(file.type);
    if (!codec || !codec->decodeRows) return std::nullopt;
    const int orientation = file.header.orientation;
    const bool swap = swapsSides(orientation);
    std::optional<RGB8Scaler> scaler;
    const RowReader reader{
        [&](const Samples& layout) {
            const auto format = plainFormat(layout, file);
            if (!format || (keepsWhole && decodedWholeLarger(file, layout.width, layout.height, maxPixels)))
                return false;
            scaler = RGB8Scaler::start(layout.width, layout.height, *format, swap ? size.height : size.width,
                                       swap ? size.width : size.height, orientation, resolveColour(file.header).space);
            taken = scaler.has_value();
            return taken;
        },
        [&](const uint8_t* row) { scaler->add(row); }};
    if (!codec->decodeRows(bytes, maxPixels, reader) || !taken) return std::nullopt;
    return scaler->finish();
}

// The thumbnail of a file; `decodedWhole`, when given, is handed the stored picture when it is
// larger than the thumbnail and the decoder could not give a smaller one.
std::optional<Bitmap> thumbnailOf(std::span<const uint8_t> bytes, const PictureFile& file, int maxPixels,
                                  const std::function<void(const Bitmap&)>& decodedWhole = {})
{
    if (maxPixels < 1) return std::nullopt;
    const int orientation = file.header.orientation;
    const int64_t width = swapsSides(orientation) ? file.header.height : file.header.width;
    const int64_t height = swapsSides(orientation) ? file.header.width : file.header.height;
    const UprightSize size = thumbnailSize(width, height, maxPixels);
    bool taken = false;
    auto fromRows = thumbnailFromRows(bytes, file, maxPixels, size, bool(decodedWhole), taken);
    if (taken) return fromRows;
    // A decoder that reads the whole picture anyway is asked for it, so that it can be kept.
    const auto decoded = decodeStoredPicture(bytes, file, file.header.decodesWhole ? 0 : maxPixels);
    if (!decoded) return std::nullopt;
    if (decodedWhole && decodedWholeLarger(file, decoded->width(), decoded->height(), maxPixels))
        decodedWhole(*decoded);
    const ColourSpace space = resolveColour(file.header).space;
    // Thumbnails are kept packed, three bytes a pixel: intake holds one for every dropped file.
    if (scalesToRGB8(decoded->format())) {
        const bool swap = swapsSides(orientation);
        return scaledRGB8(*decoded, swap ? size.height : size.width, swap ? size.width : size.height, orientation,
                          space);
    }
    const Image picture = uprightScaled(*decoded, orientation, size);
    const auto rendered =
        RenderContext().renderBitmap(picture, PixelRect{0, 0, size.width, size.height}, PixelFormat::RGBX8);
    if (!rendered) return std::nullopt;
    return scaledRGB8(*rendered, size.width, size.height, 1, space);
}

std::optional<Bitmap> thumbnailOf(std::span<const uint8_t> bytes, int maxPixels)
{
    const auto file = readPictureFile(bytes);
    if (!file) return std::nullopt;
    return thumbnailOf(bytes, *file, maxPixels);
}

// A short, stable name for a colour space inside a cache key.
std::string spaceKey(const ColourSpace& space)
{
    uint64_t hash = 1469598103934665603ull;
    for (uint8_t byte : space.icc) hash = (hash ^ byte) * 1099511628211ull;
    return space.name + '/' + std::to_string(space.icc.size()) + '/' + std::to_string(hash);
}

} // namespace

std::optional<Bitmap> SourceImage::thumbnail(const std::filesystem::path& file, int maxPixels)
{
    const auto bytes = readWholeFile(file);
    if (!bytes) return std::nullopt;
    return thumbnailOf(*bytes, maxPixels);
}

std::string SourceImage::pictureKey(const std::string& picture) const
{
    return oxel::pictureKey(url, stamp) + '\n' + picture;
}

PictureHandle SourceImage::thumbnailPicture(int maxPixels) const
{
    const UprightSize size = thumbnailSize(pixelWidth, pixelHeight, maxPixels);
    PictureRecipe recipe{size.width, size.height,
                         [url = url, stamp = stamp, maxPixels] {
                             const auto bytes = readStampedFile(url, stamp);
                             auto thumbnail = bytes ? thumbnailOf(*bytes, maxPixels) : std::nullopt;
                             // As for every decode of a mapped file: one changed meanwhile gives nothing.
                             return FileState::of(url) == stamp ? thumbnail : std::nullopt;
                         },
                         changedFileNote(url)};
    return PictureHandle::named(pictureKey("thumbnail " + std::to_string(maxPixels)), std::move(recipe));
}

std::optional<Bitmap> SourceImage::thumbnail(int maxPixels) const
{
    if (maxPixels < 1) return std::nullopt;
    return thumbnailPicture(maxPixels).bitmap();
}

std::optional<Bitmap> SourceImage::intakeThumbnail(std::span<const uint8_t> bytes, const PictureFile& file)
{
    const auto keepWhole = [this](const Bitmap& whole) {
        decodedWholeAtLoad = true;
        PictureCache::shared().offer(oxel::pictureKey(url, stamp), whole);
    };
    return PictureCache::shared().bitmap(pictureKey("thumbnail " + std::to_string(intakeThumbnailPixels)),
                                         [&] { return thumbnailOf(bytes, file, intakeThumbnailPixels, keepWhole); });
}

std::optional<Image> SourceImage::reducedImage(int64_t minLongSide) const
{
    if (!decodesReduced(fileType) || minLongSide >= std::max(pixelWidth, pixelHeight) ||
        (decodedWholeAtLoad && minLongSide >= intakeThumbnailPixels))
        return image;
    const std::string key = pictureKey("reduced " + reducedDecodeName(fileType, pixelWidth, pixelHeight, minLongSide));
    const PictureCache::Make decode = [url = url, stamp = stamp, minLongSide] {
        return decodeStampedFile(url, stamp, minLongSide);
    };
    // Decoded now: its size is known only from the decoder.
    const auto decoded = PictureCache::shared().bitmap(key, decode);
    if (!decoded) return std::nullopt;
    PictureRecipe recipe{decoded->width(), decoded->height(), decode, changedFileNote(url)};
    return PictureHandle::named(key, std::move(recipe)).image().oriented(orientation);
}

std::pair<double, double> SourceImage::previewSize(double width, double height)
{
    if (width <= 0 || height <= 0) return {width, height};
    const double edgeScale = 2048.0 / std::max(width, height);
    const double areaScale = std::sqrt(2'350'000.0 / (width * height));
    double scale = 1;
    if (edgeScale < 1)
        scale = std::min(areaScale, edgeScale);
    else if (areaScale < 1)
        scale = areaScale;
    if (scale >= 1) return {width, height};
    const auto toEights = [](double side) { return std::max(8.0, std::floor(side / 8) * 8); };
    double w = toEights(width * scale), h = toEights(height * scale);
    const double shorter = std::min(w, h);
    if (shorter < 512) {
        // The lift never makes the preview larger than the picture itself.
        const double lift = std::min({512.0 / shorter, width / w, height / h});
        w = toEights(w * lift);
        h = toEights(h * lift);
    }
    return {w, h};
}

PictureHandle SourceImage::previewPicture(const ColourSpace& colourSpace, bool sixteenBit) const
{
    const auto [previewWidth, previewHeight] = previewSize(double(pixelWidth), double(pixelHeight));
    const UprightSize size{int64_t(previewWidth), int64_t(previewHeight)};
    PictureRecipe recipe{size.width, size.height,
                         [url = url, stamp = stamp, orientation = orientation, from = colorSpace, colourSpace,
                          sixteenBit, size]() -> std::optional<Bitmap> {
                             if (size.width <= 0 || size.height <= 0) return std::nullopt;
                             const auto decoded = decodeStampedFile(url, stamp, std::max(size.width, size.height));
                             if (!decoded) return std::nullopt;
                             const Image picture = uprightScaled(*decoded, orientation, size);
                             // An 8-bit preview is drawn from 8-bit samples, a 16-bit one from 16-bit samples.
                             const PixelFormat format = sixteenBit ? PixelFormat::RGBX16 : PixelFormat::RGBX8;
                             const auto rendered = RenderContext().renderBitmap(
                                 picture, PixelRect{0, 0, size.width, size.height}, format);
                             if (!rendered) return std::nullopt;
                             return matchColours(*rendered, from, colourSpace, sixteenBit);
                         },
                         changedFileNote(url)};
    return PictureHandle::named(pictureKey("preview " + spaceKey(colourSpace) + (sixteenBit ? " 16" : " 8")),
                                std::move(recipe));
}

std::optional<Bitmap> SourceImage::previewImage(const ColourSpace& colourSpace, bool sixteenBit) const
{
    return previewPicture(colourSpace, sixteenBit).bitmap();
}

std::optional<std::vector<uint8_t>> SourceImage::jpegData() const
{
    const auto preview = previewImage(sRGB(), false);
    if (!preview) return std::nullopt;
    return encodeJPEG(*preview, 92, sRGB().icc);
}

} // namespace oxel
