#include "imaging/ImagingTestSupport.h"

#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

using testing::floatBitmap;
using testing::pixelAt;
using testing::renderAll;

Image numbered(int64_t width, int64_t height)
{
    return Image::fromBitmap(floatBitmap(width, height, [](int64_t x, int64_t y) {
        return RGB{float(x), float(y), 1.0f};
    }));
}

TEST(ImageSources, ConvertIntegerAndGreyFormatsToUnitRange)
{
    Bitmap grey = *Bitmap::allocate(2, 1, PixelFormat::Gray16);
    reinterpret_cast<uint16_t*>(grey.mutableData())[0] = 65535;
    reinterpret_cast<uint16_t*>(grey.mutableData())[1] = 32768;
    EXPECT_EQ(pixelAt(Image::fromBitmap(grey), 0, 0), (RGB{1, 1, 1}));
    EXPECT_NEAR(pixelAt(Image::fromBitmap(grey), 1, 0).g, 32768.0f / 65535.0f, 1e-7);

    Bitmap rgba = *Bitmap::allocate(1, 1, PixelFormat::RGBA8);
    uint8_t* p = rgba.mutableData();
    p[0] = 255;
    p[1] = 0;
    p[2] = 51;
    p[3] = 0; // alpha is dropped, not applied
    const RGB sample = pixelAt(Image::fromBitmap(rgba), 0, 0);
    EXPECT_FLOAT_EQ(sample.r, 1.0f);
    EXPECT_FLOAT_EQ(sample.b, 0.2f);
}

TEST(ImageSources, ReadZeroOutsideTheirExtentAndConstantsCoverThePlane)
{
    const Image image = numbered(3, 2);
    EXPECT_EQ(image.extent(), Rect::ofSize(3, 2));
    EXPECT_EQ(pixelAt(image, -1, 0), RGB{});
    EXPECT_EQ(pixelAt(image, 3, 1), RGB{});
    const Image constant = Image::constant({0.25f, 0.5f, 2.0f});
    EXPECT_TRUE(constant.extent().isInfinite());
    EXPECT_EQ(pixelAt(constant, -1000000, 99999), (RGB{0.25f, 0.5f, 2.0f}));
}

TEST(ImageGeometry, WholePixelMovesCopySamples)
{
    const Image moved = numbered(4, 4).translated(10, -2);
    EXPECT_EQ(moved.extent(), (Rect{10, -2, 4, 4}));
    EXPECT_EQ(pixelAt(moved, 12, -1), (RGB{2, 1, 1}));
    EXPECT_EQ(pixelAt(moved, 9, 0), RGB{});
}

TEST(ImageGeometry, HalfPixelMoveAveragesNeighbours)
{
    const Image moved = numbered(8, 8).translated(0.5, 0);
    const RGB sample = pixelAt(moved, 4, 3);
    EXPECT_FLOAT_EQ(sample.r, 3.5f);
    EXPECT_FLOAT_EQ(sample.g, 3.0f);
}

TEST(ImageGeometry, CropKeepsOnlyTheRectangle)
{
    const Image cropped = numbered(10, 10).cropped({2, 3, 4, 5});
    EXPECT_EQ(cropped.extent(), (Rect{2, 3, 4, 5}));
    EXPECT_EQ(pixelAt(cropped, 2, 3), (RGB{2, 3, 1}));
    EXPECT_EQ(pixelAt(cropped, 6, 3), RGB{});
    EXPECT_EQ(pixelAt(cropped, 1, 4), RGB{});
    EXPECT_TRUE(numbered(3, 3).cropped({5, 5, 2, 2}).extent().isEmpty());
}

TEST(ImageGeometry, ClampRepeatsEdgesForEver)
{
    const Image clamped = numbered(3, 2).translated(5, 5).clampedToExtent();
    EXPECT_TRUE(clamped.extent().isInfinite());
    EXPECT_EQ(pixelAt(clamped, -100, -100), (RGB{0, 0, 1}));
    EXPECT_EQ(pixelAt(clamped, 100, 6), (RGB{2, 1, 1}));
    EXPECT_EQ(pixelAt(clamped, 6, 100), (RGB{1, 1, 1}));
    // A region that straddles the edge mixes inside and repeated samples.
    const auto row = renderAll(clamped, {3, 5, 6, 1});
    EXPECT_EQ(row[0], (RGB{0, 0, 1}));
    EXPECT_EQ(row[3], (RGB{1, 0, 1}));
    EXPECT_EQ(row[5], (RGB{2, 0, 1}));
}

TEST(ImageGeometry, EveryExifOrientationStandsThePictureUpright)
{
    // Stored 3 x 2 picture: the stored pixel (x, y) carries (x, y).
    const Image stored = numbered(3, 2);
    struct Case {
        int orientation;
        int64_t width, height;
        RGB topLeft, topRight;
    };
    const Case cases[] = {
        {1, 3, 2, {0, 0, 1}, {2, 0, 1}}, {2, 3, 2, {2, 0, 1}, {0, 0, 1}}, {3, 3, 2, {2, 1, 1}, {0, 1, 1}},
        {4, 3, 2, {0, 1, 1}, {2, 1, 1}}, {5, 2, 3, {0, 0, 1}, {0, 1, 1}}, {6, 2, 3, {0, 1, 1}, {0, 0, 1}},
        {7, 2, 3, {2, 1, 1}, {2, 0, 1}}, {8, 2, 3, {2, 0, 1}, {2, 1, 1}},
    };
    for (const Case& c : cases) {
        const Image upright = stored.oriented(c.orientation);
        EXPECT_EQ(upright.extent(), Rect::ofSize(double(c.width), double(c.height))) << c.orientation;
        EXPECT_EQ(pixelAt(upright, 0, 0), c.topLeft) << c.orientation;
        EXPECT_EQ(pixelAt(upright, c.width - 1, 0), c.topRight) << c.orientation;
    }
    EXPECT_EQ(pixelAt(stored.oriented(9), 1, 1), (RGB{1, 1, 1}));
}

TEST(ImageGeometry, ScalingKeepsAConstantConstant)
{
    const Image flat = Image::fromBitmap(floatBitmap(40, 30, [](int64_t, int64_t) { return RGB{0.3f, 0.6f, 0.9f}; }));
    for (double scale : {0.1, 0.37, 0.5, 2.0, 3.3}) {
        const Image scaled = flat.clampedToExtent().scaled(scale, scale).cropped(Rect::ofSize(40 * scale, 30 * scale));
        const auto pixels = renderAll(scaled, {0, 0, int64_t(40 * scale), int64_t(30 * scale)});
        for (const RGB& p : pixels) {
            ASSERT_NEAR(p.r, 0.3f, 1e-5) << scale;
            ASSERT_NEAR(p.b, 0.9f, 1e-5) << scale;
        }
    }
}

TEST(ImageGeometry, ShrinkingByTwoAveragesBlocks)
{
    const Image image = Image::fromBitmap(floatBitmap(4, 2, [](int64_t x, int64_t y) {
        return RGB{float(x + 4 * y), 0, 0};
    }));
    const auto pixels = renderAll(image.scaled(0.5, 0.5), {0, 0, 2, 1});
    EXPECT_FLOAT_EQ(pixels[0].r, (0 + 1 + 4 + 5) / 4.0f);
    EXPECT_FLOAT_EQ(pixels[1].r, (2 + 3 + 6 + 7) / 4.0f);
}

} // namespace
} // namespace oxel
