#include "develop/ScenePictures.h"

#include "develop/transfer/DetailTransfer.h"
#include "develop/transfer/TransferContext.h"
#include "develop/transfer/TransferKernels.h"
#include "imaging/Filters.h"
#include "imaging/Kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace oxel {
namespace {

using testing::meanAbsoluteDifference;
using testing::pixelsOf;
using testing::Scene;

constexpr int originalWidth = 600, originalHeight = 400;
constexpr int renderWidth = 300, renderHeight = 200;

class DetailTransferTest : public ::testing::Test {
protected:
    static DetailTransfer transfer(TransferLimits limits = {})
    {
        return DetailTransfer(testing::original(originalWidth, originalHeight),
                              testing::relitRender(renderWidth, renderHeight), ColourSpace::sRGB(), limits);
    }
};

TEST_F(DetailTransferTest, PlansTheSameSceneAtTheRendersSize)
{
    const auto result = transfer().plan(false, true);
    ASSERT_TRUE(result) << result.decline->description();
    const TransferPlan& plan = *result.plan;
    EXPECT_FALSE(plan.upscaled);
    EXPECT_EQ(plan.target, Rect::ofSize(renderWidth, renderHeight));
    EXPECT_EQ(plan.src.extent(), plan.target);
    EXPECT_EQ(plan.renderUp.extent(), plan.target);
    EXPECT_GT(plan.structure, 0.8f);
    ASSERT_EQ(plan.turns.size(), 4u);
    EXPECT_EQ(plan.turns[0], plan.structure);
    EXPECT_GT(plan.correlation, 0.5f);
    EXPECT_LE(plan.divergence, 0.25f);
}

TEST_F(DetailTransferTest, UpscalesOnlyWhenAskedAllowedAndMoreThanFivePercentWider)
{
    EXPECT_TRUE(transfer().plan(true, false).plan->upscaled);
    EXPECT_EQ(transfer().plan(true, false).plan->target, Rect::ofSize(originalWidth, originalHeight));
    EXPECT_FALSE(transfer().plan(false, false).plan->upscaled);

    TransferLimits switchedOff;
    switchedOff.detailTransferEnabled = false;
    const auto notAllowed = transfer(switchedOff).plan(true, true);
    ASSERT_TRUE(notAllowed);
    EXPECT_FALSE(notAllowed.plan->upscaled);

    // Exactly 5 % wider stays at the render's size, the original scaled down to it.
    const DetailTransfer justWider(testing::original(420, 280), testing::relitRender(400, 280), ColourSpace::sRGB());
    const auto plan = justWider.plan(true, true);
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan.plan->upscaled);
    EXPECT_EQ(plan.plan->src.extent(), Rect::ofSize(400, 280));
}

TEST_F(DetailTransferTest, DeclinesAnEmptyRender)
{
    const DetailTransfer noRender(testing::original(60, 40),
                                  Image::constant({0.5f, 0.5f, 0.5f}).cropped(Rect::ofSize(0, 40)),
                                  ColourSpace::sRGB());
    const auto result = noRender.plan(false, true);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.decline->kind, TransferDecline::Kind::noRender);
    EXPECT_EQ(result.decline->description(), "no render");
}

TEST_F(DetailTransferTest, DeclinesARenderOfAnotherScene)
{
    const DetailTransfer other(testing::original(originalWidth, originalHeight, Scene{1}),
                               testing::relitRender(renderWidth, renderHeight, Scene{3}), ColourSpace::sRGB());
    const auto result = other.plan(false, true);
    ASSERT_FALSE(result);
    const TransferDecline& decline = *result.decline;
    EXPECT_EQ(decline.kind, TransferDecline::Kind::notSameScene);
    EXPECT_LE(decline.structure, 0.1f);
    ASSERT_EQ(decline.turns.size(), 4u);
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "not the same photograph (structure %.3f, turns %.3f %.3f %.3f %.3f, luma %.3f)", decline.structure,
                  decline.turns[0], decline.turns[1], decline.turns[2], decline.turns[3], decline.correlation);
    EXPECT_EQ(decline.description(), expected);
}

TEST_F(DetailTransferTest, DeclinesABlankRender)
{
    // A render of one flat grey has no edges to agree with: no structure at all, at any size.
    for (const auto& [width, height] : {std::pair{renderWidth, renderHeight}, {333, 777}}) {
        const DetailTransfer blank(testing::original(originalWidth, originalHeight),
                                   Image::constant({0.4f, 0.4f, 0.4f}).cropped(Rect::ofSize(width, height)),
                                   ColourSpace::sRGB());
        const auto result = blank.plan(false, true);
        ASSERT_FALSE(result) << width;
        EXPECT_EQ(result.decline->structure, -2.0f) << width;
    }
}

TEST_F(DetailTransferTest, DeclinesAStructureEqualToTheLimit)
{
    const float structure = transfer().plan(false, false).plan->structure;
    TransferLimits limits;
    limits.sameSceneLimit = structure;
    const auto result = transfer(limits).plan(false, false);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.decline->kind, TransferDecline::Kind::notSameScene);
    EXPECT_EQ(result.decline->structure, structure);
}

TEST_F(DetailTransferTest, DeclinesWhenNoFingerprintCanBeMade)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const DetailTransfer broken(Image::constant({nan, nan, nan}).cropped(Rect::ofSize(60, 40)),
                                testing::relitRender(60, 40), ColourSpace::sRGB());
    const auto result = broken.plan(false, true);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.decline->description(), "not the same photograph (structure -2.000, turns , luma -2.000)");
    // An endless original would make an endless target: it is declined before anything is scaled.
    const DetailTransfer endless(Image::constant({0.5f, 0.5f, 0.5f}), testing::relitRender(60, 40),
                                 ColourSpace::sRGB());
    EXPECT_EQ(endless.plan(true, true).decline->structure, -2.0f);
}

TEST(TransferDeclineTest, DescribesEveryCase)
{
    EXPECT_EQ(TransferDecline::noKernel().description(), "core image kernels failed to compile");
    EXPECT_EQ(TransferDecline::noRender().description(), "no render");
    EXPECT_EQ(TransferDecline::notSameScene(0.05f, {0.05f, -0.1234f, 0.5f, 1.0f}, 0.25f).description(),
              "not the same photograph (structure 0.050, turns 0.050 -0.123 0.500 1.000, luma 0.250)");
}

TEST_F(DetailTransferTest, MovesPicturesToTheOrigin)
{
    const DetailTransfer moved(testing::original(60, 40).translated(-15, 7),
                               testing::relitRender(30, 20).translated(3, 3), ColourSpace::sRGB());
    EXPECT_EQ(moved.original().extent(), Rect::ofSize(60, 40));
    EXPECT_EQ(moved.render().extent(), Rect::ofSize(30, 20));
    const Image endless = Image::constant({0.2f, 0.2f, 0.2f});
    EXPECT_TRUE(DetailTransfer(endless, endless, ColourSpace::sRGB()).original().extent().isInfinite());
}

TEST_F(DetailTransferTest, EffectiveStrengthFollowsTheDivergenceLimit)
{
    TransferPlan plan;
    const DetailTransfer t = transfer();
    plan.divergence = 0.25f;
    EXPECT_EQ(t.effectiveStrength(plan, 0.3f), 0.3f);
    EXPECT_EQ(t.effectiveStrength(plan, -0.5f), 0.0f);
    EXPECT_EQ(t.effectiveStrength(plan, 1.5f), 1.0f);
    EXPECT_EQ(t.effectiveStrength(plan, std::numeric_limits<float>::quiet_NaN()), 1.0f);
    plan.divergence = 0.2501f;
    EXPECT_EQ(t.effectiveStrength(plan, 0.0f), 1.0f);
    EXPECT_EQ(t.effectiveStrength(plan, 0.3f), 1.0f);
}

TEST_F(DetailTransferTest, DivergedPlansCombineAlikeAtEveryStrength)
{
    auto plan = *transfer().plan(false, true).plan;
    plan.divergence = 0.9f;
    const DetailTransfer t = transfer();
    const auto atZero = pixelsOf(*t.combine(plan, 0), renderWidth, renderHeight);
    const auto atOne = pixelsOf(*t.combine(plan, 1), renderWidth, renderHeight);
    EXPECT_EQ(meanAbsoluteDifference(atZero, atOne), 0.0);
}

TEST_F(DetailTransferTest, StrengthOneWearsTheRendersLightWithTheOriginalsDetail)
{
    const DetailTransfer t = transfer();
    const TransferPlan plan = *t.plan(false, true).plan;
    const auto result = pixelsOf(*t.combine(plan, 1), renderWidth, renderHeight);
    const auto render = pixelsOf(plan.renderUp, renderWidth, renderHeight);
    const auto src = pixelsOf(plan.src, renderWidth, renderHeight);
    const auto low = pixelsOf(plan.originalLow, renderWidth, renderHeight);
    // Light: the result's low-pass follows the render, not the original.
    const auto resultLow = pixelsOf(DetailTransfer::gaussianBlur(*t.combine(plan, 1), 4), renderWidth, renderHeight);
    const auto renderLow = pixelsOf(DetailTransfer::gaussianBlur(plan.renderUp, 4), renderWidth, renderHeight);
    const auto originalLow4 = pixelsOf(DetailTransfer::gaussianBlur(plan.src, 4), renderWidth, renderHeight);
    EXPECT_LT(meanAbsoluteDifference(resultLow, renderLow), 0.01);
    EXPECT_GT(meanAbsoluteDifference(originalLow4, renderLow), 0.05);
    // Detail: where nothing clamps, result - render = 0.8 c (src - originalLow) + (render - low) with D.
    double detailAgreement = 0, detailEnergy = 0;
    for (size_t i = 0; i < result.size(); ++i) {
        const float detail = src[i].g - low[i].g;
        const float added = result[i].g - render[i].g;
        detailAgreement += detail * added;
        detailEnergy += detail * detail;
    }
    EXPECT_GT(detailAgreement / detailEnergy, 0.3) << "the original's fine detail must come back";
}

TEST_F(DetailTransferTest, StrengthZeroKeepsTheOriginalWhereTheRenderAgrees)
{
    // A render that only brightens evenly agrees everywhere: strength 0 applies its light only
    // where the edge confidence is low, strength 1 everywhere.
    const Image src = testing::original(renderWidth, renderHeight);
    const Image brighter = applyKernel(
        Rect::ofSize(renderWidth, renderHeight),
        [](RGB c) {
            return c + RGB{0.1f, 0.1f, 0.1f};
        },
        src);
    const DetailTransfer t(src, brighter, ColourSpace::sRGB());
    const TransferPlan plan = *t.plan(false, true).plan;
    const auto soft = pixelsOf(plan.soft, renderWidth, renderHeight);
    const auto conf = pixelsOf(plan.confidence, renderWidth, renderHeight);
    const auto atZero = pixelsOf(*t.combine(plan, 0), renderWidth, renderHeight);
    const auto atOne = pixelsOf(*t.combine(plan, 1), renderWidth, renderHeight);
    const auto renderUp = pixelsOf(plan.renderUp, renderWidth, renderHeight);
    const auto low = pixelsOf(plan.originalLow, renderWidth, renderHeight);
    const auto original = pixelsOf(plan.src, renderWidth, renderHeight);
    double softSum = 0;
    int checked = 0;
    for (size_t i = 0; i < atZero.size(); i += 37) {
        softSum += soft[i].r;
        // Only where no step clamps: p3 = p1 + ((1 - s) + strength s) D.
        const float p1 = low[i].g + 0.8f * conf[i].g * (original[i].g - low[i].g);
        const float light = renderUp[i].g - low[i].g;
        if (p1 + light >= 1.0f || p1 + light <= 0 || p1 <= 0) continue;
        EXPECT_NEAR(atZero[i].g, p1 + (1 - soft[i].r) * light, 1e-4f) << i;
        EXPECT_NEAR(atOne[i].g, p1 + light, 1e-4f) << i;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
    EXPECT_GT(softSum / double((atZero.size() + 36) / 37), 0.9) << "an evenly brightened render agrees";
    const auto brighterPixels = pixelsOf(brighter, renderWidth, renderHeight);
    EXPECT_LT(meanAbsoluteDifference(atOne, brighterPixels), 0.02);
    EXPECT_LT(meanAbsoluteDifference(atZero, original), 0.03);
}

TEST_F(DetailTransferTest, PlansAtBothSizesAgree)
{
    const DetailTransfer t = transfer();
    const TransferPlan preview = *t.plan(false, true).plan;
    const TransferPlan full = *t.plan(true, true).plan;
    ASSERT_TRUE(full.upscaled);
    EXPECT_EQ(preview.structure, full.structure);
    EXPECT_EQ(preview.turns, full.turns);
    EXPECT_EQ(preview.correlation, full.correlation);
    EXPECT_NEAR(preview.divergence, full.divergence, 0.1);

    for (float strength : {0.0f, 0.5f, 1.0f}) {
        const Image fullCombined = *t.combine(full, strength);
        const auto downscaled = pixelsOf(lanczosScaleTransform(fullCombined.clampedToExtent(), 0.5, 1.0)
                                             .cropped(Rect::ofSize(renderWidth, renderHeight)),
                                         renderWidth, renderHeight);
        const auto previewed = pixelsOf(*t.combine(preview, strength), renderWidth, renderHeight);
        EXPECT_LT(meanAbsoluteDifference(downscaled, previewed), 0.02) << strength;
    }
}

TEST_F(DetailTransferTest, LayersStackToTheCombinedPicture)
{
    const DetailTransfer t = transfer();
    const TransferPlan plan = *t.plan(false, true).plan;
    const float strength = 0.4f;
    const auto combined = pixelsOf(*t.combine(plan, strength), renderWidth, renderHeight);
    const auto src = pixelsOf(plan.src, renderWidth, renderHeight);
    const auto low = pixelsOf(plan.originalLow, renderWidth, renderHeight);
    const auto smooth = pixelsOf(*DetailTransfer::smoothMask(plan), renderWidth, renderHeight);
    const auto light = pixelsOf(*DetailTransfer::lightLayer(plan), renderWidth, renderHeight);
    const auto moved = pixelsOf(*DetailTransfer::invertedSoftMask(plan), renderWidth, renderHeight);
    const auto soft = pixelsOf(*DetailTransfer::softMask(plan), renderWidth, renderHeight);
    auto linearLight = [](float base, float layer) { return std::clamp(base + 2 * (layer - 0.5f), 0.0f, 1.0f); };
    double worst = 0;
    for (size_t i = 0; i < combined.size(); ++i) {
        EXPECT_NEAR(moved[i].r + soft[i].r, 1.0f, 1e-6f);
        const float p1 = src[i].g + smooth[i].g * (low[i].g - src[i].g);
        const float p2 = p1 + moved[i].g * (linearLight(p1, light[i].g) - p1);
        const float p3 = p2 + strength * soft[i].g * (linearLight(p2, light[i].g) - p2);
        worst = std::max(worst, double(std::fabs(p3 - combined[i].g)));
    }
    // The light layer stores D / 2 around grey, clamped: only large moves can differ.
    EXPECT_LT(worst, 0.02);
}

TEST_F(DetailTransferTest, MaterialisesWithinOnePixelStep)
{
    const DetailTransfer t = transfer();
    const Image picture = testing::original(70, 30);
    const auto sixteen = t.materialise(picture, true);
    const auto eight = t.materialise(picture, false);
    ASSERT_TRUE(sixteen && eight);
    EXPECT_EQ(sixteen->extent(), Rect::ofSize(70, 30));
    const auto expected = pixelsOf(picture, 70, 30);
    const auto got16 = pixelsOf(*sixteen, 70, 30), got8 = pixelsOf(*eight, 70, 30);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(got16[i].b, std::clamp(expected[i].b, 0.0f, 1.0f), 0.6f / 65535);
        EXPECT_NEAR(got8[i].b, std::clamp(expected[i].b, 0.0f, 1.0f), 0.6f / 255);
    }
    EXPECT_FALSE(t.materialise(picture.cropped(Rect::ofSize(0.4, 30)), true));
}

TEST(DetailTransferMemoryTest, MaterialisesWithinTheMemoryBudget)
{
    const auto at = [](int64_t pixels, bool refine) {
        const auto m = DetailTransfer::materialising(pixels, refine);
        return std::pair{m.scaledPicture, m.masks};
    };
    EXPECT_EQ(at(52'428'800, true), std::pair(true, true));
    EXPECT_EQ(at(52'428'801, true), std::pair(false, true));
    EXPECT_EQ(at(104'857'600, true), std::pair(false, true));
    EXPECT_EQ(at(104'857'601, true), std::pair(false, false));
    EXPECT_EQ(at(1000, false), std::pair(false, false));
}

TEST_F(DetailTransferTest, PlansWithoutRefiningStayLazy)
{
    // Lazy and materialised plans describe the same pictures.
    const DetailTransfer t = transfer();
    const TransferPlan lazy = *t.plan(false, false).plan;
    const TransferPlan refined = *t.plan(false, true).plan;
    EXPECT_LT(meanAbsoluteDifference(pixelsOf(*t.combine(lazy, 0.5f), renderWidth, renderHeight),
                                     pixelsOf(*t.combine(refined, 0.5f), renderWidth, renderHeight)),
              0.003);
    EXPECT_NEAR(lazy.divergence, refined.divergence, 0.02);
}

TEST_F(DetailTransferTest, DivergenceNeedsEnoughEdges)
{
    const DetailTransfer t = transfer();
    const Rect target = Rect::ofSize(100, 100);
    // Edge weight 1, edge confidence 0: every edge disagrees.
    const Image disagreeing = Image::constant({0, 0, 1}).cropped(target);
    EXPECT_EQ(t.divergence(disagreeing, target), 1.0f);
    // Edges over 600 of 65,536 proxy samples: too few to judge.
    const Image fewEdges = applyKernel(
        target, [](RGB c) { return c; }, Image::constant({0, 0, 1}).cropped(Rect{0, 0, 1, 50}));
    EXPECT_EQ(t.divergence(fewEdges, target), 0.0f);
    EXPECT_EQ(t.divergence(Image::constant({1, 1, 0}).cropped(target), target), 0.0f);
    EXPECT_EQ(t.divergence(disagreeing, Rect{}), 0.0f);
    EXPECT_EQ(t.divergence(disagreeing, Rect::infinite()), 0.0f);
}

TEST_F(DetailTransferTest, ConvertsTheRenderIntoAWideDocumentSpace)
{
    const Image original = testing::original(renderWidth, renderHeight);
    const Image render = testing::relitRender(renderWidth, renderHeight);
    const DetailTransfer wide(original, render, ColourSpace::displayP3());
    EXPECT_FALSE(wide.documentIsSRGB());
    // A saturated sRGB red sits inside P3: its encoded red falls.
    const DetailTransfer red(original, Image::constant({1, 0, 0}).cropped(Rect::ofSize(renderWidth, renderHeight)),
                             ColourSpace::displayP3());
    EXPECT_LT(pixelsOf(red.render(), 1, 1)[0].r, 0.95f);
    const auto result = wide.plan(false, true);
    ASSERT_TRUE(result) << result.decline->description();
    EXPECT_NE(result.plan->originalLowClipped.node(), result.plan->originalLow.node());

    const DetailTransfer same(original, render, ColourSpace::sRGB());
    EXPECT_TRUE(same.documentIsSRGB());
    EXPECT_EQ(pixelsOf(same.render(), 5, 5), pixelsOf(render, 5, 5));
    const TransferPlan samePlan = *same.plan(false, true).plan;
    EXPECT_EQ(samePlan.originalLowClipped.node(), samePlan.originalLow.node());

    // A profile that can't be read counts as sRGB.
    const DetailTransfer unreadable(original, render, ColourSpace{"", {1, 2, 3}});
    EXPECT_TRUE(unreadable.documentIsSRGB());
    // Another copy of the sRGB profile (other header bytes, the same colorants and curves) does too,
    // and its render is used as received.
    auto otherCopy = ColourSpace::sRGB().icc;
    ASSERT_GT(otherCopy.size(), 84u);
    otherCopy[80] ^= 0x20; // the profile creator
    const DetailTransfer near(original, render, ColourSpace{"", otherCopy});
    EXPECT_FALSE(isSRGB(near.documentSpace()));
    EXPECT_TRUE(near.documentIsSRGB());
    EXPECT_EQ(pixelsOf(near.render(), 5, 5), pixelsOf(render, 5, 5));
}

// The masks of a wide document compare the original with the render as the document holds it;
// sRGB fits inside P3, so that is the delivered render, whichever way it is read.
TEST_F(DetailTransferTest, WideDocumentMasksAgreeWithTheRenderReadBackFromTheDocument)
{
    const DetailTransfer wide(testing::original(renderWidth, renderHeight),
                              testing::relitRender(renderWidth, renderHeight), ColourSpace::displayP3());
    const TransferPlan plan = *wide.plan(false, true).plan;
    const Image greens = applyKernel(
        plan.target,
        [](RGB o, RGB r) {
            return RGB{o.g, r.g, 0};
        },
        *wide.space().toSRGB(plan.src), *wide.space().toSRGB(plan.renderUp));
    const Image raw = applyKernel(
        plan.target, [](RGB f, RGB c) { return TransferKernels::confidence(f.r, c.r, f.g, c.g); },
        DetailTransfer::gaussianBlur(greens, 2), DetailTransfer::gaussianBlur(greens, 8));
    const auto expected = pixelsOf(DetailTransfer::gaussianBlur(raw, 6), renderWidth, renderHeight);
    const auto planned = pixelsOf(plan.confidence, renderWidth, renderHeight);
    // The plan keeps its masks at 8 bits.
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(planned[i].g, expected[i].g, 2.0 / 255) << i;
}

} // namespace
} // namespace oxel
