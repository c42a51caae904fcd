#pragma once

#include "develop/SourceCache.h"
#include "develop/codecs/FileType.h"
#include "develop/codecs/Metadata.h"
#include "imaging/Bitmap.h"
#include "imaging/ColourSpace.h"
#include "imaging/Image.h"
#include "imaging/PictureHandle.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace oxel {

struct PictureFile;

// One original photograph as the program holds it after reading its file: the picture (upright,
// values as stored, to be read in `colorSpace`), its size, depth, resolution, metadata and type.
// A value: copies share everything, and nothing changes after loading. The pixels are not held:
// `image` decodes the file on demand through the process-wide cache, and refuses a file whose
// content changed since it was loaded.
struct SourceImage {
    // The one failure of loading; its text names the file only.
    class LoadError : public std::runtime_error {
    public:
        explicit LoadError(const std::filesystem::path& file);
        const std::filesystem::path& url() const { return url_; }

    private:
        std::filesystem::path url_;
    };

    std::filesystem::path url;
    int64_t pixelWidth = 0; // after orientation
    int64_t pixelHeight = 0;
    ColourSpace colorSpace; // the file's RGB space, or sRGB when it has none the program can model
    bool profileFellBack = false;
    int64_t bitsPerComponent = 8;
    double dpi = 300;
    Metadata properties;
    std::optional<std::string> utType;
    Image image; // orientation applied, extent (0, 0, pixelWidth, pixelHeight)

    // What the file was when it was loaded.
    FileType fileType = FileType::jpeg;
    FileState stamp;
    int orientation = 1; // the EXIF orientation that `image` applied
    bool carriesGainMap = false;
    // Whether making the intake thumbnail decoded the whole picture, as for files whose decoder
    // cannot reduce them (HEIF without thumbnails, interlaced PNG, some TIFF layouts): no reduced
    // decode at the thumbnail's size or above is smaller, so previews read the whole picture,
    // which loading left in the shared cache when it fitted.
    bool decodedWholeAtLoad = false;

    // The longer side of the thumbnail that intake shows.
    static constexpr int intakeThumbnailPixels = 1024;

    // Reads a JPEG, PNG, TIFF, HEIC/HEIF or PSD/PSB file; throws `LoadError` when it cannot. Only
    // what intake needs is read: the header, metadata and profile, and the intake thumbnail, made
    // from a reduced decode where the format has one and kept in the shared cache. Making it reads
    // through all of the picture's coded data, so a damaged file fails here. The full picture is
    // decoded when it is first needed. A file known to have read whole before and unchanged since
    // (an original a kept result was developed from) skips the thumbnail where it is a JPEG, whose
    // later decodes reduce on their own: reading its coded data again proves nothing new.
    enum class Check { wholeFile, readBefore };
    static SourceImage load(const std::filesystem::path& file, Check check = Check::wholeFile);

    // The shared sRGB space of the program.
    static const ColourSpace& sRGB();

    bool hasGainMap() const { return carriesGainMap; }
    // The whole file's bytes for the gain-map transfer, read again now: nothing when the file has
    // no gain map, or changed or went away since it was loaded.
    std::optional<FileBytes> gainMapFile() const;

    // The decoded picture as stored in the file (before orientation), from the shared cache;
    // nothing when the file changed since it was loaded or cannot be decoded any more.
    std::optional<Bitmap> storedPixels() const;

    // The picture from a reduced decode whose longer side still reaches `minLongSide` (upright,
    // values as stored), kept in the shared cache: what plans and previews at that size read, so
    // that they never need the whole picture decoded. `image` itself for formats without a
    // reduced decoder; nothing when the file changed since it was loaded.
    std::optional<Image> reducedImage(int64_t minLongSide) const;

    // An upright picture whose longer side is `maxPixels` (or the picture's own, when smaller), as
    // packed RGB8 tagged with the file's colour space; nothing when the file cannot be read. Kept
    // in the shared cache.
    std::optional<Bitmap> thumbnail(int maxPixels) const;
    static std::optional<Bitmap> thumbnail(const std::filesystem::path& file, int maxPixels);

    // The capture date: Exif DateTimeOriginal, then DateTimeDigitized, then the TIFF DateTime,
    // read as local wall-clock time; the first that parses wins.
    std::optional<std::chrono::system_clock::time_point> captureDate() const;
    static std::optional<std::chrono::system_clock::time_point> captureDate(const Metadata& properties);

    // A short text naming the colour profile, for the views.
    std::string profileLabel() const;

    // The picture at `previewSize`, colour-matched into `colourSpace`, RGBX at 16 or 8 bits. Made
    // from a reduced decode where the format has one, and kept in the shared cache.
    std::optional<Bitmap> previewImage(const ColourSpace& colourSpace, bool sixteenBit) const;

    // The thumbnail and the preview as handles, for those who keep them: they hold no pixels, and
    // give what `thumbnail` and `previewImage` give, made again when the cache let them go.
    PictureHandle thumbnailPicture(int maxPixels) const;
    PictureHandle previewPicture(const ColourSpace& colourSpace, bool sixteenBit) const;

    // The upload picture: the sRGB 8-bit preview as a JPEG at quality 0.92.
    std::optional<std::vector<uint8_t>> jpegData() const;

    // The size of every preview picture for a picture of the given size.
    static std::pair<double, double> previewSize(double width, double height);

    // The description text of an ICC profile; nothing when it cannot be read.
    static std::optional<std::string> iccDescription(std::span<const uint8_t> icc);

private:
    // The cache key of a picture made from this file's content as loaded.
    std::string pictureKey(const std::string& picture) const;
    // The intake thumbnail, made from bytes already read at `stamp` when the cache does not hold
    // it; a whole picture decoded on the way is offered to the cache and noted.
    std::optional<Bitmap> intakeThumbnail(std::span<const uint8_t> bytes, const PictureFile& file);
};

} // namespace oxel
