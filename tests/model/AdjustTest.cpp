#include "ResultFixture.h"

#include "backend/AppConfig.h"

#include <cmath>
#include <limits>

namespace oxel::testing {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// A batch of two developed pictures: a colourful one, whose result carries a runner-up look, and a
// grey one, which has no grade at all.
class AdjustTest : public ResultTest {
protected:
    void SetUp() override
    {
        makeModel();
        drop({writeJPEG("colour.jpg", 600, 400), writeGreyJPEG("grey.jpg", 600, 400)});
        developAll();
        colourful = model->items()[0];
        grey = model->items()[1];
        ASSERT_TRUE(colourful->result() && grey->result());
        ASSERT_TRUE(colourful->result()->looks && colourful->result()->looks->alternative);
        ASSERT_FALSE(grey->result()->looks);
        model->saveNow();
    }

    std::shared_ptr<BatchItem> colourful;
    std::shared_ptr<BatchItem> grey;
};

TEST_F(AdjustTest, ControlsDeriveEffectiveValuesFromTheBatchAndTheirOwnOffsets)
{
    model->setGlobalStrength(0.8);
    model->setStrength(1.3, colourful);
    EXPECT_NEAR(colourful->strengthOffset(), 0.2, 1e-12);
    EXPECT_TRUE(colourful->strengthTouched());
    EXPECT_DOUBLE_EQ(model->strength(*colourful), 1.0);
    model->setGlobalStrength(0.5);
    EXPECT_NEAR(model->strength(*colourful), 0.7, 1e-12);
    EXPECT_TRUE(model->saving().dirty().count(colourful->id));

    model->setGlobalStrength(0.6);
    model->setStrength(-0.2, colourful);
    EXPECT_NEAR(colourful->strengthOffset(), -0.6, 1e-12);
    EXPECT_DOUBLE_EQ(model->strength(*colourful), 0.0);

    // Values that are not numbers change nothing, per item or for the batch.
    model->setStrength(nan, colourful);
    model->setColour(infinity, colourful);
    model->setGlobalStrength(nan);
    model->setGlobalColour(-infinity);
    EXPECT_NEAR(colourful->strengthOffset(), -0.6, 1e-12);
    EXPECT_EQ(colourful->colourOffset(), 0.0);
    EXPECT_EQ(model->globalStrength(), 0.6);
    EXPECT_EQ(model->globalColour(), 1.0);

    model->setColour(0.25, colourful);
    EXPECT_NEAR(model->colour(*colourful), 0.25, 1e-12);
    model->resetStrength(colourful);
    model->resetColour(colourful);
    EXPECT_EQ(colourful->strengthOffset(), 0.0);
    EXPECT_FALSE(colourful->strengthTouched());
    EXPECT_EQ(colourful->colourOffset(), 0.0);
    EXPECT_FALSE(colourful->colourTouched());
    EXPECT_DOUBLE_EQ(model->strength(*colourful), 0.6);
}

TEST_F(AdjustTest, TheRunnerUpNeedsOneAndSwitchingLooksBringsTheColourUp)
{
    model->saveNow();
    model->setUseAlternative(true, grey);
    EXPECT_FALSE(grey->useAlternative());
    EXPECT_TRUE(model->saving().dirty().count(grey->id));

    model->setGlobalColour(0.4);
    model->setColour(0.0, colourful);
    model->setUseAlternative(true, colourful);
    EXPECT_TRUE(colourful->useAlternative());
    EXPECT_DOUBLE_EQ(model->colour(*colourful), 1.0);
    EXPECT_NEAR(colourful->colourOffset(), 0.6, 1e-12);
    EXPECT_TRUE(colourful->colourTouched());

    model->setColour(0.0, colourful);
    model->resetColour(grey);
    model->setUseAlternative(false, colourful);
    EXPECT_FALSE(colourful->useAlternative());
    EXPECT_DOUBLE_EQ(model->colour(*colourful), 1.0);
    // A colour above nothing is left as it is.
    EXPECT_NEAR(model->colour(*grey), 0.4, 1e-12);
    model->setUseAlternative(false, grey);
    EXPECT_NEAR(model->colour(*grey), 0.4, 1e-12);
}

TEST_F(AdjustTest, TheAlternativesSwitchFollowsTheResultsAndTheConfiguration)
{
    EXPECT_TRUE(model->alternativesAvailable());
    model->setAlternativesOn(true);
    EXPECT_TRUE(colourful->useAlternative());
    EXPECT_FALSE(grey->useAlternative());
    EXPECT_TRUE(model->saving().batchDirty());
    EXPECT_EQ(model->saving().dirty().size(), 2u);
    model->saveNow();
    library.drain();
    EXPECT_TRUE(library.load(model->batch()->id)->record.alternativesOn);
    model->setAlternativesOn(false);
    EXPECT_FALSE(colourful->useAlternative());

    const std::string body = R"({"suggestedGradeEnabled":false})";
    model->applyConfig(*AppConfig::parse(body), body);
    EXPECT_FALSE(model->alternativesAvailable());
}

TEST_F(AdjustTest, TheBatchBandsSaveTheStandingLookExceptWhileABatchIsMade)
{
    defaults().set("resetSettingsEachBatch", false);
    model->setGlobalStrength(0.5);
    model->setGlobalColour(1.7);
    EXPECT_EQ(model->globalColour(), 1.0);
    EXPECT_EQ(defaults().doubleValue("standingLight"), 0.5);
    EXPECT_EQ(defaults().doubleValue("standingColour"), 1.0);
    EXPECT_TRUE(model->saving().batchDirty());

    // A new batch takes the standing look under restoring and writes nothing back.
    defaults().set("resetSettingsEachBatch", true);
    model->newBatch();
    EXPECT_EQ(model->globalStrength(), 1.0);
    EXPECT_EQ(defaults().doubleValue("standingLight"), 0.5);
}

TEST_F(AdjustTest, TheReportPictureIsAJPEGOfTheDevelopedResultAtMost2048Wide)
{
    std::optional<std::optional<std::vector<uint8_t>>> picture;
    auto take = [](Task<std::optional<std::vector<uint8_t>>> task,
                   std::optional<std::optional<std::vector<uint8_t>>>& into) -> Task<void> {
        into.emplace(co_await std::move(task));
    };
    await(take(model->reportPicture(colourful->result(), {true, 0.7, 0.5, true}), picture));
    ASSERT_TRUE(picture && *picture);
    const auto& bytes = **picture;
    ASSERT_GT(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);

    picture.reset();
    await(take(model->reportPicture(nullptr, {}), picture));
    ASSERT_TRUE(picture);
    EXPECT_FALSE(*picture);
}

// Renders of one item, counted as its preview pictures arrive.
struct RenderCount {
    explicit RenderCount(BatchItem& item)
        : connection(item.changed.connect([this](BatchItem::Field field) {
              if (field == BatchItem::Field::previewImage) ++renders;
          }))
    {}
    int renders = 0;
    Connection connection;
};

class PreviewCoalescingTest : public AdjustTest {
protected:
    void SetUp() override
    {
        AdjustTest::SetUp();
        ASSERT_TRUE(runUntil([&] { return idle(); }));
        model->saveNow();
    }
    bool idle() { return model->previews().inFlight().empty() && model->previews().wanted().empty(); }
};

TEST_F(PreviewCoalescingTest, QuickItemChangesRenderTheFirstAndTheLastAndMarkTheThumbnailOnce)
{
    RenderCount count(*colourful);
    std::vector<bool> thumbMarkedAtRender;
    auto seen = colourful->changed.connect([&](BatchItem::Field field) {
        if (field == BatchItem::Field::previewImage) thumbMarkedAtRender.push_back(model->previews().wanted().empty());
    });
    for (int step = 1; step <= 10; ++step) model->setColour(step / 10.0 - 0.05, colourful);
    EXPECT_EQ(model->previews().wanted().at(colourful->id).settings.colour, 0.95);
    ASSERT_TRUE(runUntil([&] { return idle(); }));
    EXPECT_EQ(count.renders, 2);
    // Only the render with nothing waiting behind it marks "thumb.jpg" for rewriting.
    EXPECT_EQ(thumbMarkedAtRender, (std::vector<bool>{false, true}));
    EXPECT_TRUE(model->saving().thumbDirty().count(colourful->id));
    EXPECT_FALSE(model->saving().thumbDirty().count(grey->id));
}

TEST_F(PreviewCoalescingTest, ABatchSliderDragRendersEveryResultOnceWhenItRests)
{
    RenderCount colourfulCount(*colourful);
    RenderCount greyCount(*grey);
    // One step every 16 ms, as a pointer drags.
    for (int step = 0; step < 60; ++step) {
        model->setGlobalColour(1.0 - step / 100.0);
        loop.advance(std::chrono::milliseconds(16));
        ASSERT_TRUE(model->previews().inFlight().empty());
    }
    loop.advance(std::chrono::milliseconds(14));
    ASSERT_TRUE(runUntil([&] { return idle(); }));
    EXPECT_EQ(colourfulCount.renders, 1);
    EXPECT_EQ(greyCount.renders, 1);
    EXPECT_NEAR(model->colour(*colourful), 0.41, 1e-12);
}

class RetryTest : public ResultTest {
protected:
    void SetUp() override
    {
        makeModel();
        drop({writeJPEG("failed.jpg")});
        item = model->items()[0];
        model->ensureBatchStored();
        item->setPhase(phase::Failed{"render_failed", "this one didn't develop", true, false});
    }
    size_t submissions() { return requestsTo("/jobs").size(); }

    std::shared_ptr<BatchItem> item;
};

TEST_F(RetryTest, AFailedItemGoesAgainWithItsTrimmedNudgeAndStrengthOnce)
{
    model->setGlobalNudge("  warm evening light \n");
    model->setGlobalStrength(0.4);
    model->setStrength(0.65, item);
    backend.forgetReceivedRequests();
    model->retry(item);
    EXPECT_TRUE(item->phase().isInFlight());
    EXPECT_EQ(model->runner().strengthFor(item->id), 0.65);
    model->retry(item);
    ASSERT_TRUE(runUntil([&] { return !item->phase().isInFlight(); }));
    EXPECT_TRUE(item->phase().is<phase::Done>());
    auto posts = requestsTo("/jobs");
    std::erase_if(posts, [](const auto& request) { return request.method != "POST" || request.path != "/jobs"; });
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_NE(posts[0].body.find("warm evening light\""), std::string::npos);
    EXPECT_EQ(posts[0].body.find("warm evening light \\n"), std::string::npos);
}

TEST_F(RetryTest, SignedOutNothingGoes)
{
    signOut();
    makeModel();
    drop({writeJPEG("again.jpg")});
    auto failed = model->items()[0];
    failed->setPhase(phase::Failed{"render_failed", "this one didn't develop", true, false});
    backend.forgetReceivedRequests();
    model->retry(failed);
    EXPECT_TRUE(failed->phase().is<phase::Failed>());
    EXPECT_EQ(submissions(), 0u);
}

} // namespace
} // namespace oxel::testing
