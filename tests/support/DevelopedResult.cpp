#include "support/DevelopedResult.h"

#include "develop/SourceImage.h"
#include "develop/grade/GradeLooks.h"
#include "imaging/Bitmap.h"

#include <algorithm>

namespace oxel::testing {

PictureHandle gradientPicture(int width, int height, int warmth)
{
    return PictureHandle({width, height, [width, height, warmth] {
                              auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
                              for (int y = 0; y < height; ++y)
                                  for (int x = 0; x < width; ++x) {
                                      uint8_t* pixel = bitmap->mutableData() + y * bitmap->rowBytes() + x * 4;
                                      pixel[0] = uint8_t(std::min(255, 110 + warmth + 110 * x / std::max(width, 1)));
                                      pixel[1] = uint8_t(90 + 80 * y / std::max(height, 1));
                                      pixel[2] = uint8_t(std::max(0, 90 - warmth));
                                      pixel[3] = 255;
                                  }
                              return bitmap;
                          }});
}

std::shared_ptr<JobOutcome> developedResult(const ResultShape& shape)
{
    auto outcome =
        std::make_shared<JobOutcome>("job-1", Image(), DetailTransfer(Image(), Image(), SourceImage::sRGB()));
    outcome->colourOnly = shape.colourOnly;
    if (shape.divergence) outcome->previewPlan = PreviewPlan::deferred({true, *shape.divergence}, {});
    if (shape.looks) {
        outcome->looks = GradeLooks{};
        outcome->looks->chosen.brief = shape.brief;
        if (shape.runnerUp) outcome->looks->alternative = SuggestedGrade{};
    }
    for (int index = 0; index < shape.lookThumbs; ++index)
        outcome->lookThumbs.push_back(gradientPicture(90, shape.thumbHeight, 60 * index));
    return outcome;
}

} // namespace oxel::testing
