#include "develop/PictureHelpers.h"

#include "develop/colour/RGBSpace.h"
#include "develop/grade/ColourWear.h"
#include "develop/grade/GradeTheory.h"
#include "develop/grade/GradeWear.h"

#include <gtest/gtest.h>

#include <cmath>

namespace oxel {
namespace {

using test::largestDifference;
using test::picture;
using test::samples;

Image hues(int width, int height)
{
    return picture(width, height, [=](int x, int y) {
        const float h = float(x) / float(width), v = 0.1f + 0.9f * float(y) / float(height);
        return RGB{v * (0.5f + 0.5f * std::cos(6.2832f * h)), v * (0.5f + 0.5f * std::cos(6.2832f * (h - 0.33f))),
                   v * (0.5f + 0.5f * std::cos(6.2832f * (h - 0.67f)))};
    });
}

Image leftHalfHeld(int width, int height)
{
    return picture(width, height, [=](int x, int) { return x < width / 2 ? RGB{0.2f, 0.2f, 0.2f} : RGB{1, 1, 1}; });
}

SuggestedGrade sunRich()
{
    return GradeTheory::grade({GradeTheory::Temperature::sun, GradeTheory::Density::rich}, "");
}

TEST(GradeWear, IsTheGradesChangeWornThroughTheMask)
{
    const Image base = hues(40, 30), hold = leftHalfHeld(40, 30);
    const Image graded = sunRich().apply(base, 0.8);
    const Image expected = wearColour(base, colourChange(graded, base, base.extent()), hold);
    EXPECT_LT(largestDifference(wearGrade(base, sunRich(), 0.8, hold), expected), 1e-6f);
}

TEST(GradeWear, MeasuresTheChangeInSRGBForOtherSpaces)
{
    for (const ColourSpace* space :
         {&ColourSpace::displayP3(), &ColourSpace::adobeRGB(), &ColourSpace::proPhotoRGB()}) {
        const RGBSpace document = *RGBSpace::of(*space);
        const Image base = hues(40, 30), hold = leftHalfHeld(40, 30);
        const Image working = *document.toSRGB(base);
        const Image change =
            colourChange(*document.fromSRGB(sunRich().apply(working, 1)), *document.fromSRGB(working), base.extent());
        const Image expected = wearColour(base, change, hold);
        EXPECT_LT(largestDifference(wearGrade(base, sunRich(), 1, hold, &document), expected), 1e-5f) << space->name;
    }
}

TEST(GradeWear, LeavesThePictureAloneAtAmountZero)
{
    const Image base = hues(24, 16);
    const RGBSpace p3 = *RGBSpace::of(ColourSpace::displayP3());
    for (const RGBSpace* space : {static_cast<const RGBSpace*>(nullptr), &p3}) {
        const Image worn = wearGrade(base, sunRich(), 0, holdMask(std::nullopt, 0.8, base.extent()), space);
        // Values outside the sRGB gamut survive: only the change is taken from the round trip.
        EXPECT_LT(largestDifference(worn, base), 1e-5f);
    }
}

} // namespace
} // namespace oxel
