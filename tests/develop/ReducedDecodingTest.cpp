// Reduced decoding: rows averaged in whole blocks as they are decoded, so that a smaller picture
// never needs the whole one held.

#include "develop/codecs/PictureCodec.h"
#include "platform/ProcessMemory.h"
#include "support/PictureFiles.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstring>

namespace oxel {
namespace {

double sampleAt(const Samples& samples, int64_t x, int64_t y, int channel)
{
    const uint8_t* p = samples.row(y) + (size_t(x) * samples.channels + channel) * (samples.bits / 8);
    if (samples.bits == 8) return *p;
    if (samples.bits == 16) {
        uint16_t value;
        std::memcpy(&value, p, 2);
        return value;
    }
    float value;
    std::memcpy(&value, p, 4);
    return value;
}

// The reduced picture has the whole one's kind of samples, and the size of whole blocks of it.
void expectShape(const Samples& whole, const Samples& reduced, int64_t factor)
{
    EXPECT_EQ(reduced.width, (whole.width + factor - 1) / factor);
    EXPECT_EQ(reduced.height, (whole.height + factor - 1) / factor);
    EXPECT_EQ(reduced.channels, whole.channels);
    EXPECT_EQ(reduced.bits, whole.bits);
    EXPECT_EQ(reduced.model, whole.model);
    EXPECT_EQ(reduced.hasAlpha, whole.hasAlpha);
}

// Every sample of `reduced` against the mean of its block of `whole`, edge blocks partial.
void expectBlockMeans(const Samples& whole, const Samples& reduced, int64_t factor)
{
    expectShape(whole, reduced, factor);
    double largest = 0;
    for (int64_t y = 0; y < reduced.height; ++y)
        for (int64_t x = 0; x < reduced.width; ++x)
            for (int c = 0; c < reduced.channels; ++c) {
                double sum = 0;
                int count = 0;
                for (int64_t v = y * factor; v < std::min(whole.height, (y + 1) * factor); ++v)
                    for (int64_t u = x * factor; u < std::min(whole.width, (x + 1) * factor); ++u, ++count)
                        sum += sampleAt(whole, u, v, c);
                largest = std::max(largest, std::abs(sampleAt(reduced, x, y, c) - sum / count));
            }
    // Rounding of the mean, and of an inversion done after it; float samples to well within that.
    EXPECT_LE(largest, whole.bits == 32 ? 1e-4 : 1.0);
}

template <class Decode>
void expectReducedMatchesWhole(Decode decode, const test::Bytes& file, int64_t minLongSide, int64_t factor)
{
    const auto whole = decode(file, 0);
    const auto reduced = decode(file, minLongSide);
    ASSERT_TRUE(whole && reduced);
    EXPECT_GE(std::max(reduced->width, reduced->height), minLongSide);
    expectBlockMeans(*whole, *reduced, factor);
}

TEST(PSDReducedDecoding, AveragesBlocksRowByRowAndKeepsTheLongSideAsked)
{
    struct Case {
        const char* name;
        test::PSDOptions options;
        int width, height;
        int64_t minLongSide, factor;
    };
    test::PSDOptions packed16;
    packed16.depth = 16;
    packed16.rle = true;
    test::PSDOptions rawCMYK;
    rawCMYK.mode = 4;
    test::PSDOptions bigGrey;
    bigGrey.mode = 1;
    bigGrey.large = true;
    bigGrey.rle = true;
    for (const Case& c :
         {Case{"16-bit RGB, packed", packed16, 1003, 667, 300, 3}, Case{"8-bit CMYK, raw", rawCMYK, 640, 960, 400, 2},
          Case{"large grey document", bigGrey, 700, 90, 100, 7}}) {
        SCOPED_TRACE(c.name);
        const auto bytes = test::encodePSD(c.width, c.height, test::gradientOf(c.width, c.height), c.options);
        expectReducedMatchesWhole(psd::decode, bytes, c.minLongSide, c.factor);
    }
}

TEST(PSDReducedDecoding, ADamagedCompositeStillFailsWhenReduced)
{
    test::PSDOptions options;
    options.rle = true;
    const auto bytes = test::encodePSD(400, 300, test::gradientOf(400, 300), options);
    const test::Bytes cut(bytes.begin(), bytes.end() - 200);
    EXPECT_FALSE(psd::decode(cut, 100));
    test::Bytes scribbled = bytes;
    // Within the packed rows, past the table of their lengths.
    for (size_t i = scribbled.size() - 5000; i < scribbled.size() - 4000; ++i) scribbled[i] = 0x7f;
    EXPECT_FALSE(psd::decode(scribbled, 100));
}

TEST(PNGReducedDecoding, AveragesBlocksOfEveryKindOfSample)
{
    struct Case {
        const char* name;
        int depth, channels;
        bool interlaced;
    };
    for (const Case& c :
         {Case{"8-bit RGB", 8, 3, false}, Case{"16-bit RGB", 16, 3, false}, Case{"8-bit grey", 8, 1, false},
          Case{"16-bit grey and alpha", 16, 2, false}, Case{"8-bit RGBA", 8, 4, false},
          // Decoded whole, then reduced: the same picture.
          Case{"interlaced 16-bit RGBA", 16, 4, true}}) {
        SCOPED_TRACE(c.name);
        test::PNGOptions options;
        options.bitDepth = c.depth;
        options.channels = c.channels;
        options.alphaFromPattern = true;
        options.interlaced = c.interlaced;
        const auto bytes = test::encodePNG(301, 203, test::gradientOf(301, 203), options);
        expectReducedMatchesWhole(png::decode, bytes, 75, 4);
    }
    // Nothing smaller asked, or nothing smaller that still reaches the side asked: the whole picture.
    const auto bytes = test::encodePNG(64, 48, test::gradientOf(64, 48));
    EXPECT_EQ(png::decode(bytes, 33)->width, 64);
    EXPECT_EQ(png::decode(bytes, 32)->width, 32);
}

TEST(PNGReducedDecoding, DamagedAndTruncatedFilesStillFail)
{
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        test::PNGOptions options;
        options.bitDepth = 16;
        options.interlaced = interlaced;
        const auto bytes = test::encodePNG(400, 300, test::gradientOf(400, 300), options);
        ASSERT_TRUE(png::decode(bytes, 100));
        const test::Bytes cut(bytes.begin(), bytes.end() - 200);
        EXPECT_FALSE(png::decode(cut, 100));
        // Within the compressed rows: the chunk's checksum no longer matches.
        test::Bytes scribbled = bytes;
        for (size_t i = scribbled.size() / 2; i < scribbled.size() / 2 + 64; ++i) scribbled[i] ^= 0x5a;
        ASSERT_TRUE(png::readHeader(scribbled));
        EXPECT_FALSE(png::decode(scribbled, 100));
    }
}

TEST(TIFFReducedDecoding, AveragesBlocksOfEveryLayoutTheDecoderReads)
{
    struct Case {
        const char* name;
        test::TIFFOptions options;
    };
    const auto with = [](auto change) {
        test::TIFFOptions options;
        change(options);
        return options;
    };
    for (const Case& c : {
             Case{"8-bit RGB in strips", {}},
             Case{"16-bit RGB in tiles", with([](auto& o) { o.bitsPerSample = 16, o.tileSize = 32; })},
             Case{"16-bit planar RGB in strips", with([](auto& o) { o.bitsPerSample = 16, o.planar = true; })},
             Case{"8-bit planar RGB in tiles", with([](auto& o) { o.planar = true, o.tileSize = 48; })},
             Case{"16-bit RGB and alpha",
                  with([](auto& o) { o.bitsPerSample = 16, o.samplesPerPixel = 4, o.alpha = true; })},
             Case{"float grey", with([](auto& o) { o.bitsPerSample = 32, o.samplesPerPixel = 1; })},
             Case{"float RGB in tiles", with([](auto& o) { o.bitsPerSample = 32, o.tileSize = 64; })},
             Case{"8-bit grey, white at zero", with([](auto& o) { o.samplesPerPixel = 1, o.whiteIsZero = true; })},
             Case{"8-bit CMYK", with([](auto& o) { o.samplesPerPixel = 4; })},
             // These two are decoded whole and reduced after.
             Case{"16-bit Lab", with([](auto& o) { o.bitsPerSample = 16, o.photometric = 8; })},
             Case{"palette", with([](auto& o) { o.samplesPerPixel = 1, o.palette = true; })},
         }) {
        SCOPED_TRACE(c.name);
        const auto bytes = test::encodeTIFF(301, 203, test::gradientOf(301, 203), c.options);
        expectReducedMatchesWhole(tiff::decode, bytes, 75, 4);
    }
}

TEST(TIFFReducedDecoding, DamagedAndTruncatedFilesStillFail)
{
    for (int tile : {0, 32}) {
        SCOPED_TRACE(tile);
        test::TIFFOptions options;
        options.tileSize = tile;
        const auto bytes = test::encodeTIFF(400, 300, test::gradientOf(400, 300), options);
        ASSERT_TRUE(tiff::decode(bytes, 100));
        // libtiff writes the pixel data first and the directory last: cut into the data instead.
        test::Bytes cut = bytes;
        cut.resize(bytes.size() / 3);
        EXPECT_FALSE(tiff::decode(cut, 100));
        test::Bytes scribbled = bytes;
        for (size_t i = bytes.size() / 4; i < bytes.size() / 4 + 2000; ++i) scribbled[i] = 0x7f;
        ASSERT_TRUE(tiff::readHeader(scribbled));
        EXPECT_FALSE(tiff::decode(scribbled, 100));
    }
}

// The growth of the resident peak while `work` runs, in megabytes.
template <class Work>
double peakGrowthMegabytes(Work work)
{
    malloc_trim(0);
    resetResidentPeak();
    const size_t before = residentBytes();
    work();
    return double(residentPeakBytes() - before) / double(1 << 20);
}

TEST(ReducedDecodingMemory, ALarge16BitPictureIsNeverHeldWhole)
{
    // 72 MB of samples decoded whole; the reduced picture is 1.1 MB.
    constexpr int width = 4000, height = 3000;
    test::PNGOptions png16;
    png16.bitDepth = 16;
    test::TIFFOptions tiff16;
    tiff16.bitsPerSample = 16;
    test::TIFFOptions tiled16 = tiff16;
    tiled16.tileSize = 256;
    const test::Bytes files[] = {test::encodePNG(width, height, test::gradientOf(width, height), png16),
                                 test::encodeTIFF(width, height, test::gradientOf(width, height), tiff16),
                                 test::encodeTIFF(width, height, test::gradientOf(width, height), tiled16)};
    const auto decoders = {png::decode, tiff::decode, tiff::decode};
    auto file = std::begin(files);
    for (const auto decode : decoders) {
        SCOPED_TRACE(file - std::begin(files));
        std::optional<Samples> reduced;
        const double growth = peakGrowthMegabytes([&] { reduced = decode(*file++, 500); });
        ASSERT_TRUE(reduced);
        EXPECT_EQ(reduced->width, 500);
        // The reduced picture, a band of rows and the decoders' own buffers.
        EXPECT_LT(growth, 12);
    }
}

} // namespace
} // namespace oxel
