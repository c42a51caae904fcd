#include "develop/PictureHelpers.h"

#include "develop/grade/GradeKernels.h"
#include "develop/grade/GradeTheory.h"

#include <gtest/gtest.h>

#include <vector>

namespace oxel {
namespace {

using namespace GradeKernels;
using test::expectNear;

RGB fromHSV(float hueDegrees, float saturation, float value)
{
    return hsv2rgb(HSVLanes<lanes::F4>{lanes::splat<lanes::F4>(hueDegrees / 360), lanes::splat<lanes::F4>(saturation),
                                       lanes::splat<lanes::F4>(value)})
        .at(0);
}

float hueDegrees(RGB c)
{
    return rgb2hsv(RGBLanes<lanes::F4>::splat(c)).h[0] * 360;
}

GradeUniforms oneMove(float from, float to, float width)
{
    GradeUniforms u;
    u.moves[0] = {from, to, width, 1};
    u.moveCount = 1;
    return u;
}

TEST(GradeKernel, IdentityUniformsLeaveInRangePixelsAlone)
{
    const GradeUniforms identity;
    for (RGB c : {RGB{0, 0, 0}, RGB{1, 1, 1}, RGB{0.2f, 0.5f, 0.9f}, RGB{0.73f, 0.1f, 0.33f}})
        expectNear(grade(c, {}, identity), c, 1e-6f);
    // Out-of-range values are brought back into 0...1.
    expectNear(grade({1.4f, -0.2f, 0.5f}, {}, identity), {1, 0, 0.5f}, 1e-6f);
}

TEST(GradeKernel, GradesRunsOfPixelsLikeSinglePixels)
{
    GradeUniforms u = oneMove(30, 60, 40);
    u.gain = {1.1f, 0.95f, 0.9f};
    u.hold = 0.5f;
    std::vector<RGB> pixels, mask;
    for (int i = 0; i < 11; ++i) {
        pixels.push_back(fromHSV(float(i) * 33, 0.1f + 0.08f * float(i), 0.3f + 0.05f * float(i)));
        mask.push_back(RGB{float(i) / 10, 0, 0});
    }
    std::vector<RGB> out(pixels.size());
    gradeSpan(pixels.data(), mask.data(), out.data(), pixels.size(), u);
    for (size_t i = 0; i < pixels.size(); ++i) expectNear(out[i], grade(pixels[i], mask[i], u), 1e-6f);
    gradeSpan(pixels.data(), nullptr, out.data(), pixels.size(), u);
    for (size_t i = 0; i < pixels.size(); ++i) expectNear(out[i], grade(pixels[i], {}, u), 1e-6f);
}

TEST(GradeKernel, HueMovesSpareGreyAndWeighColourBySaturation)
{
    const GradeUniforms u = oneMove(0, 60, 45);
    expectNear(grade({0.5f, 0.5f, 0.5f}, {}, u), {0.5f, 0.5f, 0.5f}, 1e-6f);
    // Saturation 0.15 already carries the full weight: red moves all the way to yellow.
    EXPECT_NEAR(hueDegrees(grade(fromHSV(0, 0.15f, 0.8f), {}, u)), 60, 0.05f);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(0, 0.9f, 0.8f), {}, u)), 60, 0.05f);
    // Half the saturation threshold, half the move.
    EXPECT_NEAR(hueDegrees(grade(fromHSV(0, 0.075f, 0.8f), {}, u)), 30, 0.2f);
}

TEST(GradeKernel, HueMovesFadeOutAtTheirWidth)
{
    const GradeUniforms u = oneMove(100, 140, 40);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(140, 0.8f, 0.8f), {}, u)), 140, 0.05f);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(60, 0.8f, 0.8f), {}, u)), 60, 0.05f);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(120, 0.8f, 0.8f), {}, u)), 140, 0.05f); // half weight, half of +40
    EXPECT_NEAR(hueDegrees(grade(fromHSV(100, 0.8f, 0.8f), {}, u)), 140, 0.05f);
}

TEST(GradeKernel, HueMovesWrapAcrossRed)
{
    const GradeUniforms u = oneMove(350, 10, 45);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(350, 0.8f, 0.8f), {}, u)), 10, 0.05f);
    EXPECT_NEAR(hueDegrees(grade(fromHSV(5, 0.8f, 0.8f), {}, u)), 5 + 20 * (1 - 15.0f / 45), 0.05f);
}

TEST(GradeKernel, AnyMovePassesEveryPixelThroughHSV)
{
    // Far from the move, the brightest channel is still capped at 1 by the HSV round trip, before
    // the gain: halving it gives 0.5, where without a move it gives 0.8.
    const RGB bright{1.6f, 0.4f, 0.2f};
    const GradeUniforms dim = [] {
        GradeUniforms v = oneMove(200, 200, 10);
        v.gain = {0.5f, 0.5f, 0.5f};
        return v;
    }();
    GradeUniforms dimNoMove = dim;
    dimNoMove.moveCount = 0;
    EXPECT_NEAR(grade(bright, {}, dim).r, 0.5f, 1e-5f);
    EXPECT_NEAR(grade(bright, {}, dimNoMove).r, 0.8f, 1e-5f);
}

TEST(GradeKernel, TheSCurveKeepsItsEndsAndSetsItsSlopes)
{
    GradeUniforms u;
    u.contrast = 1.3f;
    const auto grey = [&](float x) { return grade({x, x, x}, {}, u).r; };
    EXPECT_NEAR(grey(0), 0, 1e-6f);
    EXPECT_NEAR(grey(1), 1, 1e-6f);
    EXPECT_NEAR(grey(0.5f), 0.5f, 1e-6f);
    const float h = 1e-3f;
    EXPECT_NEAR((grey(0.5f + h) - grey(0.5f - h)) / (2 * h), 1.3f, 1e-2f);
    EXPECT_NEAR((grey(h) - grey(0)) / h, 0.4f, 1e-2f);
    EXPECT_NEAR((grey(1) - grey(1 - h)) / h, 0.4f, 1e-2f);
}

TEST(GradeKernel, LiftActsInTheShadowsAndGainInTheHighlights)
{
    GradeUniforms u;
    u.lift = {0.1f, 0, 0};
    EXPECT_NEAR(grade({0, 0, 0}, {}, u).r, 0.1f, 1e-6f);
    EXPECT_NEAR(grade({1, 1, 1}, {}, u).r, 1.0f, 1e-6f);
    u = {};
    u.gain = {0.9f, 1, 1};
    u.gamma = {1, 2, 1};
    const RGB out = grade({1, 0.5f, 0}, {}, u);
    EXPECT_NEAR(out.r, 0.9f, 1e-6f);
    EXPECT_NEAR(out.g, 0.25f, 1e-6f);
    EXPECT_NEAR(out.b, 0, 1e-6f);
}

TEST(GradeKernel, ZoneSaturationFollowsLuminance)
{
    GradeUniforms u;
    u.satShadows = 0.5f;
    u.satHighlights = 0.5f;
    // Mid-tones lie in neither zone.
    const RGB mid{0.6f, 0.45f, 0.4f};
    expectNear(grade(mid, {}, u), mid, 1e-6f);
    const RGB dark{0.12f, 0.02f, 0.02f};
    const RGB graded = grade(dark, {}, u);
    EXPECT_LT(graded.r - graded.g, dark.r - dark.g);
}

TEST(GradeKernel, TheMaskHoldsItsShareOfTheGradeOff)
{
    GradeUniforms u;
    u.gain = {0.5f, 0.5f, 0.5f};
    u.hold = 1;
    const RGB c{0.8f, 0.6f, 0.4f};
    expectNear(grade(c, {1, 1, 1}, u), c, 1e-6f);
    u.hold = 0.7f;
    expectNear(grade(c, {1, 1, 1}, u), c + (c * 0.5f - c) * 0.3f, 1e-6f);
    expectNear(grade(c, {0, 0, 0}, u), c * 0.5f, 1e-6f);
    // A held pixel is still brought into range.
    u.hold = 1;
    expectNear(grade({1.5f, 0.5f, -0.5f}, {1, 1, 1}, u), {1, 0.5f, 0}, 1e-6f);
}

TEST(SkinChromaKernel, ScoresSkinTonesAndNotGreysOrRed)
{
    for (float v : {0.0f, 0.3f, 1.0f}) EXPECT_NEAR(skinChroma({v, v, v}).r, 0.375f, 1e-4f);
    EXPECT_EQ(skinChroma({230 / 255.0f, 180 / 255.0f, 150 / 255.0f}).r, 1.0f);
    EXPECT_EQ(skinChroma({1, 0, 0}).r, 0.0f);
}

TEST(ColourKernels, EncodeWearAndHoldChanges)
{
    expectNear(colourLayer({0, 0, 0}), {0.5f, 0.5f, 0.5f}, 1e-7f);
    expectNear(colourLayer({1, -1, 3}), {1, 0, 1}, 1e-7f);
    expectNear(colourLayer({0.2f, -0.2f, 0}), {0.6f, 0.4f, 0.5f}, 1e-6f);

    const RGB p{0.5f, 0.9f, 0.1f}, d{0.2f, 0.3f, -0.3f};
    expectNear(wearColour(p, d, {0, 0, 0}), p, 1e-7f);
    expectNear(wearColour(p, d, {1, 1, 1}), {0.7f, 1, 0}, 1e-6f);
    expectNear(wearColour(p, d, {0.5f, 0.5f, 0.5f}), {0.6f, 0.95f, 0.05f}, 1e-6f);

    EXPECT_EQ(holdMask({1, 1, 1}, 0).r, 1);
    EXPECT_NEAR(holdMask({1, 1, 1}, 0.7f).r, 0.3f, 1e-6f);
    EXPECT_NEAR(holdMask({0.5f, 0.5f, 0.5f}, 0.8f).r, 0.6f, 1e-6f);
    EXPECT_EQ(holdMask({0, 0, 0}, 1).r, 1);
    expectNear(colourChange({0.5f, 0.2f, 1}, {0.25f, 0.5f, 1}), {0.25f, -0.3f, 0}, 1e-6f);
}

TEST(HSVConversion, RoundTripsColours)
{
    for (RGB c : {RGB{0.9f, 0.2f, 0.1f}, RGB{0.1f, 0.7f, 0.3f}, RGB{0.3f, 0.2f, 0.95f}, RGB{0.5f, 0.5f, 0.5f}})
        expectNear(hsv2rgb(rgb2hsv(RGBLanes<lanes::F4>::splat(c))).at(0), c, 1e-5f);
    EXPECT_NEAR(hueDelta(350, 10), 20, 1e-5f);
    EXPECT_NEAR(hueDelta(10, 350), -20, 1e-5f);
    EXPECT_NEAR(hueDelta(0, 180), -180, 1e-5f);
}

} // namespace
} // namespace oxel
