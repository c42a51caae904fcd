#pragma once

#include "develop/codecs/FileType.h"
#include "develop/codecs/Metadata.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace oxel {

// How a file's samples are to be read.
enum class ColourModel { rgb, grey, cmyk, lab };

// What a picture file says about itself, read without decoding its pixels.
struct PictureHeader {
    int64_t width = 0; // as stored, before orientation
    int64_t height = 0;
    int bitsPerComponent = 0;  // 0 when the file does not say
    std::optional<double> dpi; // horizontal resolution in pixels an inch
    ColourModel model = ColourModel::rgb;
    std::vector<uint8_t> icc;  // the embedded profile, or one made from the file's colour tags
    bool declaredSRGB = false; // a tag that names sRGB without a profile
    int orientation = 1;       // EXIF orientation still to apply to the stored pixels
    Metadata metadata;
    // The decoder reads the whole picture whatever size is asked, and reduces it after.
    bool decodesWhole = false;
};

// Decoded samples, interleaved: `channels` of 8 or 16-bit unsigned integers or 32-bit floats
// (`bits` 8, 16 or 32), alpha last when present. CMYK holds ink amounts (0 = no ink).
struct Samples {
    int64_t width = 0;
    int64_t height = 0;
    int channels = 0;
    int bits = 8;
    ColourModel model = ColourModel::rgb;
    bool hasAlpha = false;
    std::shared_ptr<uint8_t> data;

    size_t rowBytes() const { return size_t(width) * size_t(channels) * size_t(bits / 8); }
    uint8_t* row(int64_t y) const { return data.get() + size_t(y) * rowBytes(); }

    // Zero-filled samples, or nothing when the size is outside the decoding limits.
    static std::optional<Samples> allocate(int64_t width, int64_t height, int channels, int bits, ColourModel model,
                                           bool hasAlpha = false);
};

// Limits every decoder checks before it allocates anything a file asks for.
struct DecodeLimits {
    static constexpr int64_t maxSide = 300000;
    static constexpr int64_t maxPixels = 400'000'000;
    static bool allow(int64_t width, int64_t height)
    {
        return width > 0 && height > 0 && width <= maxSide && height <= maxSide && width * height <= maxPixels;
    }
};

// Where a decoder hands the rows of a picture that is needed only once, top to bottom, so that it
// is never held whole: `accepts` is told the samples' layout first (`data` empty) and may decline
// them, which ends the decode; `take` then gets each stored row in turn.
struct RowReader {
    std::function<bool(const Samples& layout)> accepts;
    std::function<void(const uint8_t* row)> take;
};

// One reader of one format. `decode` gives the whole picture as stored (no orientation), or, when
// `minLongSide` is positive, possibly a reduced picture whose longer side is still at least that
// (formats that cannot reduce cheaply give the whole picture). `decodeRows`, for formats that
// decode row by row, gives the same samples to a `RowReader`, and tells whether every row came
// whole (false too when the reader declined them).
struct PictureCodec {
    std::optional<PictureHeader> (*readHeader)(std::span<const uint8_t> file);
    std::optional<Samples> (*decode)(std::span<const uint8_t> file, int64_t minLongSide);
    bool (*decodeRows)(std::span<const uint8_t> file, int64_t minLongSide, const RowReader& reader) = nullptr;
};

// The reader of a readable format, or nothing.
std::optional<PictureCodec> codecFor(FileType type);

// What a reduced decode of a `width` x `height` picture asked for `minLongSide` gives, named so
// that two requests the decoder serves alike share one name: the scale for formats that reduce by
// a scale known from the size, the request itself for the others.
std::string reducedDecodeName(FileType type, int64_t width, int64_t height, int64_t minLongSide);

namespace jpeg {
std::optional<PictureHeader> readHeader(std::span<const uint8_t> file);
std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide);
bool decodeRows(std::span<const uint8_t> file, int64_t minLongSide, const RowReader& reader);
// The smallest DCT scale M/8 whose longer side still reaches `minLongSide`.
int scaleEighths(int64_t longSide, int64_t minLongSide);
} // namespace jpeg
namespace png {
std::optional<PictureHeader> readHeader(std::span<const uint8_t> file);
std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide);
} // namespace png
namespace tiff {
std::optional<PictureHeader> readHeader(std::span<const uint8_t> file);
std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide);
} // namespace tiff
namespace heif {
std::optional<PictureHeader> readHeader(std::span<const uint8_t> file);
std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide);
} // namespace heif
namespace psd {
std::optional<PictureHeader> readHeader(std::span<const uint8_t> file);
std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide);
} // namespace psd

} // namespace oxel
