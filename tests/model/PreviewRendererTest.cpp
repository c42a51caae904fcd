#include "support/ModelFixture.h"

#include "develop/DevelopOrder.h"
#include "library/JobOutcome.h"
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

// A developed batch of two pictures whose previews have settled and been saved.
class PreviewRendererTest : public ModelTest {
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
    bool previewsSettled() const { return model->previewInFlight().empty() && model->previewWanted().empty(); }
    // The preview the item would get from a render with these settings, made directly.
    Bitmap expectedPreview(const BatchItem& item, double strength, double colour) const
    {
        auto picture = renderDeveloped(*item.result(), {false, strength, colour, model->settings().grainEnabled()});
        EXPECT_TRUE(picture);
        return picture.value_or(Bitmap());
    }

    std::map<Uuid, int> previewsShown;
    std::vector<Connection> connections;
};

TEST_F(PreviewRendererTest, DeliveredColouredResultIsPreviewedAndItsThumbnailWrittenAgainAMomentAfter)
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
    model->requestPreview(item);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_TRUE(model->saving().thumbDirty().contains(item->id));
    loop.advance(BatchSaver::thumbnailWriteDelay - std::chrono::milliseconds(1));
    EXPECT_TRUE(model->saving().thumbDirty().contains(item->id));
    loop.advance(std::chrono::milliseconds(1));
    library.drain();
    EXPECT_TRUE(model->saving().thumbDirty().empty());
    EXPECT_NE(bytesOf(thumb), before);
}

TEST_F(PreviewRendererTest, TenRequestsGiveTheRunningRenderAndTheLastOneWithOneThumbnailMark)
{
    const auto item = model->items()[0];
    std::vector<bool> markedWhenShown;
    auto watch = item->changed.connect([&](BatchItem::Field field) {
        if (field == BatchItem::Field::previewImage)
            markedWhenShown.push_back(model->saving().thumbDirty().contains(item->id));
    });
    for (int step = 1; step <= 10; ++step) {
        item->setColourOffset(-0.05 * step);
        model->requestPreview(item);
        EXPECT_TRUE(model->previewInFlight().contains(item->id));
    }
    ASSERT_EQ(model->previewWanted().size(), 1u);
    EXPECT_DOUBLE_EQ(model->previewWanted().at(item->id).colour, 0.5);

    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_EQ(previewsShown[item->id], 2);
    // The first picture had newer settings behind it, so only the last marked the thumbnail.
    EXPECT_EQ(markedWhenShown, (std::vector<bool>{false, false}));
    EXPECT_EQ(model->saving().thumbDirty(), std::set<Uuid>{item->id});
    EXPECT_TRUE(samePixels(*item->previewImage()->bitmap(), expectedPreview(*item, 1.0, 0.5)));
    EXPECT_EQ(previewsShown[model->items()[1]->id], 0);
}

TEST_F(PreviewRendererTest, RequestsWithoutAResultRecordAndStartNothing)
{
    const auto item = model->items()[0];
    auto result = item->result();
    item->setResult(nullptr);
    model->requestPreview(item);
    model->requestPreview(nullptr);
    EXPECT_TRUE(model->previewWanted().empty());
    EXPECT_TRUE(model->previewInFlight().empty());

    // A restart pass leaves it out too, and renders the others.
    model->restartPreviewTask();
    loop.advance(AppModel::previewRestDelay);
    EXPECT_EQ(model->previewInFlight(), std::set<Uuid>{model->items()[1]->id});
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_EQ(previewsShown[item->id], 0);
    item->setResult(result);
}

TEST_F(PreviewRendererTest, RestartsTenMillisecondsApartGiveOnePassThirtyMillisecondsAfterTheLast)
{
    model->restartPreviewTask();
    loop.advance(std::chrono::milliseconds(10));
    model->restartPreviewTask();
    loop.advance(std::chrono::milliseconds(29));
    EXPECT_TRUE(model->previewInFlight().empty());
    loop.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(model->previewInFlight().size(), 2u);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    for (const auto& item : model->items()) EXPECT_EQ(previewsShown[item->id], 1);

    // The pass renders with the batch's values as they stand when it runs.
    model->setGlobalColour(0.25);
    model->restartPreviewTask();
    loop.advance(AppModel::previewRestDelay);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    for (const auto& item : model->items())
        EXPECT_TRUE(samePixels(*item->previewImage()->bitmap(), expectedPreview(*item, 1.0, 0.25)));
}

TEST_F(PreviewRendererTest, AnItemThatLeftTheBatchWhileRenderingIsNotMarkedOrRenderedAgain)
{
    const auto item = model->items()[0];
    model->requestPreview(item);
    model->requestPreview(item);
    model->newBatch();
    EXPECT_TRUE(model->previewWanted().empty()) << "nothing of the old batch waits for a render";
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    EXPECT_EQ(previewsShown[item->id], 1);
    EXPECT_TRUE(model->saving().thumbDirty().empty());
}

TEST_F(PreviewRendererTest, ResettingTheStandingLookRendersThePreviewsAgainOnce)
{
    model->setGlobalColour(0.5);
    model->resetStanding();
    loop.advance(AppModel::previewRestDelay);
    ASSERT_TRUE(runUntil([&] { return previewsSettled(); }));
    for (const auto& item : model->items()) {
        EXPECT_EQ(previewsShown[item->id], 1);
        EXPECT_TRUE(samePixels(*item->previewImage()->bitmap(), expectedPreview(*item, 1.0, 1.0)));
    }
}

// The thumbnail is written when the result is kept, from the runner's uncoloured preview, and again
// from the coloured preview once the save delay has passed.
TEST_F(ModelTest, DeliveredResultWritesItsThumbnailAtOnceAndAgainAfterTheColouredPreview)
{
    makeModel();
    drop({writeJPEG("one.jpg", 600, 400)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Done>(); }));
    EXPECT_TRUE(model->previewInFlight().contains(item->id));
    library.drain();
    const auto thumb = imageFolder(*item) / "thumb.jpg";
    const auto atKeep = bytesOf(thumb);
    EXPECT_FALSE(atKeep.empty());

    ASSERT_TRUE(runUntil([&] { return model->previewInFlight().empty(); }));
    EXPECT_TRUE(model->saving().thumbDirty().contains(item->id));
    loop.advance(BatchSaver::saveDelay);
    library.drain();
    EXPECT_NE(bytesOf(thumb), atKeep);
}

TEST_F(ModelTest, DeliveredResultWithoutColourIsNotPreviewedAgain)
{
    makeModel().setGlobalColour(0);
    drop({writeJPEG("one.jpg", 600, 400)});
    model->process();
    const auto item = model->items()[0];
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Done>() && !item->keep; }));
    EXPECT_TRUE(model->previewInFlight().empty());
    EXPECT_TRUE(model->previewWanted().empty());
    EXPECT_TRUE(model->saving().thumbDirty().empty());
}

} // namespace
} // namespace oxel::testing
