#include "export/PNGEncoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <optional>
#include <vector>

using namespace oxel;

namespace {

// Every sample differs from its neighbours in a way no single filter predicts, as in a photograph.
Bitmap noisyPicture(int64_t width, int64_t height, PixelFormat format)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, format, ColourSpace::displayP3());
    uint32_t state = 12345;
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                state = state * 1664525u + 1013904223u;
                const uint32_t smooth = uint32_t(x * 37 + y * 91 + c * 5000);
                const uint32_t value = smooth + (state >> 26);
                if (format == PixelFormat::RGBX16)
                    reinterpret_cast<uint16_t*>(bitmap.mutableRow(y))[4 * x + c] = uint16_t(value);
                else
                    bitmap.mutableRow(y)[4 * x + c] = uint8_t(value >> 4);
            }
    return bitmap;
}

struct ReadPNG {
    std::vector<uint8_t> pixels; // RGB rows, 16-bit samples little-endian as the bitmap holds them
    png_uint_32 perMetre = 0;
    std::vector<uint8_t> profile;
};

struct MemorySource {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (source->at + count > source->bytes->size()) png_error(png, "read past the end");
    std::memcpy(out, source->bytes->data() + source->at, count);
    source->at += count;
}

// libpng checks every chunk's CRC and, at the end of the image data, the stream's Adler-32.
bool readInto(png_structp png, png_infop info, ReadPNG& read)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_set_swap(png);
    const size_t rowBytes = png_get_rowbytes(png, info);
    read.pixels.resize(rowBytes * png_get_image_height(png, info));
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
        png_read_row(png, read.pixels.data() + y * rowBytes, nullptr);
    png_read_end(png, nullptr);
    int unit = 0;
    png_uint_32 perMetreY = 0;
    png_get_pHYs(png, info, &read.perMetre, &perMetreY, &unit);
    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    int compression = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length)) read.profile.assign(profile, profile + length);
    return true;
}

std::optional<ReadPNG> readBack(const std::vector<uint8_t>& file)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemorySource source{&file, 0};
    png_set_read_fn(png, &source, readFromMemory);
    ReadPNG read;
    const bool ok = readInto(png, info, read);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return std::nullopt;
    return read;
}

} // namespace

TEST(PNGEncoder, WritesOneStreamOfManyPiecesThatReadsBackExactly)
{
    // Tall enough for several pieces deflated side by side, odd sizes for the filters' edges.
    for (const auto& [format, width, height] :
         {std::tuple{PixelFormat::RGBX16, 701, 1003}, std::tuple{PixelFormat::RGBX8, 1501, 2003},
          std::tuple{PixelFormat::RGBA8, 603, 1201}, std::tuple{PixelFormat::RGBX16, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Bitmap bitmap = noisyPicture(width, height, format);
        // The fast kind, as the library keeps small pictures, takes RGBA too and drops the alpha.
        const auto file = format == PixelFormat::RGBA8 ? encodePNGFast(bitmap) : encodePNG(bitmap, 300);
        ASSERT_TRUE(file);
        const bool sixteen = format == PixelFormat::RGBX16;
        const auto read = readBack(*file);
        ASSERT_TRUE(read);
        const auto& pixels = read->pixels;
        ASSERT_EQ(pixels.size(), size_t(width * height * 3 * (sixteen ? 2 : 1)));
        for (int64_t y = 0; y < height; ++y)
            for (int64_t x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const size_t at = size_t((y * width + x) * 3 + c);
                    const unsigned expected = sixteen ? reinterpret_cast<const uint16_t*>(bitmap.row(y))[4 * x + c]
                                                      : bitmap.row(y)[4 * x + c];
                    const unsigned read = sixteen ? reinterpret_cast<const uint16_t*>(pixels.data())[at] : pixels[at];
                    ASSERT_EQ(read, expected) << x << ", " << y << ", " << c;
                }
    }
}

TEST(PNGEncoder, StatesTheProfileAndTheResolution)
{
    const auto file = encodePNG(noisyPicture(8, 4, PixelFormat::RGBX8), 240);
    ASSERT_TRUE(file);
    const auto read = readBack(*file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->perMetre, 9449u); // 240 per inch
    EXPECT_EQ(read->profile, ColourSpace::displayP3().icc);

    EXPECT_FALSE(encodePNG(*Bitmap::allocate(4, 4, PixelFormat::RGBF)));
}

TEST(PNGEncoder, WritesPieceByPieceBehindAHeadThatOthersRewrote)
{
    const Bitmap bitmap = noisyPicture(901, 1203, PixelFormat::RGBX16);
    auto head = pngWithoutImageData(bitmap, 240);
    ASSERT_TRUE(head);
    // A metadata writer's chunk placed before the end, as one would rewrite the file.
    const std::vector<uint8_t> exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    head = withExifChunk(*head, exif);
    ASSERT_TRUE(head);

    std::vector<uint8_t> file;
    int pieces = 0;
    ASSERT_TRUE(writePNG(bitmap, *head, [&](std::span<const uint8_t> bytes) {
        file.insert(file.end(), bytes.begin(), bytes.end());
        ++pieces;
        return true;
    }));
    EXPECT_GT(pieces, 3) << "the image data comes in pieces, not whole";
    // The whole file is what the encoder makes in one go, with the chunk in its place.
    EXPECT_EQ(file, *withExifChunk(*encodePNG(bitmap, 240), exif));
    const auto read = readBack(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->perMetre, 9449u);

    // A sink that refuses stops the writing: nothing more is handed to it.
    int calls = 0;
    EXPECT_FALSE(writePNG(bitmap, *head, [&](std::span<const uint8_t>) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
    // A head that is no PNG file without image data is refused before anything is written.
    std::vector<uint8_t> cut(head->begin(), head->end() - 1);
    EXPECT_FALSE(writePNG(bitmap, cut, [&](std::span<const uint8_t>) { return ++calls > 0; }));
    EXPECT_FALSE(writePNG(bitmap, *encodePNG(bitmap), [&](std::span<const uint8_t>) { return ++calls > 0; }));
    EXPECT_EQ(calls, 2);
}

namespace {

void appendToMemory(png_structp png, png_bytep data, png_size_t count)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

// The RGB rows of a 16-bit bitmap written by libpng at its defaults: level 6, adaptive filters.
size_t libpngDefaultSize(const Bitmap& bitmap)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendToMemory, nullptr);
    png_set_IHDR(png, info, png_uint_32(bitmap.width()), png_uint_32(bitmap.height()), 16, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_swap(png);
    std::vector<uint16_t> row(size_t(bitmap.width()) * 3);
    for (int64_t y = 0; y < bitmap.height(); ++y) {
        const auto* samples = reinterpret_cast<const uint16_t*>(bitmap.row(y));
        for (int64_t x = 0; x < bitmap.width(); ++x)
            for (int c = 0; c < 3; ++c) row[size_t(3 * x + c)] = samples[4 * x + c];
        png_write_row(png, reinterpret_cast<png_bytep>(row.data()));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

} // namespace

TEST(PNGEncoder, WritesABlackAndWhitePictureAboutAsSmallAsLibpngsDefault)
{
    Bitmap grey = noisyPicture(900, 1400, PixelFormat::RGBX16);
    for (int64_t y = 0; y < grey.height(); ++y) {
        auto* samples = reinterpret_cast<uint16_t*>(grey.mutableRow(y));
        for (int64_t x = 0; x < grey.width(); ++x) samples[4 * x + 1] = samples[4 * x + 2] = samples[4 * x];
    }
    const auto file = encodePNG(grey, 300);
    ASSERT_TRUE(file);
    const auto read = readBack(*file);
    ASSERT_TRUE(read);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(read->pixels.data())[3 * (700 * 900 + 450) + 2],
              reinterpret_cast<const uint16_t*>(grey.row(700))[4 * 450]);
    EXPECT_LT(double(file->size()), 1.15 * double(libpngDefaultSize(grey)));
}
