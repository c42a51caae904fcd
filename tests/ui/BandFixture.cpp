#include "BandFixture.h"

#include "develop/grade/GradeLooks.h"
#include "ui/TextLabel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QWidget>

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
    if (shape.divergence) {
        outcome->previewPlan = TransferPlan{};
        outcome->previewPlan->divergence = *shape.divergence;
    }
    if (shape.looks) {
        outcome->looks = GradeLooks{};
        outcome->looks->chosen.brief = shape.brief;
        if (shape.runnerUp) outcome->looks->alternative = SuggestedGrade{};
    }
    for (int index = 0; index < shape.lookThumbs; ++index)
        outcome->lookThumbs.push_back(gradientPicture(90, shape.thumbHeight, 60 * index));
    return outcome;
}

BandTest::BandTest()
{
    makeModel();
}

std::vector<std::shared_ptr<BatchItem>> BandTest::dropPhotographs(int count)
{
    std::vector<std::filesystem::path> files;
    for (int index = 0; index < count; ++index)
        files.push_back(writeJPEG("IMG_04" + std::to_string(10 + index) + ".jpg", 300, 200));
    drop(files);
    model->ensureBatchStored();
    return model->items();
}

void BandTest::develop(BatchItem& item, const ResultShape& shape)
{
    item.setResult(developedResult(shape));
    item.setPreviewImage(gradientPicture(300, 200, 50));
    item.setOriginalPreview(gradientPicture(300, 200, -40));
    item.setPhase(phase::Done{});
}

void BandTest::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QStringList BandTest::visibleTexts(QWidget& root)
{
    QStringList found;
    for (auto* label : root.findChildren<TextLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty()) found << label->text();
    for (auto* button : root.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&root) && !button->text().isEmpty()) found << button->text();
    return found;
}

} // namespace oxel::testing
