#include "develop/PictureHelpers.h"
#include "develop/ScenePictures.h"

#include "develop/DevelopOrder.h"
#include "develop/codecs/JPEGEncoder.h"
#include "develop/colour/RGBSpace.h"
#include "develop/grade/ColourWear.h"
#include "develop/grade/GradeTheory.h"
#include "imaging/PictureCache.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

namespace oxel {
namespace {

using test::expectNear;
using test::flat;
using test::largestDifference;
using test::picture;
using test::samples;

const RGB skinTone{230 / 255.0f, 180 / 255.0f, 150 / 255.0f};

// Hues across, brightness down: every part of a grade shows somewhere.
Image colourful(int width, int height)
{
    return picture(width, height, [=](int x, int y) {
        const float h = float(x) / float(width), v = 0.15f + 0.8f * float(y) / float(height);
        return RGB{v * (0.5f + 0.5f * std::cos(6.2832f * h)), v * (0.5f + 0.5f * std::cos(6.2832f * (h - 0.33f))),
                   v * (0.5f + 0.5f * std::cos(6.2832f * (h - 0.67f)))};
    });
}

SuggestedGrade strongGrade()
{
    SuggestedGrade grade = GradeTheory::grade({GradeTheory::Temperature::warm, GradeTheory::Density::rich}, "");
    grade.gain = {1.12, 1.0, 0.88};
    grade.saturation = 1.3;
    return grade;
}

DevelopInput outcomeOf(const Image& render, const ColourSpace& space = ColourSpace::sRGB())
{
    return DevelopInput("job-1", render, DetailTransfer(render, render, space));
}

DevelopInput gradedOutcome(const Image& render, const ColourSpace& space = ColourSpace::sRGB())
{
    DevelopInput outcome = outcomeOf(render, space);
    outcome.looks = GradeLooks{strongGrade(), std::nullopt, std::nullopt};
    return outcome;
}

Bitmap rendered8(const Image& image)
{
    const Rect e = image.extent();
    return *RenderContext().renderBitmap(image, {0, 0, int64_t(e.width), int64_t(e.height)}, PixelFormat::RGBX8,
                                         ColourSpace::sRGB());
}

// A colour-only result's stored picture, as the result keeps it.
PictureHandle storedPicture(const Bitmap& stored)
{
    return PictureHandle::seeded(stored, {stored.width(), stored.height(), [stored] { return std::optional(stored); }});
}

TEST(DevelopOrder, GradesOnlyAboveTheColourThreshold)
{
    const Image render = colourful(48, 32);
    const DevelopInput outcome = gradedOutcome(render);
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, colourThreshold, false}), render), 0);
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, false}), render), 0);
    EXPECT_GT(largestDifference(develop(outcome, {false, 1, 0.002, false}), render), 0);
    EXPECT_GT(largestDifference(develop(outcome, {false, 1, 1, false}), render), 0.05f);
    // No looks: no grade at any amount.
    EXPECT_EQ(largestDifference(develop(outcomeOf(render), {false, 1, 1, false}), render), 0);
}

TEST(DevelopOrder, GradesAnSRGBDocumentDirectly)
{
    const Image render = colourful(48, 32);
    const DevelopInput outcome = gradedOutcome(render);
    const Image expected = strongGrade().apply(render, 0.7);
    EXPECT_LT(largestDifference(develop(outcome, {false, 1, 0.7, false}), expected), 1e-5f);
}

TEST(DevelopOrder, GradesAWideGamutDocumentInSRGBAndTakesTheChangeBack)
{
    const Image render = colourful(48, 32);
    const DevelopInput outcome = gradedOutcome(render, ColourSpace::displayP3());
    ASSERT_FALSE(outcome.transfer.documentIsSRGB());
    const RGBSpace& p3 = outcome.transfer.space();
    const Image base = outcome.transfer.render();
    const Image working = *p3.toSRGB(base);
    const Image change =
        colourChange(*p3.fromSRGB(strongGrade().apply(working, 1)), *p3.fromSRGB(working), base.extent());
    const Image expected = wearColour(base, change, holdMask(std::nullopt, 0.8, base.extent()));

    const Image developed = develop(outcome, {false, 1, 1, false});
    EXPECT_LT(largestDifference(developed, expected), 2e-4f);
    // Grading the document's own values would have given another picture.
    EXPECT_GT(largestDifference(developed, strongGrade().apply(base, 1)), 0.01f);
    EXPECT_EQ(developed.extent(), base.extent());
}

TEST(DevelopOrder, HoldsSkinOffTheGrade)
{
    const Image render = picture(64, 32, [](int x, int) { return x < 32 ? skinTone : RGB{0.3f, 0.5f, 0.9f}; });
    DevelopInput outcome = gradedOutcome(render);
    outcome.looks->chosen.skinHold = 1;
    outcome.looks->mask = GradeLooks::skinMask(render, RenderContext(), nullptr);
    ASSERT_TRUE(outcome.looks->mask);
    const Image developed = develop(outcome, {false, 1, 1, false});
    expectNear(test::sampleAt(developed, 4, 16), skinTone, 1e-5f);
    const RGB sky = test::sampleAt(developed, 60, 16);
    EXPECT_GT(std::abs(sky.b - 0.9f) + std::abs(sky.r - 0.3f), 0.02f);

    outcome.looks->chosen.skinHold = 0;
    EXPECT_GT(largestDifference(develop(outcome, {false, 1, 1, false}).cropped(Rect::ofSize(8, 32)),
                                render.cropped(Rect::ofSize(8, 32))),
              0.02f);
}

TEST(DevelopOrder, StartsFromTheDetailTransferAtTheLightStrength)
{
    const Image render = testing::relitRender(160, 120);
    DevelopInput outcome("job-2", render, DetailTransfer(testing::original(320, 240), render, ColourSpace::sRGB()));
    PlanResult plan = outcome.transfer.plan(false, true);
    ASSERT_TRUE(plan) << plan.decline->description();
    outcome.previewPlan = *plan.plan;
    for (float strength : {0.2f, 0.9f}) {
        const Image combined = *outcome.transfer.combine(*outcome.previewPlan.made(), strength);
        EXPECT_EQ(largestDifference(develop(outcome, {false, strength, 0, false}), combined), 0);
    }
    EXPECT_GT(largestDifference(develop(outcome, {false, 0.9, 0, false}), render), 0.01f);
    // A colour-only result's stored picture takes the plan's place.
    outcome.colourOnly = true;
    const Bitmap stored = rendered8(render);
    outcome.picture = storedPicture(stored);
    EXPECT_EQ(largestDifference(develop(outcome, {false, 0.9, 0, false}), Image::fromBitmap(stored)), 0);
}

TEST(DevelopOrder, WearsTheRunnerUpOnlyWhenThereIsOne)
{
    const Image render = colourful(32, 24);
    DevelopInput outcome = gradedOutcome(render);
    EXPECT_EQ(largestDifference(develop(outcome, {true, 1, 1, false}), develop(outcome, {false, 1, 1, false})), 0);
    outcome.looks->alternative =
        GradeTheory::grade({GradeTheory::Temperature::cool, GradeTheory::Density::drained}, "");
    EXPECT_GT(largestDifference(develop(outcome, {true, 1, 1, false}), develop(outcome, {false, 1, 1, false})), 0.01f);
}

TEST(DevelopOrder, AddsGrainOnlyWhenItIsNotBakedInAndSwitchedOn)
{
    const Image render = flat(64, 48, {0.5f, 0.5f, 0.5f});
    DevelopInput outcome = outcomeOf(render);
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, true}), render), 0); // no grain level
    outcome.grainLevel = 3;
    EXPECT_GT(largestDifference(develop(outcome, {false, 1, 0, true}), render), 0.01f);
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, false}), render), 0);
    outcome.grainBaked = true;
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, true}), render), 0);
}

DevelopInput colourOnlyOutcome(const Bitmap& stored, const ColourSpace& space = ColourSpace::sRGB())
{
    const Image picture = Image::fromBitmap(stored);
    DevelopInput outcome = outcomeOf(picture, space);
    outcome.jobId = "local-1";
    outcome.colourOnly = true;
    outcome.picture = storedPicture(stored);
    outcome.grainLevel = 2;
    return outcome;
}

TEST(DevelopOrder, ReturnsAStoredColourOnlyPictureWhenThereIsNothingToAdd)
{
    const Bitmap stored = rendered8(colourful(40, 30));
    DevelopInput outcome = colourOnlyOutcome(stored);
    outcome.grainBaked = true;
    auto same = renderDeveloped(outcome, {false, 0.3, 0, true});
    ASSERT_TRUE(same);
    EXPECT_EQ(same->data(), stored.data());

    outcome.grainBaked = false;
    EXPECT_EQ(renderDeveloped(outcome, {false, 0.3, 0, false})->data(), stored.data());
    auto grained = renderDeveloped(outcome, {false, 0.3, 0, true});
    ASSERT_TRUE(grained);
    EXPECT_NE(grained->data(), stored.data());
    EXPECT_EQ(grained->width(), 40);
    EXPECT_EQ(grained->height(), 30);
    EXPECT_NE(std::memcmp(grained->data(), stored.data(), stored.byteCount()), 0);
}

TEST(DevelopOrder, TakesAStoredColourOnlyPictureAsItsValuesStand)
{
    const Bitmap stored = rendered8(colourful(40, 30));
    // In a wide-gamut document the stored values are not converted on the way in.
    const DevelopInput outcome = colourOnlyOutcome(stored, ColourSpace::displayP3());
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, false}), Image::fromBitmap(stored)), 0);
    auto rendered = renderDeveloped(outcome, {false, 1, 0, true});
    ASSERT_TRUE(rendered);
    EXPECT_EQ(rendered->colourSpace(), ColourSpace::displayP3());
}

TEST(DevelopOrder, DevelopsAColourOnlyOutcomeWithoutAPictureFromItsRender)
{
    const Image render = colourful(40, 30);
    DevelopInput outcome = outcomeOf(render);
    outcome.colourOnly = true;
    EXPECT_EQ(largestDifference(develop(outcome, {false, 1, 0, false}), render), 0);
}

TEST(RenderDeveloped, GivesTheSamePictureWhenResultsAreDevelopedSideBySide)
{
    DevelopInput outcome = gradedOutcome(colourful(96, 64), ColourSpace::displayP3());
    outcome.looks->mask = GradeLooks::skinMask(outcome.render, RenderContext(), nullptr);
    outcome.grainLevel = 2;
    const auto shared = std::make_shared<const DevelopInput>(std::move(outcome));
    std::vector<std::optional<Bitmap>> results(6);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&result, shared] { result = renderDeveloped(*shared, {false, 0.7, 0.8, true}); });
    for (auto& thread : threads) thread.join();
    const Bitmap alone = *renderDeveloped(*shared, {false, 0.7, 0.8, true});
    for (const auto& result : results) {
        ASSERT_TRUE(result);
        EXPECT_EQ(std::memcmp(result->data(), alone.data(), alone.byteCount()), 0);
    }
}

TEST(RenderDeveloped, RendersAtFullSizeTaggedWithTheDocumentSpace)
{
    const DevelopInput outcome = gradedOutcome(colourful(41, 23), ColourSpace::displayP3());
    auto bitmap = renderDeveloped(outcome, {false, 1, 1, false});
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 41);
    EXPECT_EQ(bitmap->height(), 23);
    EXPECT_EQ(bitmap->colourSpace(), ColourSpace::displayP3());
    EXPECT_EQ(bytesPerSample(bitmap->format()), 1);
}

Bitmap noise(int width, int height)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0, 1);
    return rendered8(picture(width, height, [&](int, int) { return RGB{unit(random), unit(random), unit(random)}; }));
}

TEST(DevelopedJPEG, StepsDownInQualityUntilTheBytesFit)
{
    const Bitmap bitmap = noise(128, 96);
    std::vector<std::vector<uint8_t>> steps;
    for (double q : reportJPEGQualities) steps.push_back(*encodeJPEG(bitmap, jpegQuality(q), bitmap.colourSpace().icc));
    for (size_t i = 1; i < steps.size(); ++i) ASSERT_LT(steps[i].size(), steps[i - 1].size());

    EXPECT_EQ(jpegWithinLimit(bitmap, reportJPEGLimit), steps[0]);
    // A JPEG exactly at the limit is taken; one byte more moves on to the next step.
    EXPECT_EQ(jpegWithinLimit(bitmap, steps[1].size()), steps[1]);
    EXPECT_EQ(jpegWithinLimit(bitmap, steps[1].size() - 1), steps[2]);
    EXPECT_EQ(jpegWithinLimit(bitmap, steps[3].size()), steps[3]);
    EXPECT_FALSE(jpegWithinLimit(bitmap, steps[3].size() - 1));
}

struct JPEGSize {
    int width = 0, height = 0;
};

JPEGSize sizeOf(const std::vector<uint8_t>& jpeg)
{
    tjhandle handle = tjInitDecompress();
    JPEGSize size;
    int subsampling = 0, colourspace = 0;
    tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &size.width, &size.height, &subsampling, &colourspace);
    tjDestroy(handle);
    return size;
}

TEST(DevelopedJPEG, ReducesToTheLongEdgeButNeverEnlarges)
{
    const DevelopInput large = gradedOutcome(colourful(400, 300));
    auto reduced = developedJPEG(large, {false, 1, 1, false}, 204.8);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(sizeOf(*reduced).width, 204);
    EXPECT_EQ(sizeOf(*reduced).height, 153);

    auto whole = developedJPEG(gradedOutcome(colourful(100, 80)), {false, 1, 1, false}, 2048);
    ASSERT_TRUE(whole);
    EXPECT_EQ(sizeOf(*whole).width, 100);
    EXPECT_EQ(sizeOf(*whole).height, 80);

    // 100 / 161 x 161 falls just short of 100 in floating point; the long edge must still be 100.
    auto uneven = developedJPEG(gradedOutcome(colourful(161, 120)), {false, 1, 1, false}, 100);
    ASSERT_TRUE(uneven);
    EXPECT_EQ(sizeOf(*uneven).width, 100);
    EXPECT_EQ(sizeOf(*uneven).height, 74);

    const DevelopInput empty = outcomeOf(colourful(10, 10).cropped(Rect::ofSize(0, 10)));
    EXPECT_FALSE(developedJPEG(empty, {false, 1, 1, false}, 2048));
    for (double edge : {0.0, -5.0, std::nan("")}) EXPECT_FALSE(developedJPEG(large, {false, 1, 1, false}, edge));
}

TEST(DevelopedJPEG, KeepsTheEdgesOfAReducedPictureClean)
{
    // Scaling without repeating the edges would darken the border of a white picture.
    const DevelopInput white = outcomeOf(flat(300, 200, {1, 1, 1}));
    auto jpeg = developedJPEG(white, {false, 1, 0, false}, 100);
    ASSERT_TRUE(jpeg);
    tjhandle handle = tjInitDecompress();
    std::vector<uint8_t> rgb(100 * 66 * 3);
    ASSERT_EQ(tjDecompress2(handle, jpeg->data(), jpeg->size(), rgb.data(), 100, 0, 66, TJPF_RGB, 0), 0);
    tjDestroy(handle);
    EXPECT_GE(rgb[0], 250);
    EXPECT_GE(rgb[rgb.size() - 1], 250);
}

TEST(LookThumbnails, ShrinksToThe240EdgeAndNeverEnlarges)
{
    GradeLooks looks{strongGrade(), std::nullopt, std::nullopt};
    const RenderContext context;
    auto one = lookThumbnails(colourful(480, 320), looks, context);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].width(), 240);
    EXPECT_EQ(one[0].height(), 160);
    EXPECT_EQ(one[0].format(), PixelFormat::RGBA8);
    EXPECT_EQ(one[0].colourSpace().name, ColourSpace::sRGB().name);

    looks.alternative = GradeTheory::grade({GradeTheory::Temperature::cool, GradeTheory::Density::rich}, "");
    auto two = lookThumbnails(colourful(200, 100), looks, context);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].width(), 200);
    EXPECT_EQ(two[0].height(), 100);
    // The chosen look comes first.
    const Bitmap chosen =
        *context.renderBitmap(looks.chosen.apply(colourful(200, 100), 1.0), {0, 0, 200, 100}, PixelFormat::RGBA8);
    EXPECT_EQ(std::memcmp(two[0].data(), chosen.data(), chosen.byteCount()), 0);
    EXPECT_NE(std::memcmp(two[1].data(), chosen.data(), chosen.byteCount()), 0);

    // 240 / 298 x 298 falls just short of 240 in floating point; the long edge must still be 240.
    auto uneven = lookThumbnails(colourful(298, 223), looks, context);
    ASSERT_EQ(uneven.size(), 2u);
    EXPECT_EQ(uneven[0].width(), 240);
    EXPECT_EQ(uneven[0].height(), 179);

    EXPECT_TRUE(lookThumbnails(colourful(10, 10).cropped(Rect::ofSize(0, 10)), looks, context).empty());
}

TEST(LookThumbnails, KeptThumbnailsAreMadeAgainWithTheSamePixels)
{
    GradeLooks looks{strongGrade(),
                     GradeTheory::grade({GradeTheory::Temperature::cool, GradeTheory::Density::rich}, ""),
                     std::nullopt};
    const RenderContext context;
    const auto made = lookThumbnails(colourful(300, 200), looks, context);
    const auto kept = keptLookThumbnails(colourful(300, 200), looks, context);
    ASSERT_EQ(kept.size(), 2u);
    PictureCache::shared().clear();
    for (size_t i = 0; i < kept.size(); ++i) {
        const auto again = kept[i].bitmap();
        ASSERT_TRUE(again);
        EXPECT_EQ(kept[i].width(), made[i].width());
        EXPECT_EQ(std::memcmp(again->data(), made[i].data(), made[i].byteCount()), 0) << i;
    }
}

TEST(DeriveRefined, DrainsSaturationSlightlyOrWholly)
{
    const Bitmap input = rendered8(colourful(32, 16));
    const Bitmap refined = deriveRefined(input, false);
    EXPECT_EQ(refined.format(), PixelFormat::RGBA8);
    EXPECT_EQ(refined.colourSpace().name, ColourSpace::sRGB().name);
    ASSERT_EQ(refined.width(), 32);
    const RGB before = test::pixelOf(input, 0, 15), after = test::pixelOf(refined, 0, 15);
    EXPECT_LT(after.r - after.b, before.r - before.b);
    EXPECT_GT(after.r - after.b, 0.9f * (before.r - before.b));

    const Bitmap grey = deriveRefined(input, true);
    for (int x = 0; x < 32; x += 5) {
        const RGB p = test::pixelOf(grey, x, 10);
        EXPECT_NEAR(p.r, p.g, 1.5f / 255);
        EXPECT_NEAR(p.g, p.b, 1.5f / 255);
    }
}

} // namespace
} // namespace oxel
