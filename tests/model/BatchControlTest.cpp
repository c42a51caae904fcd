#include "support/ModelFixture.h"

namespace oxel::testing {
namespace {

class BatchControlTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }
};

TEST_F(BatchControlTest, HandOffIsLabelledByItsSenderAndMarksItsHostSeen)
{
    model->receiveHandoff({writeJPEG("a.jpg")}, std::string("Shotwell Photo Manager"));
    runImports();
    EXPECT_EQ(model->lastBatchSource(), "from shotwell photo manager");
    EXPECT_EQ(defaults().boolValue("handoffSeen.shotwell"), true);
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->items()[0]->origin, Origin::handoff);

    makeModel();
    model->receiveHandoff({writeJPEG("b.jpg")}, std::nullopt);
    runImports();
    EXPECT_EQ(model->lastBatchSource(), "handed over");
    EXPECT_FALSE(defaults().contains("handoffSeen.darktable"));
    EXPECT_FALSE(model->launchedByHandoff);
}

TEST_F(BatchControlTest, HandOffJoinsUndevelopedItemsAndStartsANewBatchAfterADevelopedOne)
{
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});
    model->receiveHandoff({writeJPEG("three.jpg")}, std::string("darktable"));
    runImports();
    EXPECT_EQ(model->items().size(), 3u);

    model->ensureBatchStored();
    model->receiveHandoff({writeJPEG("four.jpg")}, std::string("darktable"));
    runImports();
    EXPECT_FALSE(model->batch());
    ASSERT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->items()[0]->url().filename(), "four.jpg");
}

TEST_F(BatchControlTest, CancelledOpenPanelChangesOnlyTheHandOffFlag)
{
    drop({writeJPEG("kept.jpg")});
    model->launchedByHandoff = true;
    model->openFiles();
    runImports();
    EXPECT_FALSE(model->launchedByHandoff);
    EXPECT_EQ(model->items().size(), 1u);
    EXPECT_EQ(model->lastBatchSource(), "dropped");
    EXPECT_EQ(control.frontRequests, 1);
    ASSERT_EQ(panels.panelsShown.size(), 1u);
    EXPECT_EQ(panels.panelsShown[0].message, "import images");
    EXPECT_EQ(panels.panelsShown[0].prompt, "open");
    EXPECT_TRUE(panels.panelsShown[0].canChooseDirectories);

    panels.choices.push_back(std::vector<std::filesystem::path>{writeJPEG("chosen.jpg")});
    model->openFiles();
    runImports();
    EXPECT_EQ(model->items().size(), 2u);
    EXPECT_EQ(model->lastBatchSource(), "opened");
}

TEST_F(BatchControlTest, NewBatchStartsFromTheStandingLookOnlyWhenAskedTo)
{
    model->setGlobalNudge("cold");
    model->setAlternativesOn(true);
    defaults().set("standingNudge", "warm");
    defaults().set("standingLight", 0.6);
    model->newBatch();
    EXPECT_EQ(model->globalNudge(), "");
    EXPECT_DOUBLE_EQ(model->globalStrength(), 1.0);
    EXPECT_FALSE(model->alternativesOn());
    EXPECT_EQ(defaults().stringValue("standingNudge"), "warm");
    EXPECT_FALSE(model->statusLine());

    defaults().set("resetSettingsEachBatch", false);
    model->newBatch();
    EXPECT_EQ(model->globalNudge(), "warm");
    EXPECT_DOUBLE_EQ(model->globalStrength(), 0.6);
    EXPECT_DOUBLE_EQ(model->globalColour(), 1.0);
}

// Pictures not processed yet live nowhere but the window: "new batch" and opening another batch
// ask before dropping them, as quitting does, and keep them unless told otherwise.
TEST_F(BatchControlTest, NewBatchAndAnotherBatchAskBeforeDroppingPicturesNotProcessedYet)
{
    drop({writeJPEG("stored.jpg")});
    model->ensureBatchStored();
    const Uuid stored = model->batch()->id;
    model->newBatch();
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});

    model->requestNewBatch();
    model->requestOpenBatch(stored);
    ASSERT_TRUE(runUntil([&] { return panels.alertsShown.size() == 2; }));
    EXPECT_EQ(panels.alertsShown[0].message, "2 pictures not processed yet · a new batch drops them");
    EXPECT_EQ(panels.alertsShown[0].buttons, (std::vector<std::string>{"keep them", "new batch"}));
    EXPECT_EQ(panels.alertsShown[0].safeAnswer, 0u);
    EXPECT_EQ(panels.alertsShown[1].message, "2 pictures not processed yet · another batch drops them");
    EXPECT_EQ(model->items().size(), 2u);
    EXPECT_FALSE(model->batch());

    panels.answers = {1};
    model->requestOpenBatch(stored);
    ASSERT_TRUE(runUntil([&] { return model->batch().has_value(); }));
    EXPECT_EQ(model->batch()->id, stored);
    EXPECT_EQ(model->items().size(), 1u);
}

TEST_F(BatchControlTest, ProcessSendsNothingWhenSignedOutOrWithNothingReady)
{
    signOut();
    makeModel();
    drop({writeJPEG("a.jpg")});
    model->process();
    EXPECT_FALSE(model->batch());
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
    EXPECT_EQ(model->runner().queuedCount() + model->runner().inFlightCount(), 0);
    EXPECT_TRUE(requestsTo("/jobs").empty());
}

} // namespace
} // namespace oxel::testing
