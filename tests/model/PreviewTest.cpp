#include "support/ModelFixture.h"

#include "develop/DevelopOrder.h"
#include "library/JobOutcome.h"
#include "library/KeptThumbnail.h"
#include "support/SamePixels.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The model's previews: a developed batch of two pictures whose previews have settled and been saved.
class PreviewTest : public ModelTest {
protected:
    void SetUp() override
    {
        makeModel();
        drop({writeJPEG("one.jpg", 600, 400), writeJPEG("two.jpg", 400, 600)});
        model->process();
        ASSERT_TRUE(runUntil([&] { return developed() && previewsSettled(); }));
        model->saveNow();
        library.drain();
        for (const auto& item : model->items())
            connections.push_back(item->changed.connect([this, id = item->id](BatchItem::Field field) {
                if (field == BatchItem::Field::previewImage) ++previewsShown[id];
            }));
    }
    bool developed() const
    {
        for (const auto& item : model->items())
            if (!item->phase().is<phase::Done>() || item->keep) return false;
        return true;
    }
    bool previewsSettled() const { return model->previews().inFlight().empty() && model->previews().wanted().empty(); }
    // The preview the item gets at this strength and colour, made directly.
    Bitmap expectedPreview(const BatchItem& item, double strength, double colour) const
    {
        const DevelopSettings settings = model->developSettings(item);
        EXPECT_DOUBLE_EQ(settings.strength, strength);
        EXPECT_DOUBLE_EQ(settings.colour, colour);
        auto picture = renderDeveloped(*item.result(), settings);
        EXPECT_TRUE(picture);
        return picture.value_or(Bitmap());
    }

    // Once the controls have rested, every preview is rendered once more, with this colour.
    void expectEveryPreviewRenderedOnceAt(double colour)
    {
        loop.advance(PreviewRenderer::restDelay);
        ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
        for (const auto& item : model->items()) {
            EXPECT_EQ(previewsShown[item->id], 1);
            EXPECT_TRUE(samePixels(*item->previewImage()->bitmap(), expectedPreview(*item, 1.0, colour)));
        }
    }

    std::map<Uuid, int> previewsShown;
    std::vector<Connection> connections;
};

TEST_F(PreviewTest, DeliveredColouredResultIsPreviewedAndItsThumbnailWrittenAgainAMomentAfter)
{
    for (const auto& item : model->items()) {
        SCOPED_TRACE(item->url().filename().string());
        ASSERT_TRUE(item->previewImage());
        EXPECT_TRUE(samePixels(*item->previewImage()->bitmap(), expectedPreview(*item, 1.0, 1.0)));
        EXPECT_TRUE(fs::exists(imageFolder(*item) / "thumb.jpg"));
    }

    // A new coloured preview marks the thumbnail, written from that picture a moment later without
    // waiting for the save.
    const auto item = model->items()[0];
    const auto thumb = imageFolder(*item) / "thumb.jpg";
    const auto before = bytesOf(thumb);
    item->setColourOffset(-0.5);
    model->previews().request(item);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_TRUE(model->saving().thumbDirty().contains(item->id));
    loop.advance(BatchSaver::thumbnailWriteDelay - std::chrono::milliseconds(1));
    EXPECT_TRUE(model->saving().thumbDirty().contains(item->id));
    loop.advance(std::chrono::milliseconds(1));
    library.drain();
    EXPECT_TRUE(model->saving().thumbDirty().empty());
    EXPECT_NE(bytesOf(thumb), before);
}

TEST_F(PreviewTest, AChangedBatchColourRendersEveryPreviewAgainOnceWithIt)
{
    model->setGlobalColour(0.25);
    expectEveryPreviewRenderedOnceAt(0.25);
}

TEST_F(PreviewTest, AnItemThatLeftTheBatchWhileRenderingIsNotMarkedOrRenderedAgain)
{
    const auto item = model->items()[0];
    item->setColourOffset(-0.2);
    model->previews().request(item);
    item->setColourOffset(-0.3);
    model->previews().request(item);
    model->newBatch();
    EXPECT_TRUE(model->previews().wanted().empty()) << "nothing of the old batch waits for a render";
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_EQ(previewsShown[item->id], 1);
    EXPECT_TRUE(model->saving().thumbDirty().empty());
}

TEST_F(PreviewTest, ResettingTheStandingLookRendersThePreviewsAgainOnce)
{
    model->setGlobalColour(0.5);
    loop.advance(PreviewRenderer::restDelay);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    previewsShown.clear();
    model->resetStanding();
    expectEveryPreviewRenderedOnceAt(1.0);
}

TEST_F(ModelTest, ADeliveredResultGetsItsTilesPictureAndThePreviewOfTheSameSettings)
{
    makeModel().setGlobalColour(0);
    drop({writeJPEG("one.jpg", 600, 400)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] {
        return item->phase().is<phase::Done>() && !item->keep && model->previews().inFlight().empty() &&
               model->previews().wanted().empty();
    }));
    ASSERT_TRUE(item->developedCopy());
    EXPECT_EQ(item->developedCopy()->preview, *item->previewImage());
    EXPECT_TRUE(model->previews().copyIsNewest(*item));
    // Its thumbnail is that picture, written a moment later with the settings it was made at.
    loop.advance(BatchSaver::thumbnailWriteDelay);
    library.drain();
    EXPECT_EQ(KeptThumbnail::madeAt(imageFolder(*item) / "thumb.jpg"), model->developSettings(*item));
}

TEST_F(ModelTest, AResultWithoutColourDeliveredAfterTheLightMovedIsRenderedAtTheNewLight)
{
    makeModel().setGlobalColour(0);
    drop({writeJPEG("one.jpg", 600, 400)});
    model->process();
    model->setGlobalStrength(0.5); // sent at full light, moved before the result came
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] {
        return item->phase().is<phase::Done>() && !item->keep && model->previews().inFlight().empty() &&
               model->previews().wanted().empty();
    }));
    EXPECT_TRUE(
        samePixels(item->previewImage()->bitmap(), renderDeveloped(*item->result(), model->developSettings(*item))));
}

} // namespace
} // namespace oxel::testing
