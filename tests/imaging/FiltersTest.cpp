#include "imaging/ImagingTestSupport.h"

#include "imaging/Filters.h"
#include "imaging/Kernel.h"
#include "imaging/ResampleNode.h"
#include "imaging/TileMemoNode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>

namespace oxel {
namespace {

using testing::floatBitmap;
using testing::pixelAt;
using testing::renderAll;

Image noise(int64_t width, int64_t height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    return Image::fromBitmap(floatBitmap(width, height, [&](int64_t, int64_t) {
        return RGB{unit(random), unit(random), unit(random)};
    }));
}

// The exact Gaussian of a clamped picture at one pixel, straight from the definition.
RGB referenceBlur(const std::vector<RGB>& pixels, int64_t width, int64_t height, double sigma, int64_t px, int64_t py)
{
    const int64_t r = int64_t(std::ceil(6 * sigma));
    double sum[3] = {0, 0, 0}, total = 0;
    for (int64_t dy = -r; dy <= r; ++dy) {
        for (int64_t dx = -r; dx <= r; ++dx) {
            const double w = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            const int64_t x = std::clamp<int64_t>(px + dx, 0, width - 1),
                          y = std::clamp<int64_t>(py + dy, 0, height - 1);
            const RGB& p = pixels[size_t(y * width + x)];
            sum[0] += w * p.r;
            sum[1] += w * p.g;
            sum[2] += w * p.b;
            total += w;
        }
    }
    return {float(sum[0] / total), float(sum[1] / total), float(sum[2] / total)};
}

// The same for a picture with zeros outside; the Gaussian is separable, and so is the picture's
// rectangle, so only the pixels inside are visited.
RGB referenceBlurOfUnclamped(const std::vector<RGB>& pixels, int64_t width, int64_t height, double sigma, int64_t px,
                             int64_t py)
{
    const auto weight = [sigma](int64_t d) { return std::exp(-double(d * d) / (2 * sigma * sigma)); };
    double total = 0;
    for (int64_t d = -int64_t(std::ceil(6 * sigma)); d <= int64_t(std::ceil(6 * sigma)); ++d) total += weight(d);
    double sum[3] = {0, 0, 0};
    for (int64_t y = 0; y < height; ++y) {
        for (int64_t x = 0; x < width; ++x) {
            const double w = weight(x - px) * weight(y - py);
            const RGB& p = pixels[size_t(y * width + x)];
            sum[0] += w * p.r;
            sum[1] += w * p.g;
            sum[2] += w * p.b;
        }
    }
    return {float(sum[0] / (total * total)), float(sum[1] / (total * total)), float(sum[2] / (total * total))};
}

Image clampBlurCrop(const Image& image, double sigma)
{
    return gaussianBlur(image.clampedToExtent(), sigma).cropped(image.extent());
}

TEST(GaussianBlur, MatchesTheDefinitionForSmallAndLargeSigmas)
{
    const int64_t width = 160, height = 120;
    const Image image = noise(width, height, 7);
    const auto source = renderAll(image, {0, 0, width, height});
    for (double sigma : {1.5, 4.0, 6.0, 8.0, 13.0, 40.0}) {
        const Image blurred = clampBlurCrop(image, sigma);
        const auto result = renderAll(blurred, {0, 0, width, height});
        double worst = 0;
        for (int64_t y = 0; y < height; y += 7) {
            for (int64_t x = 0; x < width; x += 5) {
                const RGB expected = referenceBlur(source, width, height, sigma, x, y);
                const RGB got = result[size_t(y * width + x)];
                worst = std::max({worst, double(std::abs(got.r - expected.r)), double(std::abs(got.g - expected.g)),
                                  double(std::abs(got.b - expected.b))});
            }
        }
        EXPECT_LT(worst, 1e-3) << "sigma " << sigma;
    }
}

TEST(GaussianBlur, LargeBlursOfUnclampedPicturesKeepWhatLiesNearTheEdges)
{
    // Zeros surround the picture, so the edges fall off steeply: the blur's smaller working copies
    // must still carry every sample there, at each size of copy.
    const int64_t width = 70, height = 50;
    const Image image = noise(width, height, 3);
    const auto source = renderAll(image, {0, 0, width, height});
    for (double sigma : {8.0, 12.0, 20.0, 33.0}) {
        const Image blurred = gaussianBlur(image, sigma);
        const int64_t reach = int64_t(3 * sigma) - 1;
        const PixelRect around{-reach, -reach, width + 2 * reach, height + 2 * reach};
        const auto result = renderAll(blurred, around);
        double worst = 0;
        for (int64_t y = around.y; y < around.maxY(); y += 3) {
            for (int64_t x = around.x; x < around.maxX(); x += 3) {
                const RGB expected = referenceBlurOfUnclamped(source, width, height, sigma, x, y);
                const RGB got = result[size_t((y - around.y) * around.width + (x - around.x))];
                worst = std::max({worst, double(std::abs(got.r - expected.r)), double(std::abs(got.b - expected.b))});
            }
        }
        EXPECT_LT(worst, 1e-3) << "sigma " << sigma;
    }
}

TEST(GaussianBlur, KeepsAStepSymmetricAndAConstantConstant)
{
    const Image step = Image::fromBitmap(floatBitmap(200, 4, [](int64_t x, int64_t) {
        return RGB{x < 100 ? 0.0f : 1.0f, 0.5f, 0.5f};
    }));
    for (double sigma : {2.0, 40.0}) {
        const auto row = renderAll(clampBlurCrop(step, sigma), {0, 2, 200, 1});
        for (int64_t i = 0; i < 100; ++i) {
            ASSERT_NEAR(row[size_t(99 - i)].r + row[size_t(100 + i)].r, 1.0f, 2e-4) << sigma;
            ASSERT_NEAR(row[size_t(i)].g, 0.5f, 1e-4) << sigma;
        }
    }
    EXPECT_TRUE(gaussianBlur(step.clampedToExtent(), 3).extent().isInfinite());
    EXPECT_EQ(gaussianBlur(step, 2).extent(), (Rect{-6, -6, 212, 16}));
}

TEST(LanczosScale, KeepsAConstantAndTheExpectedExtent)
{
    const Image flat = Image::fromBitmap(floatBitmap(300, 200, [](int64_t, int64_t) { return RGB{0.2f, 0.4f, 0.8f}; }));
    const Image scaled = lanczosScaleTransform(flat.clampedToExtent(), 0.313, 1.0).cropped(Rect::ofSize(93, 62));
    for (const RGB& p : renderAll(scaled, {0, 0, 93, 62})) ASSERT_NEAR(p.g, 0.4f, 1e-5);
    const Image stretched = lanczosScaleTransform(flat, 2.0, 1.5);
    EXPECT_EQ(stretched.extent(), (Rect{0, 0, 900, 400}));
}

TEST(LanczosScale, DoesNotAliasAFinePatternWhenShrinking)
{
    // One-pixel stripes carry no energy a quarter-size picture can show: it must come out flat grey.
    const Image stripes = Image::fromBitmap(floatBitmap(400, 40, [](int64_t x, int64_t) {
        return RGB{float(x % 2), 0, 0};
    }));
    const auto pixels = renderAll(lanczosScaleTransform(stripes.clampedToExtent(), 0.26, 1.0), {2, 2, 100, 6});
    for (const RGB& p : pixels) ASSERT_NEAR(p.r, 0.5f, 0.01f);
}

TEST(LanczosScale, LargeReductionsGiveTheSameSamplesWhateverTheTiles)
{
    // Whole tiles read their input a band of rows at a time; tiles of one row read it at once.
    const Image picture = noise(1000, 1200, 7);
    const Image small = lanczosScaleTransform(picture.clampedToExtent(), 0.02, 1.0).cropped(Rect::ofSize(20, 24));
    std::vector<RGB> whole(20 * 24), rows(20 * 24);
    RenderContext().render(small, PixelRect{0, 0, 20, 24}, whole.data(), 20);
    RenderContext({512, 1}).render(small, PixelRect{0, 0, 20, 24}, rows.data(), 20);
    for (size_t i = 0; i < whole.size(); ++i) {
        ASSERT_EQ(whole[i].r, rows[i].r) << i;
        ASSERT_EQ(whole[i].g, rows[i].g) << i;
        ASSERT_EQ(whole[i].b, rows[i].b) << i;
    }
}

TEST(LanczosScale, WeightsFollowTheWindowedSincAndBandsCoverTheirRows)
{
    const auto sinc = [](double x) { return x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x); };
    const double scale = 0.2731;
    const AxisTaps taps = ResampleNode::taps(0, 300, scale, 0.4, ResampleFilter::lanczos3);
    for (int64_t o = 0; o < 300; ++o) {
        const double u = (double(o) + 0.5 - 0.4) / scale;
        std::vector<double> expected;
        for (int k = 0; k < taps.count[size_t(o)]; ++k) {
            const double d = (double(taps.first[size_t(o)] + k) + 0.5 - u) * scale;
            expected.push_back(std::abs(d) < 3 ? sinc(d) * sinc(d / 3) : 0.0);
        }
        double sum = 0;
        for (double w : expected) sum += w;
        for (size_t k = 0; k < expected.size(); ++k)
            ASSERT_NEAR(taps.weights[taps.offset[size_t(o)] + k], expected[k] / sum, 1e-6) << o << ' ' << k;
    }
    // Bands follow each other, each holds every input row its outputs read and stays within its
    // budget unless it is a single output row.
    const int64_t inputWidth = 2000;
    const auto bands = ResampleNode::rowBands(taps, 300, inputWidth);
    int64_t next = 0;
    for (const auto& band : bands) {
        ASSERT_EQ(band.begin, next);
        next = band.end;
        for (int64_t o = band.begin; o < band.end; ++o) {
            ASSERT_LE(band.first, taps.first[size_t(o)]);
            ASSERT_GE(band.last, taps.first[size_t(o)] + taps.count[size_t(o)]);
        }
        if (band.end - band.begin > 1) {
            EXPECT_LE((band.last - band.first) * inputWidth, int64_t(1) << 17);
        }
    }
    EXPECT_EQ(next, 300);
    EXPECT_GT(bands.size(), 1u);
}

TEST(LanczosScale, EnlargingPassesThroughTheSamples)
{
    const Image image = noise(20, 20, 3);
    const auto source = renderAll(image, {0, 0, 20, 20});
    // At scale 3 the centre of every third output pixel sits on an input sample.
    const auto up = renderAll(lanczosScaleTransform(image.clampedToExtent(), 3.0, 1.0), {0, 0, 60, 60});
    for (int64_t y = 2; y < 18; ++y) {
        for (int64_t x = 2; x < 18; ++x) {
            ASSERT_NEAR(up[size_t((3 * y + 1) * 60 + 3 * x + 1)].r, source[size_t(y * 20 + x)].r, 1e-5);
        }
    }
}

TEST(Blends, OverlayAndMultiplyFollowTheirFormulas)
{
    const Image top = Image::constant({0.25f, 0.75f, 0.5f}).cropped(Rect::ofSize(2, 1));
    const Image background = Image::constant({0.2f, 0.8f, 0.5f}).cropped(Rect::ofSize(3, 1));
    const auto overlay = renderAll(overlayBlend(top, background), {0, 0, 3, 1});
    EXPECT_FLOAT_EQ(overlay[0].r, 2 * 0.25f * 0.2f);
    EXPECT_FLOAT_EQ(overlay[0].g, 1 - 2 * 0.25f * 0.2f);
    EXPECT_FLOAT_EQ(overlay[0].b, 1 - 2 * 0.5f * 0.5f);
    EXPECT_EQ(overlay[2], (RGB{0.2f, 0.8f, 0.5f})); // only the background has this pixel
    const auto multiply = renderAll(multiplyCompositing(top, background), {0, 0, 3, 1});
    EXPECT_FLOAT_EQ(multiply[1].g, 0.75f * 0.8f);
    EXPECT_EQ(multiply[2], (RGB{0.2f, 0.8f, 0.5f}));
}

TEST(AreaAverage, IsTheMeanOfTheWholePixelsInside)
{
    const Image image = Image::fromBitmap(floatBitmap(10, 10, [](int64_t x, int64_t y) {
        return RGB{float(x), float(y), 1};
    }));
    const RGB mean = areaAverage(image, {2, 0, 4, 10}, RenderContext());
    EXPECT_FLOAT_EQ(mean.r, 3.5f);
    EXPECT_FLOAT_EQ(mean.g, 4.5f);
    EXPECT_EQ(areaAverage(image, Rect{}, RenderContext()), RGB{});
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

TEST(GaussianBlur, LargeBlursAgreeWhetherTilesReadTheKeptCopyOrNot)
{
    const Image image = noise(90, 60, 11);
    const Image blurred = gaussianBlur(image.clampedToExtent(), 40);
    const PixelRect around{-120, -100, 330, 260};
    // One big tile reaches past the kept copy and computes everything afresh; small tiles read it.
    std::vector<RGB> whole(size_t(around.area())), tiled(size_t(around.area()));
    RenderContext({.tileWidth = 4096, .tileHeight = 4096}).render(blurred, around, whole.data(), size_t(around.width));
    RenderContext({.tileWidth = 16, .tileHeight = 8}).render(blurred, around, tiled.data(), size_t(around.width));
    for (size_t i = 0; i < whole.size(); ++i) {
        ASSERT_NEAR(whole[i].r, tiled[i].r, 1e-5);
        ASSERT_NEAR(whole[i].b, tiled[i].b, 1e-5);
    }
}

} // namespace
} // namespace oxel

namespace oxel {
namespace {

// Counts the pixels its input is asked for.
class CountingNode final : public ImageNode {
public:
    explicit CountingNode(ImageNodePtr input) : input_(std::move(input)) {}
    Rect extent() const override { return input_->extent(); }
    void render(const PixelRect& region, RGB* out, size_t stride) const override
    {
        rendered += region.area();
        input_->render(region, out, stride);
    }
    mutable std::atomic<int64_t> rendered = 0;

private:
    ImageNodePtr input_;
};

} // namespace

TEST(TileMemo, TwoBlursOfOneInputGiveTheSameSamplesAndRenderItOnceATile)
{
    const Image source = noise(300, 200, 11);
    const auto blurredPair = [](const Image& input) {
        return applyKernel(
            input.extent(), [](RGB coarse, RGB fine) { return coarse * 0.25f + fine; }, gaussianBlur(input, 8),
            gaussianBlur(input, 2));
    };
    const auto counted = std::make_shared<CountingNode>(source.node());
    const auto kept = std::make_shared<CountingNode>(source.node());
    const PixelRect all{0, 0, 300, 200};
    const auto expected = renderAll(blurredPair(Image(counted)), all);
    const auto memoised = renderAll(blurredPair(tileMemoised(Image(kept))), all);
    ASSERT_EQ(memoised.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(memoised[i].r, expected[i].r) << i;
        ASSERT_EQ(memoised[i].g, expected[i].g) << i;
        ASSERT_EQ(memoised[i].b, expected[i].b) << i;
    }
    // The fine blur's smaller region is copied from the coarse one's: only the coarse regions are rendered.
    EXPECT_LT(kept->rendered.load(), counted->rendered.load() * 4 / 5);

    // A region reaching beyond the kept one, or another memo of the same picture, renders anew.
    const Image memo = tileMemoised(Image(kept));
    std::vector<RGB> out(50 * 50);
    const int64_t before = kept->rendered;
    memo.node()->render({10, 10, 40, 40}, out.data(), 40);
    memo.node()->render({12, 12, 20, 20}, out.data(), 20);
    EXPECT_EQ(kept->rendered - before, 1600);
    memo.node()->render({5, 5, 50, 50}, out.data(), 50);
    tileMemoised(Image(kept)).node()->render({12, 12, 20, 20}, out.data(), 20);
    EXPECT_EQ(kept->rendered - before, 1600 + 2500 + 400);
}

} // namespace oxel
