#include "export/PNGEncoder.h"

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string_view>

#include <csetjmp>
#include <cstdio>

namespace oxel {

namespace {

void appendToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp)
{}

void reportError(png_structp png, png_const_charp message)
{
    std::fprintf(stderr, "[export] png: %s\n", message);
    png_longjmp(png, 1);
}

void reportWarning(png_structp, png_const_charp message)
{
    std::fprintf(stderr, "[export] png warning: %s\n", message);
}

struct PNGWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PNGWriter() { png_destroy_write_struct(&png, &info); }
};

// Everything that may long-jump lives here, with no objects that need destructors.
bool writeAll(png_structp png, png_infop info, const Bitmap& bitmap, double dpi, bool fast)
{
    if (setjmp(png_jmpbuf(png))) return false;
    if (fast) {
        png_set_compression_level(png, 1);
        png_set_compression_strategy(png, Z_RLE);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    }
    const bool sixteen = bitmap.format() == PixelFormat::RGBX16;
    png_set_IHDR(png, info, png_uint_32(bitmap.width()), png_uint_32(bitmap.height()), sixteen ? 16 : 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const auto& icc = bitmap.colourSpace().icc;
    if (!icc.empty())
        png_set_iCCP(png, info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, icc.data(), png_uint_32(icc.size()));
    const double perMetre = dpi / 0.0254;
    if (perMetre >= 1 && perMetre <= double(PNG_UINT_31_MAX)) {
        const auto rounded = png_uint_32(std::lround(perMetre));
        png_set_pHYs(png, info, rounded, rounded, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER); // the X channel is dropped on the way out
    if (sixteen) png_set_swap(png);           // samples are stored little-endian
    for (int64_t y = 0; y < bitmap.height(); ++y) png_write_row(png, bitmap.row(y));
    png_write_end(png, nullptr);
    return true;
}

std::optional<std::vector<uint8_t>> encode(const Bitmap& bitmap, double dpi, bool fast)
{
    if (bitmap.width() > PNG_UINT_31_MAX || bitmap.height() > PNG_UINT_31_MAX) return std::nullopt;

    std::vector<uint8_t> bytes;
    PNGWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, reportError, reportWarning);
    if (!writer.png) return std::nullopt;
    writer.info = png_create_info_struct(writer.png);
    if (!writer.info) return std::nullopt;
    // A profile that libpng finds fault with is left out with a warning instead of failing.
    png_set_benign_errors(writer.png, 1);
    png_set_write_fn(writer.png, &bytes, appendToVector, flushNothing);
    if (!writeAll(writer.png, writer.info, bitmap, dpi, fast)) return std::nullopt;
    return bytes;
}

} // namespace

std::optional<std::vector<uint8_t>> encodePNG(const Bitmap& bitmap, double dpi)
{
    if (bitmap.isNull() || (bitmap.format() != PixelFormat::RGBX8 && bitmap.format() != PixelFormat::RGBX16))
        return std::nullopt;
    return encode(bitmap, dpi, false);
}

std::optional<std::vector<uint8_t>> encodePNGFast(const Bitmap& bitmap)
{
    const auto format = bitmap.format();
    if (bitmap.isNull() ||
        (format != PixelFormat::RGBX8 && format != PixelFormat::RGBX16 && format != PixelFormat::RGBA8))
        return std::nullopt;
    return encode(bitmap, 0, true);
}

std::optional<std::vector<uint8_t>> withExifChunk(std::span<const uint8_t> png, std::span<const uint8_t> exif)
{
    constexpr std::string_view signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < signature.size() || std::memcmp(png.data(), signature.data(), signature.size()) != 0)
        return std::nullopt;
    if (exif.size() > PNG_UINT_31_MAX) return std::nullopt;
    size_t at = signature.size();
    for (;;) {
        if (at + 8 > png.size()) return std::nullopt;
        const size_t length =
            size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 | png[at + 3];
        if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0) break;
        if (length > png.size() - at - 12) return std::nullopt;
        at += 12 + length;
    }
    std::vector<uint8_t> out(png.begin(), png.begin() + std::ptrdiff_t(at));
    if (!exif.empty()) {
        const uint32_t length = uint32_t(exif.size());
        const uint8_t header[8] = {
            uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 'e', 'X', 'I', 'f'};
        out.insert(out.end(), header, header + 8);
        out.insert(out.end(), exif.begin(), exif.end());
        uLong crc = crc32(0, header + 4, 4);
        crc = crc32(crc, exif.data(), uInt(exif.size()));
        const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        out.insert(out.end(), crcBytes, crcBytes + 4);
    }
    out.insert(out.end(), png.begin() + std::ptrdiff_t(at), png.end());
    return out;
}

} // namespace oxel
