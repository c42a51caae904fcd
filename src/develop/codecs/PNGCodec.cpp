#include "develop/codecs/BlockAverager.h"
#include "develop/codecs/PNGChunks.h"
#include "develop/codecs/PictureCodec.h"
#include "develop/colour/IccProfiles.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string_view>

namespace oxel::png {

namespace {

struct Source {
    std::span<const uint8_t> bytes;
    size_t position = 0;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->bytes.size() - source->position) png_error(png, "truncated");
    std::memcpy(out, source->bytes.data() + source->position, length);
    source->position += length;
}

void quietWarning(png_structp, png_const_charp)
{}
// Damage is reported by the reader's own result; libpng's text would only clutter standard error.
[[noreturn]] void quietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// libpng reports errors by jumping back to setjmp: each stage lives in its own function whose
// frame holds nothing that needs destroying.
struct Reader {
    Source source;
    png_structp png = nullptr;
    png_infop info = nullptr;

    explicit Reader(std::span<const uint8_t> bytes) : source{bytes}
    {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
        if (png) info = png_create_info_struct(png);
        if (info) {
            png_set_read_fn(png, &source, readFromMemory);
            png_set_user_limits(png, uint32_t(DecodeLimits::maxSide), uint32_t(DecodeLimits::maxSide));
        }
    }
    ~Reader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
    bool usable() const { return png && info; }
};

bool readInfo(Reader& r)
{
    if (!r.usable() || setjmp(png_jmpbuf(r.png))) return false;
    png_read_info(r.png, r.info);
    return true;
}

std::vector<uint8_t> embeddedProfile(const Reader& r)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &length) && profile && length > 0)
        return {profile, profile + length};
    return {};
}

std::vector<uint8_t> profileFromChromaticities(const Reader& r)
{
    double gamma = 0;
    Chromaticities c{};
    if (!png_get_gAMA(r.png, r.info, &gamma) || gamma <= 0) return {};
    if (!png_get_cHRM(r.png, r.info, &c.whiteX, &c.whiteY, &c.redX, &c.redY, &c.greenX, &c.greenY, &c.blueX, &c.blueY))
        return {};
    // gAMA holds the encoding exponent; the profile's curve decodes.
    return iccForPowerCurve(c, 1.0 / gamma);
}

// A profile for the colour code points of a cICP chunk, which this libpng does not read itself;
// empty when there is none before the pixel data or its code points have no such profile.
std::vector<uint8_t> profileFromCodePoints(std::span<const uint8_t> file)
{
    std::vector<uint8_t> profile;
    walkChunks(file, [&](const PNGChunk& chunk) {
        if (chunk.type == "IDAT" || chunk.type == "IEND") return false;
        if (chunk.type != "cICP" || chunk.data.size() != 4) return true;
        profile = iccForCICP(chunk.data[0], chunk.data[1]).value_or(std::vector<uint8_t>());
        return false;
    });
    return profile;
}

// The bytes of compressed picture data, when the file holds all of them: every chunk is whole up to
// the end chunk. A truncated file is refused before anything is allocated for its pixels.
std::optional<uint64_t> compressedPictureBytes(std::span<const uint8_t> file)
{
    uint64_t bytes = 0;
    bool ended = false;
    const bool whole = walkChunks(file, [&](const PNGChunk& chunk) {
        if (chunk.type == "IDAT") bytes += chunk.data.size();
        ended = chunk.type == "IEND";
        return !ended;
    });
    if (!whole || !ended) return std::nullopt;
    return bytes;
}

std::optional<double> dpiOf(const Reader& r)
{
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (!png_get_pHYs(r.png, r.info, &x, &y, &unit) || unit != PNG_RESOLUTION_METER || x == 0) return std::nullopt;
    return x * 0.0254;
}

// Expands palettes and small depths, and keeps 16-bit samples in native order.
void setUpTransforms(const Reader& r)
{
    const int colourType = png_get_color_type(r.png, r.info);
    const int depth = png_get_bit_depth(r.png, r.info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r.png);
    if (depth == 16) png_set_swap(r.png);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
}

bool readRows(Reader& r, std::vector<png_bytep>& rows)
{
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_read_image(r.png, rows.data());
    png_read_end(r.png, nullptr);
    return true;
}

// Rows one at a time into the averager, through to the end chunk, so that damage anywhere in the
// picture data still fails.
bool streamRows(Reader& r, std::span<uint8_t> row, int64_t height, BlockAverager& averager)
{
    if (setjmp(png_jmpbuf(r.png))) return false;
    for (int64_t y = 0; y < height; ++y) {
        png_read_row(r.png, row.data(), nullptr);
        averager.take(row, y);
    }
    png_read_end(r.png, nullptr);
    return true;
}

bool prepare(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png))) return false;
    setUpTransforms(r);
    return true;
}

// The decoded samples' shape, once the transforms are set up.
struct Shape {
    int64_t width = 0, height = 0;
    int channels = 0, bits = 0;
    ColourModel model = ColourModel::rgb;
    bool alpha() const { return channels == 2 || channels == 4; }
};

// The shape of a picture whose coded data is all there and large enough for it; nothing before
// anything is allocated otherwise.
std::optional<Shape> checkedShape(const Reader& r, std::span<const uint8_t> file)
{
    Shape s;
    s.width = png_get_image_width(r.png, r.info);
    s.height = png_get_image_height(r.png, r.info);
    s.channels = png_get_channels(r.png, r.info);
    s.bits = png_get_bit_depth(r.png, r.info);
    s.model = (png_get_color_type(r.png, r.info) & PNG_COLOR_MASK_COLOR) ? ColourModel::rgb : ColourModel::grey;
    if (!DecodeLimits::allow(s.width, s.height) || (s.bits != 8 && s.bits != 16)) return std::nullopt;
    // Deflate expands at most about 1032 times: picture data too small for its size is damaged.
    const auto compressed = compressedPictureBytes(file);
    if (!compressed ||
        uint64_t(s.width) * uint64_t(s.height) * uint64_t(s.channels) * uint64_t(s.bits / 8) / 1032 > *compressed)
        return std::nullopt;
    return s;
}

std::optional<Samples> decodeWhole(Reader& r, const Shape& shape)
{
    const auto samples =
        Samples::allocate(shape.width, shape.height, shape.channels, shape.bits, shape.model, shape.alpha());
    if (!samples) return std::nullopt;
    std::vector<png_bytep> rows(size_t(samples->height));
    for (int64_t y = 0; y < samples->height; ++y) rows[size_t(y)] = samples->row(y);
    if (!readRows(r, rows)) return std::nullopt;
    return samples;
}

// Only one decoded row and the reduced picture are held.
std::optional<Samples> decodeReduced(Reader& r, const Shape& shape, int64_t factor)
{
    auto samples = Samples::allocate(BlockAverager::reducedSide(shape.width, factor),
                                     BlockAverager::reducedSide(shape.height, factor), shape.channels, shape.bits,
                                     shape.model, shape.alpha());
    if (!samples) return std::nullopt;
    std::vector<uint8_t> row(png_get_rowbytes(r.png, r.info));
    if (row.size() != size_t(shape.width) * size_t(shape.channels) * size_t(shape.bits / 8)) return std::nullopt;
    BlockAverager averager(*samples, shape.width, shape.height, factor, {shape.channels, false});
    if (!streamRows(r, row, shape.height, averager)) return std::nullopt;
    return samples;
}

} // namespace

std::optional<PictureHeader> readHeader(std::span<const uint8_t> file)
{
    Reader r(file);
    if (!readInfo(r)) return std::nullopt;
    PictureHeader header;
    header.width = png_get_image_width(r.png, r.info);
    header.height = png_get_image_height(r.png, r.info);
    const int colourType = png_get_color_type(r.png, r.info);
    header.bitsPerComponent = colourType == PNG_COLOR_TYPE_PALETTE ? 8 : png_get_bit_depth(r.png, r.info);
    header.model = (colourType & PNG_COLOR_MASK_COLOR) ? ColourModel::rgb : ColourModel::grey;
    // Code points, when present and describable, override every other colour chunk.
    if (header.model == ColourModel::rgb) header.icc = profileFromCodePoints(file);
    if (header.icc.empty()) header.icc = embeddedProfile(r);
    header.declaredSRGB = header.icc.empty() && png_get_valid(r.png, r.info, PNG_INFO_sRGB);
    if (header.icc.empty() && !header.declaredSRGB && header.model == ColourModel::rgb)
        header.icc = profileFromChromaticities(r);
    header.dpi = dpiOf(r);
    header.decodesWhole = png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE;
    header.metadata = Metadata::read(file).value_or(Metadata());
    header.orientation = header.metadata.orientation();
    return header;
}

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t minLongSide)
{
    Reader r(file);
    if (!readInfo(r) || !prepare(r)) return std::nullopt;
    const auto shape = checkedShape(r, file);
    if (!shape) return std::nullopt;
    const int64_t factor = BlockAverager::factorFor(shape->width, shape->height, minLongSide);
    if (factor == 1) return decodeWhole(r, *shape);
    // Interlaced rows come in seven passes over the whole picture: those are decoded whole first.
    if (png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE) {
        const auto whole = decodeWhole(r, *shape);
        return whole ? BlockAverager::reduced(*whole, factor) : std::nullopt;
    }
    return decodeReduced(r, *shape, factor);
}

} // namespace oxel::png
