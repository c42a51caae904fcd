#include "imaging/RGB8Scaler.h"
#include "imaging/Filters.h"
#include "imaging/RenderContext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace oxel {
namespace {

// An 8-bit picture with gradients and pixel-sized noise, so that every tap's weight shows.
Bitmap patterned(int64_t width, int64_t height, PixelFormat format)
{
    auto bitmap = Bitmap::allocate(width, height, format);
    const int channels = channelCount(format);
    uint32_t noise = 12345;
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                noise = noise * 1103515245u + 12345u;
                const int64_t ramp = c == 0 ? x * 255 / width : c == 1 ? y * 255 / height : (x + y) % 256;
                bitmap->mutableRow(y)[(x * channels + c)] = uint8_t((ramp * 3 + (noise >> 24)) / 4);
            }
    return *bitmap;
}

// The same scale as a render does it: float tiles, edges repeated beyond the sides.
Bitmap rendered(const Bitmap& stored, int64_t width, int64_t height, int orientation)
{
    const double scaleY = double(height) / double(stored.height()), scaleX = double(width) / double(stored.width());
    const Image picture = lanczosScaleTransform(Image::fromBitmap(stored).clampedToExtent(), scaleY, scaleX / scaleY)
                              .cropped(Rect::ofSize(double(width), double(height)))
                              .oriented(orientation);
    const bool swap = orientation >= 5;
    return *RenderContext().renderBitmap(picture, PixelRect{0, 0, swap ? height : width, swap ? width : height},
                                         PixelFormat::RGBX8);
}

// The largest difference of any colour sample; -1 when the sizes differ.
int largestDifference(const Bitmap& rgb, const Bitmap& rgbx)
{
    if (rgb.width() != rgbx.width() || rgb.height() != rgbx.height()) return -1;
    int largest = 0;
    for (int64_t y = 0; y < rgb.height(); ++y)
        for (int64_t x = 0; x < rgb.width(); ++x)
            for (int c = 0; c < 3; ++c)
                largest = std::max(largest, std::abs(int(rgb.row(y)[3 * x + c]) - int(rgbx.row(y)[4 * x + c])));
    return largest;
}

TEST(RGB8Scaler, AgreesWithARenderInEveryOrientation)
{
    const Bitmap stored = patterned(157, 103, PixelFormat::RGB8);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const auto scaled = scaledRGB8(stored, 61, 40, orientation, ColourSpace::displayP3());
        ASSERT_TRUE(scaled) << orientation;
        EXPECT_EQ(scaled->format(), PixelFormat::RGB8);
        EXPECT_EQ(scaled->rowBytes(), size_t(scaled->width()) * 3);
        EXPECT_EQ(scaled->colourSpace(), ColourSpace::displayP3());
        EXPECT_LE(largestDifference(*scaled, rendered(stored, 61, 40, orientation)), 1) << orientation;
    }
}

TEST(RGB8Scaler, AgreesWithARenderForAnySizeAndLayout)
{
    struct Case {
        int64_t fromWidth, fromHeight, toWidth, toHeight;
        PixelFormat format;
    };
    const Case cases[] = {
        {1500, 1000, 1024, 683, PixelFormat::RGB8}, // a reduced decode to a thumbnail
        {4000, 3, 1024, 1, PixelFormat::RGB8},      // taps reaching far beyond the short sides
        {10, 10, 23, 17, PixelFormat::RGB8},        // enlarging
        {90, 70, 31, 29, PixelFormat::Gray8},       {90, 70, 31, 29, PixelFormat::RGBA8}, // alpha is not colour
        {90, 70, 31, 29, PixelFormat::RGBX8},
    };
    for (const Case& c : cases) {
        const Bitmap stored = patterned(c.fromWidth, c.fromHeight, c.format);
        const auto scaled = scaledRGB8(stored, c.toWidth, c.toHeight, 6, {});
        ASSERT_TRUE(scaled) << c.fromWidth;
        EXPECT_LE(largestDifference(*scaled, rendered(stored, c.toWidth, c.toHeight, 6)), 1) << c.fromWidth;
    }
}

TEST(RGB8Scaler, RowsGivenOneAtATimeScaleAsTheWholePicture)
{
    struct Case {
        int64_t fromWidth, fromHeight, toWidth, toHeight;
        PixelFormat format;
        int orientation;
    };
    const Case cases[] = {
        {1500, 1000, 1024, 683, PixelFormat::RGB8, 6}, {4000, 3, 1024, 1, PixelFormat::RGB8, 1},
        {10, 10, 23, 17, PixelFormat::RGB8, 7},        {90, 70, 31, 29, PixelFormat::Gray8, 3},
        {90, 70, 31, 29, PixelFormat::RGBX8, 8},       {3, 200, 2, 9, PixelFormat::RGB8, 2},
    };
    for (const Case& c : cases) {
        const Bitmap stored = patterned(c.fromWidth, c.fromHeight, c.format);
        auto scaler = RGB8Scaler::start(c.fromWidth, c.fromHeight, c.format, c.toWidth, c.toHeight, c.orientation,
                                        ColourSpace::sRGB());
        ASSERT_TRUE(scaler) << c.fromWidth;
        for (int64_t y = 0; y < c.fromHeight; ++y) {
            EXPECT_FALSE(scaler->finish()) << "before the last row";
            scaler->add(stored.row(y));
        }
        const auto fed = scaler->finish();
        const auto whole = scaledRGB8(stored, c.toWidth, c.toHeight, c.orientation, ColourSpace::sRGB());
        ASSERT_TRUE(fed && whole) << c.fromWidth;
        ASSERT_EQ(fed->width(), whole->width());
        for (int64_t y = 0; y < whole->height(); ++y)
            ASSERT_EQ(std::memcmp(fed->row(y), whole->row(y), whole->rowBytes()), 0) << c.fromWidth << " row " << y;
    }
}

TEST(RGB8Scaler, OneSizePacksTheSamplesAndOtherFormatsAreRefused)
{
    const Bitmap rgbx = patterned(33, 21, PixelFormat::RGBX8);
    const auto packed = scaledRGB8(rgbx, 33, 21, 1, ColourSpace::sRGB());
    ASSERT_TRUE(packed);
    EXPECT_EQ(largestDifference(*packed, rgbx), 0);

    const Bitmap grey = patterned(5, 4, PixelFormat::Gray8);
    const auto repeated = scaledRGB8(grey, 5, 4, 1, {});
    ASSERT_TRUE(repeated);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(repeated->row(3)[3 * 4 + c], grey.row(3)[4]);

    EXPECT_FALSE(scalesToRGB8(PixelFormat::RGB16));
    EXPECT_FALSE(scaledRGB8(*Bitmap::allocate(4, 4, PixelFormat::RGBX16), 2, 2, 1, {}));
    EXPECT_FALSE(scaledRGB8(rgbx, 0, 2, 1, {}));
    EXPECT_FALSE(scaledRGB8(Bitmap(), 2, 2, 1, {}));
}

} // namespace
} // namespace oxel
