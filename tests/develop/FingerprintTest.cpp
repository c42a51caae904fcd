#include "develop/ScenePictures.h"

#include "develop/transfer/Fingerprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace oxel {
namespace {

const RenderContext context;

TEST(FingerprintTest, ScaledCopiesGiveNearlyEqualGrids)
{
    const auto large = Fingerprint::make(testing::original(1200, 800), context);
    const auto small = Fingerprint::make(testing::original(300, 200), context);
    ASSERT_TRUE(large && small);
    ASSERT_EQ(large->size(), 4096u);
    EXPECT_GT(Fingerprint::correlations(*large, *small)[0], 0.98f);
    EXPECT_GT(Fingerprint::correlations(Fingerprint::smoothed(*large), Fingerprint::smoothed(*small))[0], 0.95f);
}

TEST(FingerprintTest, AMovedPictureGivesTheSameGrid)
{
    const Image picture = testing::original(200, 100);
    EXPECT_EQ(Fingerprint::make(picture, context), Fingerprint::make(picture.translated(37, -12), context));
}

TEST(FingerprintTest, FindsTheMatchingQuarterTurn)
{
    const auto grid = *Fingerprint::make(testing::original(256, 256), context);
    // The grid turned once (value at r, c moves to c, 63 - r); comparing it back takes three more turns.
    std::vector<float> turned(4096);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) turned[size_t(c) * 64 + (63 - r)] = grid[size_t(r) * 64 + c];
    const auto turns = Fingerprint::correlations(Fingerprint::smoothed(grid), Fingerprint::smoothed(turned));
    ASSERT_EQ(turns.size(), 4u);
    EXPECT_EQ(std::max_element(turns.begin(), turns.end()) - turns.begin(), 3);
    EXPECT_NEAR(turns[3], 1.0f, 1e-5f);
}

TEST(FingerprintTest, FlatAndMalformedGridsGiveNoCorrelation)
{
    const auto grey = *Fingerprint::make(Image::constant({0.4f, 0.4f, 0.4f}).cropped(Rect::ofSize(90, 60)), context);
    const auto edges = Fingerprint::smoothed(grey);
    // Rounding in the scale leaves edges of a few ten-thousandths at most.
    EXPECT_TRUE(std::all_of(edges.begin(), edges.end(), [](float v) { return v < 1e-3f; }));
    const auto picture = *Fingerprint::make(testing::original(90, 60), context);
    EXPECT_EQ(Fingerprint::correlations(picture, grey), std::vector<float>(4, -2.0f));

    const std::vector<float> short_(4095, 0.5f);
    EXPECT_TRUE(Fingerprint::smoothed(short_).empty());
    EXPECT_EQ(Fingerprint::correlations(short_, picture), std::vector<float>(4, -2.0f));
    EXPECT_FALSE(Fingerprint::correlation({1, 2, 3}, {1, 2}));
    EXPECT_FALSE(Fingerprint::correlation({}, {}));
    EXPECT_NEAR(*Fingerprint::correlation({1, 2, 3}, {2, 4, 6}), 1.0f, 1e-6f);
    EXPECT_NEAR(*Fingerprint::correlation({1, 2, 3}, {3, 2, 1}), -1.0f, 1e-6f);
}

TEST(FingerprintTest, UniformPicturesHaveNoEdgesAtAnySize)
{
    // Resampling leaves float rounding in the grid; unchecked, its edges correlate at random.
    const auto picture = Fingerprint::smoothed(*Fingerprint::make(testing::original(90, 60), context));
    for (const auto& [width, height] : {std::pair{90, 60}, {333, 777}, {1500, 1000}})
        for (float v : {0.123f, 0.4f, 0.7f}) {
            const auto grid =
                *Fingerprint::make(Image::constant({v, v, v}).cropped(Rect::ofSize(width, height)), context);
            const auto edges = Fingerprint::smoothed(grid);
            EXPECT_TRUE(std::all_of(edges.begin(), edges.end(), [](float e) { return e == 0; })) << width << " " << v;
            EXPECT_EQ(Fingerprint::correlations(picture, edges), std::vector<float>(4, -2.0f)) << width << " " << v;
        }
    // A faint but real gradient keeps its edges.
    const auto gradient = *Fingerprint::make(testing::drawn(300, 200,
                                                            [](double u, double) {
                                                                return RGB{float(0.4 + 0.01 * u), 0.4f, 0.4f};
                                                            }),
                                             context);
    const auto edges = Fingerprint::smoothed(gradient);
    EXPECT_GT(*std::max_element(edges.begin(), edges.end()), 0.005f);
}

TEST(FingerprintTest, EmptyInfiniteAndNonFinitePicturesGiveNoGrid)
{
    EXPECT_FALSE(Fingerprint::make(Image::constant({0.5f, 0.5f, 0.5f}), context));
    EXPECT_FALSE(Fingerprint::make(testing::original(10, 10).cropped(Rect::ofSize(10, 0)), context));
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(Fingerprint::make(Image::constant({inf, 0, 0}).cropped(Rect::ofSize(10, 10)), context));
}

TEST(FingerprintTest, BorderCellsClampTheirTaps)
{
    // A single bright column 0: the horizontal taps at column 0 read columns 0, 0, 0, 1, 2.
    std::vector<float> grid(4096, 0);
    for (int r = 0; r < 64; ++r) grid[size_t(r) * 64] = 1;
    const auto edges = Fingerprint::smoothed(grid);
    // B[r][0] = 0.0625 + 0.25 + 0.375 = 0.6875, B[r][1] = 0.0625 + 0.25 = 0.3125.
    const float gx = (0.3125f - 0.6875f) * 0.5f;
    EXPECT_NEAR(edges[size_t(10) * 64], std::sqrt(std::sqrt(gx * gx)), 1e-6f);
}

} // namespace
} // namespace oxel
