#include "develop/codecs/ByteIO.h"
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

struct PNGChunk {
    std::string_view type;
    std::span<const uint8_t> data;
};

// Visits the chunks in order until `visit` says to stop; false when a chunk runs past the end of
// the file before that.
template <class Visit>
bool walkChunks(std::span<const uint8_t> file, Visit visit)
{
    ByteReader in(file);
    if (!in.skip(8)) return false;
    while (true) {
        const auto length = in.u32be();
        const auto type = in.bytes(4);
        const auto data = length && type ? in.bytes(*length) : std::nullopt;
        if (!data || !in.skip(4)) return false;
        if (!visit(PNGChunk{std::string_view(reinterpret_cast<const char*>(type->data()), 4), *data})) return true;
    }
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

bool prepare(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png))) return false;
    setUpTransforms(r);
    return true;
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
    header.metadata = Metadata::read(file).value_or(Metadata());
    header.orientation = header.metadata.orientation();
    return header;
}

std::optional<Samples> decode(std::span<const uint8_t> file, int64_t)
{
    Reader r(file);
    if (!readInfo(r) || !prepare(r)) return std::nullopt;
    const int64_t width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
    const int channels = png_get_channels(r.png, r.info);
    const int bits = png_get_bit_depth(r.png, r.info);
    const bool colour = png_get_color_type(r.png, r.info) & PNG_COLOR_MASK_COLOR;
    if (!DecodeLimits::allow(width, height) || (bits != 8 && bits != 16)) return std::nullopt;
    // Deflate expands at most about 1032 times: picture data too small for its size is damaged.
    const auto compressed = compressedPictureBytes(file);
    if (!compressed ||
        uint64_t(width) * uint64_t(height) * uint64_t(channels) * uint64_t(bits / 8) / 1032 > *compressed)
        return std::nullopt;
    const bool alpha = channels == 2 || channels == 4;
    const auto samples =
        Samples::allocate(width, height, channels, bits, colour ? ColourModel::rgb : ColourModel::grey, alpha);
    if (!samples) return std::nullopt;
    std::vector<png_bytep> rows(size_t(samples->height));
    for (int64_t y = 0; y < samples->height; ++y) rows[size_t(y)] = samples->row(y);
    if (!readRows(r, rows)) return std::nullopt;
    return samples;
}

} // namespace oxel::png
