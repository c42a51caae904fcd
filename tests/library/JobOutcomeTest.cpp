#include "develop/PictureHelpers.h"

#include "develop/DevelopOrder.h"
#include "library/JobOutcome.h"
#include "library/TransferNote.h"

#include <gtest/gtest.h>

namespace oxel {
namespace {

// The library keeps more than the engine reads; what it keeps besides must not change the picture.
TEST(JobOutcome, DevelopsAsTheDevelopInputItCarries)
{
    const Image render = test::picture(40, 30, [](int x, int y) { return RGB{x / 40.0f, y / 30.0f, 0.5f}; });
    JobOutcome outcome("job-3", render, DetailTransfer(render, render, ColourSpace::sRGB()));
    outcome.grainLevel = 60;
    const DevelopInput input = outcome;

    outcome.planDecline = "declined";
    outcome.lookThumbs.push_back(PictureHandle({4, 4, [] { return Bitmap::allocate(4, 4, PixelFormat::RGBX8); }}));

    const auto fromOutcome = renderDeveloped(outcome, {false, 1.0, 1.0, true});
    const auto fromInput = renderDeveloped(input, {false, 1.0, 1.0, true});
    ASSERT_TRUE(fromOutcome && fromInput);
    EXPECT_EQ(test::largestDifference(Image::fromBitmap(*fromOutcome), Image::fromBitmap(*fromInput)), 0);
}

// Delivery and the library's restore give a result the same note, from this one rule.
TEST(TransferNote, SaysWhyTheDetailWasNotBlendedIn)
{
    const Image render = test::picture(8, 8, [](int, int) { return RGB{0.5f, 0.5f, 0.5f}; });
    JobOutcome outcome("job-4", render, DetailTransfer(render, render, ColourSpace::sRGB()));
    const float limit = outcome.transfer.limits().refineDivergenceLimit;
    EXPECT_EQ(transferNote(outcome), "could not match the render to the original · showing the render");

    // A restored result reads the verdict its record kept, without planning again.
    outcome.previewPlan = PreviewPlan::deferred({true, limit}, {});
    EXPECT_EQ(transferNote(outcome), std::nullopt) << "at the limit the detail still blends";
    TransferPlan diverged;
    diverged.divergence = limit + 0.01f;
    outcome.previewPlan = diverged;
    EXPECT_EQ(transferNote(outcome), "moved too much to blend · full send only");

    outcome.colourOnly = true;
    EXPECT_EQ(transferNote(outcome), std::nullopt) << "graded here: no render to blend";
    outcome.previewPlan = {};
    EXPECT_EQ(transferNote(outcome), std::nullopt);
}

} // namespace
} // namespace oxel
