#include "imaging/ImagingTestSupport.h"

#include "imaging/Filters.h"
#include "imaging/Kernel.h"

#include <gtest/gtest.h>

#include <thread>

namespace oxel {
namespace {

using testing::floatBitmap;
using testing::pixelAt;
using testing::renderAll;

TEST(Kernels, ComputeEachPixelFromItsInputsAndUniforms)
{
    const Image a = Image::fromBitmap(floatBitmap(4, 3, [](int64_t x, int64_t y) {
        return RGB{float(x), float(y), 0.5f};
    }));
    const Image b = Image::constant({2, 3, 4});
    const float gain = 0.5f;
    const Image product = applyKernel(
        a.extent(), [gain](RGB p, RGB q) { return (p * q) * gain; }, a, b);
    EXPECT_EQ(pixelAt(product, 3, 2), (RGB{3, 3, 1}));
    EXPECT_EQ(pixelAt(product, 4, 2), RGB{}); // outside the kernel's extent
    // A chain of kernels, rendered in tiles of odd sizes, equals the kernel applied by hand.
    const Image chained = applyKernel(
        product.extent(),
        [](RGB p) {
            return p + RGB{1, 1, 1};
        },
        product);
    RenderContext tiny({.tileWidth = 3, .tileHeight = 2});
    std::vector<RGB> pixels(12);
    tiny.render(chained, {0, 0, 4, 3}, pixels.data(), 4);
    EXPECT_EQ(pixels[5], (RGB{1 + 1 * 2 * 0.5f, 1 + 1 * 3 * 0.5f, 1 + 0.5f * 4 * 0.5f}));
}

TEST(Rendering, QuantisesWithRoundingAndClamping)
{
    const Image image = Image::fromBitmap(floatBitmap(4, 1, [](int64_t x, int64_t) {
        const float values[] = {-0.5f, 0.5f, 1.5f, 128.4f / 65535.0f};
        return RGB{values[x], values[x], values[x]};
    }));
    uint16_t wide[16];
    RenderContext().renderRGBA16(image, {0, 0, 4, 1}, wide, sizeof(wide));
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[4], 32768);
    EXPECT_EQ(wide[8], 65535);
    EXPECT_EQ(wide[12], 128);
    EXPECT_EQ(wide[3], 65535);
    uint8_t narrow[16];
    RenderContext().renderRGBA8(image, {0, 0, 4, 1}, narrow, sizeof(narrow));
    EXPECT_EQ(narrow[4], 128);
    EXPECT_EQ(narrow[8], 255);
    EXPECT_EQ(narrow[7], 255);
}

TEST(Rendering, SharedRecipesRenderTheSameFromManyThreads)
{
    const Image image = Image::fromBitmap(floatBitmap(301, 203, [](int64_t x, int64_t y) {
        return RGB{float(x % 17) / 17, float(y % 13) / 13, 0.5f};
    }));
    const Image recipe =
        gaussianBlur(lanczosScaleTransform(image.clampedToExtent(), 0.7, 1.1), 2.5).cropped({0, 0, 200, 140});
    const auto expected = renderAll(recipe, {0, 0, 200, 140});
    std::vector<std::thread> threads;
    std::vector<int> mismatches(6, 0);
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            const auto got = renderAll(recipe, {0, 0, 200, 140});
            mismatches[size_t(t)] = got == expected ? 0 : 1;
        });
    }
    for (auto& thread : threads) thread.join();
    for (int m : mismatches) EXPECT_EQ(m, 0);
}

TEST(Rendering, MaterialisedRecipesKeepTheirPixelsAndPlace)
{
    const Image image = Image::fromBitmap(floatBitmap(20, 10, [](int64_t x, int64_t y) {
        return RGB{float(x), float(y), 0};
    }));
    const Image recipe = applyKernel(
                             image.extent(), [](RGB p) { return p * 2.0f; }, image)
                             .translated(5, 7);
    const Image stored = materialised(recipe);
    EXPECT_EQ(stored.extent(), recipe.extent());
    EXPECT_EQ(renderAll(stored, {4, 6, 22, 12}), renderAll(recipe, {4, 6, 22, 12}));
    EXPECT_TRUE(materialised(Image::constant({1, 1, 1})).extent().isInfinite());
}

TEST(Bitmaps, RefuseSizesThatOverflowOrAreEmpty)
{
    EXPECT_FALSE(Bitmap::allocate(0, 10, PixelFormat::RGBX8));
    EXPECT_FALSE(Bitmap::allocate(10, -5, PixelFormat::RGBX8));
    EXPECT_FALSE(Bitmap::allocate(int64_t(1) << 40, int64_t(1) << 40, PixelFormat::RGBAf));
    const auto bitmap = Bitmap::allocate(3, 2, PixelFormat::RGBX16);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->rowBytes(), 24u);
    for (size_t i = 0; i < bitmap->byteCount(); ++i) ASSERT_EQ(bitmap->data()[i], 0);
}

} // namespace
} // namespace oxel
