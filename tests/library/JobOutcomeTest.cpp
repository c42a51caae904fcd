#include "develop/PictureHelpers.h"

#include "develop/DevelopOrder.h"
#include "library/JobOutcome.h"

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

    const auto fromOutcome = renderDeveloped(outcome, false, 1.0, 1.0, true);
    const auto fromInput = renderDeveloped(input, false, 1.0, 1.0, true);
    ASSERT_TRUE(fromOutcome && fromInput);
    EXPECT_EQ(test::largestDifference(Image::fromBitmap(*fromOutcome), Image::fromBitmap(*fromInput)), 0);
}

} // namespace
} // namespace oxel
