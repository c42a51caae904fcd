#include "BandFixture.h"

#include "ui/kit/TextLabel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QWidget>

namespace oxel::testing {

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
    // A render of its own, so that its pictures can be developed.
    auto result = developedResult(shape);
    result->render = gradientPicture(300, 200, 50).image();
    result->transfer = DetailTransfer(Image(), result->render, SourceImage::sRGB());
    item.setResult(std::move(result));
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
