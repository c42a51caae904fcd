#include "develop/transfer/TransferKernels.h"
#include "develop/transfer/TransferContext.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

namespace K = TransferKernels;

TEST(TransferKernelsTest, ConfidenceIsOneOffTheOriginalsEdges)
{
    // No band-pass signal in the original: weight 0, edge confidence 1, whatever the render does.
    const RGB flat = K::confidence(0.5f, 0.5f, 0.9f, 0.2f);
    EXPECT_EQ(flat.r, 1.0f);
    EXPECT_EQ(flat.b, 0.0f);
    // A strong edge that the render repeats exactly: full agreement.
    const RGB agreeing = K::confidence(0.6f, 0.5f, 0.7f, 0.6f);
    EXPECT_FLOAT_EQ(agreeing.g, 1.0f);
    EXPECT_FLOAT_EQ(agreeing.b, 1.0f);
    EXPECT_FLOAT_EQ(agreeing.r, 1.0f);
    // The render's edge goes the other way: disagreement 0.2 / 0.224, agreement about 0.107.
    const RGB opposed = K::confidence(0.6f, 0.5f, 0.5f, 0.6f);
    EXPECT_NEAR(opposed.g, 1 - 0.2f / 0.224f, 1e-6f);
    EXPECT_NEAR(opposed.r, opposed.g, 1e-6f);
    // Halfway up the smoothstep: |band| = 0.02 gives t = 0.5 and w = 0.5.
    const RGB halfway = K::confidence(0.52f, 0.5f, 0.5f, 0.5f);
    EXPECT_NEAR(halfway.b, 0.5f, 1e-5f);
    EXPECT_NEAR(halfway.r, 1 + 0.5f * (halfway.g - 1), 1e-6f);
}

TEST(TransferKernelsTest, CombineAppliesTheLightByEdgeConfidenceAndStrength)
{
    const RGB original{0.5f, 0.4f, 0.3f}, low{0.45f, 0.42f, 0.3f}, light{0.1f, -0.05f, 0.02f};
    for (float agreement : {0.0f, 0.6f, 1.0f})
        for (float s : {0.0f, 0.3f, 1.0f})
            for (float strength : {0.0f, 0.5f, 1.0f}) {
                const RGB p1 = low + (0.8f * agreement) * (original - low);
                const RGB expected = p1 + ((1 - s) + strength * s) * light;
                const RGB got = K::combineDetail(original, low, light, agreement, s, strength);
                EXPECT_NEAR(got.r, expected.r, 1e-6f);
                EXPECT_NEAR(got.g, expected.g, 1e-6f);
                EXPECT_NEAR(got.b, expected.b, 1e-6f);
            }
    // Where c = 0 only the low-pass original stays; D = 0 leaves p1.
    EXPECT_EQ(K::combineDetail(original, low, {}, 0, 1, 1), low);
}

TEST(TransferKernelsTest, CombineClampsEveryStep)
{
    // p1 = 0.94; red: p2 = 0.94 + 0.5 (1 - 0.94), p3 = p2 + 0.5 (1 - p2); green falls to 0 twice.
    const RGB bright = K::combineDetail({0.95f, 0.95f, 0.95f}, {0.9f, 0.9f, 0.9f}, {0.5f, -2, 0.5f}, 1, 0.5f, 1);
    EXPECT_NEAR(bright.r, 0.985f, 1e-6f);
    EXPECT_NEAR(bright.g, 0.235f, 1e-6f);
    EXPECT_EQ(K::combineDetail({0.95f, 0.95f, 0.95f}, {0.9f, 0.9f, 0.9f}, {0.5f, -2, 0.5f}, 1, 0, 1), (RGB{1, 0, 1}));
    // p2 is clamped before strength acts on it: 0.94 + 0.5 -> 1, then + 0.5 * 0.5 * (1 - 1).
    const RGB half = K::combineDetail({0.94f, 0.94f, 0.94f}, {0.94f, 0.94f, 0.94f}, {0.5f, 0.5f, 0.5f}, 1, 0.5f, 0);
    EXPECT_NEAR(half.r, 0.94f + 0.5f * 0.06f, 1e-6f);
}

TEST(TransferKernelsTest, LayerKernels)
{
    EXPECT_EQ(K::lightLayer({0.7f, 0.5f, 0.0f}, {0.5f, 0.5f, 1.0f}), (RGB{0.6f, 0.5f, 0.0f}));
    EXPECT_EQ(K::smoothMask(0).r, 1.0f);
    EXPECT_NEAR(K::smoothMask(1).g, 0.2f, 1e-7f);
    EXPECT_EQ(K::softMask(0.3f, 0).b, 0.3f);
    EXPECT_NEAR(K::softMask(0.3f, 1).b, 0.7f, 1e-7f);
}

TEST(IsSRGBTest, TellsSRGBByNameOrIdenticalProfile)
{
    EXPECT_TRUE(isSRGB(ColourSpace{"sRGB", {}}));
    EXPECT_TRUE(isSRGB(ColourSpace{"", ColourSpace::sRGB().icc}));
    EXPECT_FALSE(isSRGB(ColourSpace::displayP3()));
    EXPECT_FALSE(isSRGB(ColourSpace{"", {}}));
    auto changed = ColourSpace::sRGB().icc;
    ASSERT_FALSE(changed.empty());
    changed.back() ^= 1;
    EXPECT_FALSE(isSRGB(ColourSpace{"", changed}));
}

} // namespace
} // namespace oxel

#include "develop/transfer/LanczosScale.h"
#include "imaging/RenderContext.h"

namespace oxel {
namespace {

TEST(LanczosScaleTest, FillsTheTargetAndKeepsFlatPicturesFlat)
{
    const Image grey = Image::constant({0.3f, 0.6f, 0.9f}).cropped(Rect::ofSize(40, 30));
    const Image scaled = lanczosScale(grey, Rect::ofSize(100, 50));
    EXPECT_EQ(scaled.extent(), Rect::ofSize(100, 50));
    std::vector<RGB> pixels(100 * 50);
    RenderContext().render(scaled, PixelRect{0, 0, 100, 50}, pixels.data(), 100);
    // Edges clamped: the corners keep the colour, with no dark rim.
    for (size_t i : {size_t(0), size_t(99), size_t(4950), size_t(4999), size_t(2525)})
        EXPECT_NEAR(pixels[i].g, 0.6f, 1e-4f);
    // An empty picture has no scale to speak of: cropped, not divided by zero.
    const Image empty = grey.cropped(Rect::ofSize(0, 30));
    EXPECT_TRUE(lanczosScale(empty, Rect::ofSize(10, 10)).extent().isEmpty());
}

} // namespace
} // namespace oxel
