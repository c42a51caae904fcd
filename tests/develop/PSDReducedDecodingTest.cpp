#include "PictureFiles.h"
#include "develop/codecs/PictureCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace oxel {
namespace {

double sampleAt(const Samples& samples, int64_t x, int64_t y, int channel)
{
    const uint8_t* p = samples.row(y) + (size_t(x) * samples.channels + channel) * (samples.bits / 8);
    if (samples.bits == 8) return *p;
    uint16_t value;
    std::memcpy(&value, p, 2);
    return value;
}

// Every sample of `reduced` against the mean of its block of `whole`, edge blocks partial.
void expectBlockMeans(const Samples& whole, const Samples& reduced, int64_t factor)
{
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
    // Rounding of the mean, and of CMYK's inversion done after it.
    EXPECT_LE(largest, 1.0);
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
        const auto whole = psd::decode(bytes, 0);
        const auto reduced = psd::decode(bytes, c.minLongSide);
        ASSERT_TRUE(whole && reduced);
        EXPECT_EQ(whole->width, c.width);
        EXPECT_EQ(reduced->width, (c.width + c.factor - 1) / c.factor);
        EXPECT_EQ(reduced->height, (c.height + c.factor - 1) / c.factor);
        EXPECT_GE(std::max(reduced->width, reduced->height), c.minLongSide);
        EXPECT_EQ(reduced->bits, whole->bits);
        expectBlockMeans(*whole, *reduced, c.factor);
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

} // namespace
} // namespace oxel
