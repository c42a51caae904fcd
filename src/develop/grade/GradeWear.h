#pragma once

#include "develop/colour/RGBSpace.h"
#include "develop/grade/SuggestedGrade.h"
#include "imaging/Image.h"

namespace oxel {

// The picture wearing a grade at `amount` through a hold mask, in one pass: the change the grade
// makes is added to the untouched picture as far as the mask lets it, clamped to 0...1. With a
// `space`, the grade is measured in sRGB: the picture is converted to sRGB and graded, both are
// converted back, and the change is taken between the two. The same as wearColour of
// colourChange of the graded and ungraded pictures, without rendering the picture three times.
Image wearGrade(const Image& picture, const SuggestedGrade& grade, double amount, const Image& hold,
                const RGBSpace* space = nullptr);

} // namespace oxel
