#include "develop/PictureHelpers.h"

#include "develop/colour/RGBSpace.h"
#include "develop/grade/ColourWear.h"
#include "develop/grade/GradeKernels.h"
#include "develop/grade/GradeLooks.h"
#include "develop/grade/GradeTheory.h"
#include "develop/grade/PersonSegmenter.h"

#include "imaging/RenderContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace oxel {
namespace {

using test::expectNear;
using test::flat;
using test::picture;
using test::sampleAt;
using test::samples;

const RGB skinTone{230 / 255.0f, 180 / 255.0f, 150 / 255.0f};
const RGB sky{0.3f, 0.5f, 0.9f};

Image halfSkin(int width, int height)
{
    return picture(width, height, [width](int x, int) { return x < width / 2 ? skinTone : sky; });
}

SuggestedGrade strongGrade()
{
    SuggestedGrade grade = GradeTheory::grade({GradeTheory::Temperature::cool, GradeTheory::Density::rich}, "");
    grade.gain = {0.85, 1.1, 1.15};
    grade.skinHold = 1;
    return grade;
}

TEST(GradeApplication, GradesEveryPixelWithoutAMaskWhateverTheHold)
{
    const Image image = halfSkin(40, 20);
    const SuggestedGrade grade = strongGrade();
    const Image graded = grade.apply(image, 1.0);
    EXPECT_EQ(graded.extent(), image.extent());
    const RGB left = sampleAt(graded, 3, 3);
    EXPECT_GT(std::abs(left.r - skinTone.r), 0.02f);
    // At strength 0 the picture comes back untouched.
    const auto same = samples(grade.apply(image, 0.0));
    const auto original = samples(image);
    for (size_t i = 0; i < same.size(); ++i) expectNear(same[i], original[i], 1e-5f);
}

TEST(GradeApplication, AMaskStretchedOverThePictureHoldsSkinOff)
{
    const Image image = halfSkin(40, 20);
    // A 4 x 2 mask, white on its left half: stretched tenfold it covers the skin exactly.
    const Image mask = picture(4, 2, [](int x, int) { return x < 2 ? RGB{1, 1, 1} : RGB{0, 0, 0}; });
    const SuggestedGrade grade = strongGrade();
    const Image held = grade.apply(image, 1.0, mask);
    expectNear(sampleAt(held, 2, 10), skinTone, 1e-5f);
    expectNear(sampleAt(held, 35, 10), sampleAt(grade.apply(image, 1.0), 35, 10), 1e-5f);
}

TEST(GradeApplication, KeepsThePictureWhereItStands)
{
    const Image moved = flat(10, 10, sky).translated(30, 40);
    const Image graded = strongGrade().apply(moved, 1.0, flat(2, 2, {1, 1, 1}));
    EXPECT_EQ(graded.extent(), moved.extent());
    // The mask is stretched over the moved picture, so every pixel is held, right up to the edges.
    for (auto [x, y] : {std::pair{35, 45}, {30, 40}, {39, 49}, {30, 49}})
        expectNear(sampleAt(graded, x, y), sky, 1e-5f);
}

TEST(HoldMask, IsWhiteWithoutSkinOrHold)
{
    const Rect extent = Rect::ofSize(30, 20);
    for (RGB s : samples(holdMask(std::nullopt, 0.8, extent))) expectNear(s, {1, 1, 1}, 0);
    for (RGB s : samples(holdMask(flat(3, 2, {1, 1, 1}), 0.0, extent))) expectNear(s, {1, 1, 1}, 0);
    EXPECT_EQ(holdMask(std::nullopt, 0.8, extent).extent(), extent);
}

TEST(HoldMask, LetsThroughWhatTheHoldLeavesOfSkin)
{
    const Rect extent = Rect::ofSize(40, 20);
    const Image skin = picture(4, 2, [](int x, int) { return x < 2 ? RGB{1, 1, 1} : RGB{0, 0, 0}; });
    const Image mask = holdMask(skin, 0.7, extent);
    EXPECT_EQ(mask.extent(), extent);
    EXPECT_NEAR(sampleAt(mask, 0, 0).r, 0.3f, 1e-5f);
    EXPECT_NEAR(sampleAt(mask, 5, 19).r, 0.3f, 1e-5f);
    EXPECT_NEAR(sampleAt(mask, 39, 19).r, 1.0f, 1e-5f);
}

TEST(WearColour, AddsTheChangeThroughTheMask)
{
    const Image base = flat(8, 8, {0.5f, 0.9f, 0.1f});
    const Image graded = flat(8, 8, {0.7f, 1.0f, 0.0f});
    const Image change = colourChange(graded, base, base.extent());
    expectNear(sampleAt(wearColour(base, change, flat(8, 8, {})), 2, 2), {0.5f, 0.9f, 0.1f}, 1e-6f);
    expectNear(sampleAt(wearColour(base, change, flat(8, 8, {1, 1, 1})), 2, 2), {0.7f, 1.0f, 0.0f}, 1e-6f);
    expectNear(sampleAt(colourLayer(change), 2, 2), {0.6f, 0.55f, 0.45f}, 1e-6f);
}

TEST(SkinMask, MarksSkinAtNoMoreThan1024Pixels)
{
    const RenderContext context;
    auto mask = GradeLooks::skinMask(halfSkin(2000, 1000), context, nullptr);
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->extent(), Rect::ofSize(1024, 512));
    EXPECT_NEAR(sampleAt(*mask, 100, 256).r, 1.0f, 1e-6f);
    EXPECT_LT(sampleAt(*mask, 900, 256).r, 0.01f);
    // The edge is softened.
    const float edge = sampleAt(*mask, 512, 256).r;
    EXPECT_GT(edge, 0.05f);
    EXPECT_LT(edge, 0.95f);

    auto small = GradeLooks::skinMask(halfSkin(80, 60), context, nullptr);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->extent(), Rect::ofSize(80, 60));
    EXPECT_FALSE(GradeLooks::skinMask(Image(), context, nullptr));
    EXPECT_FALSE(GradeLooks::skinMask(flat(10, 10, skinTone).cropped(Rect::ofSize(0, 10)), context, nullptr));
}

TEST(SkinMask, GreysScoreAsLittleSkin)
{
    auto mask = GradeLooks::skinMask(flat(64, 64, {0.5f, 0.5f, 0.5f}), RenderContext(), nullptr);
    ASSERT_TRUE(mask);
    EXPECT_NEAR(sampleAt(*mask, 32, 32).r, 0.375f, 1.0f / 255);
}

// Finds people in the top half of any picture.
class TopHalfSegmenter : public PersonSegmenter {
public:
    std::optional<Bitmap> personMask(const Bitmap& picture) const override
    {
        seenFormat = picture.format();
        ++calls;
        auto mask = Bitmap::allocate(16, 16, PixelFormat::Gray8);
        for (int y = 0; y < 8; ++y) std::memset(mask->mutableRow(y), 255, 16);
        return mask;
    }
    mutable PixelFormat seenFormat = PixelFormat::Gray8;
    mutable std::atomic<int> calls = 0;
};

// Keeps the first pixel of the picture it is shown.
class RecordingSegmenter : public PersonSegmenter {
public:
    std::optional<Bitmap> personMask(const Bitmap& picture) const override
    {
        std::memcpy(seen, picture.data(), 3);
        return std::nullopt;
    }
    mutable uint8_t seen[3] = {};
};

class FailingSegmenter : public PersonSegmenter {
public:
    std::optional<Bitmap> personMask(const Bitmap&) const override { return std::nullopt; }
};

TEST(SkinMask, KeepsOnlySkinOnPeopleWhenASegmenterFindsThem)
{
    const RenderContext context;
    TopHalfSegmenter segmenter;
    auto mask = GradeLooks::skinMask(flat(200, 200, skinTone), context, &segmenter);
    ASSERT_TRUE(mask);
    EXPECT_EQ(segmenter.seenFormat, PixelFormat::RGBA8);
    EXPECT_NEAR(sampleAt(*mask, 100, 20).r, 1.0f, 1e-6f);
    EXPECT_LT(sampleAt(*mask, 100, 180).r, 0.01f);

    FailingSegmenter failing;
    auto fallback = GradeLooks::skinMask(flat(200, 200, skinTone), context, &failing);
    ASSERT_TRUE(fallback);
    EXPECT_NEAR(sampleAt(*fallback, 100, 180).r, 1.0f, 1e-6f);
}

TEST(SkinMask, AMaskMadeWhenReadFindsPeopleOnlyThenAndMatchesOneMadeAtOnce)
{
    const auto before = PersonSegmenter::installed();
    const auto segmenter = std::make_shared<TopHalfSegmenter>();
    PersonSegmenter::install(segmenter);
    const Image picture = halfSkin(300, 200);
    const auto later = GradeLooks::skinMaskWhenRead(picture, RenderContext());
    EXPECT_EQ(segmenter->calls, 0);
    const auto atOnce = GradeLooks::skinMask(picture, RenderContext(), segmenter.get());
    ASSERT_TRUE(later && atOnce && later->extent() == atOnce->extent());
    for (const auto& [x, y] : std::initializer_list<std::pair<int, int>>{{20, 20}, {20, 180}, {150, 20}, {280, 100}})
        EXPECT_EQ(sampleAt(*later, x, y).r, sampleAt(*atOnce, x, y).r) << x << "," << y;
    EXPECT_EQ(segmenter->calls, 2);
    PersonSegmenter::install(before);
}

TEST(SkinMask, ShowsTheSegmenterSRGBWhenTheDocumentIsInAnotherSpace)
{
    const RenderContext context;
    const RGB colour{0.8f, 0.4f, 0.2f};
    const auto p3 = RGBSpace::of(ColourSpace::displayP3());
    ASSERT_TRUE(p3);
    const RGB inSRGB = sampleAt(*p3->toSRGB(flat(8, 8, colour)), 4, 4);
    ASSERT_GT(inSRGB.r - colour.r, 0.02f) << "the colour differs between the two spaces";

    RecordingSegmenter segmenter;
    ASSERT_TRUE(GradeLooks::skinMask(flat(64, 64, colour), context, &segmenter, &*p3));
    EXPECT_NEAR(segmenter.seen[0], inSRGB.r * 255, 1.0);
    EXPECT_NEAR(segmenter.seen[1], inSRGB.g * 255, 1.0);
    EXPECT_NEAR(segmenter.seen[2], inSRGB.b * 255, 1.0);
    // An sRGB document is shown as it is.
    ASSERT_TRUE(GradeLooks::skinMask(flat(64, 64, colour), context, &segmenter));
    EXPECT_NEAR(segmenter.seen[0], colour.r * 255, 1.0);
}

} // namespace
} // namespace oxel
