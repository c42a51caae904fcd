#include "ResultFixture.h"

#include "modelserver/ModelServer.h"
#include "ondevice/ColourOnly.h"
#include "ondevice/OnDeviceTestSupport.h"

namespace oxel::testing {
namespace {

namespace fs = std::filesystem;

const std::string notSetUp =
    "colour only needs a local model that can read pictures, and none is set up on this computer. colour and light "
    "works as ever.";

// The model with a language model of this computer: the stand-in model server in process, or one
// that answers every grade with the same draft.
class ColourOnlyModelTest : public ResultTest {
protected:
    void SetUp() override { server.start(); }

    // A model whose local model is the client of `url`, ready once its first look answered.
    void makeModelOn(const std::string& url)
    {
        client = clientOf(loop, url);
        ASSERT_TRUE(probed(loop, *client));
        localModel = client.get();
        makeModel();
        // As launch does.
        model->refreshColourOnlyAvailability();
        ASSERT_TRUE(model->colourOnlyModelReady());
    }
    void switchedOn()
    {
        makeModelOn(server.baseURL());
        model->setColourOnlyOn(true);
        ASSERT_TRUE(model->colourOnlyInForce());
    }
    bool noneInFlight() { return model->inFlightCount() == 0 && model->tasks().runningCount() == 0; }
    fs::path analysisFile(const BatchItem& item) { return imageFolder(item) / "analysis.json"; }

    local::ModelServer server{standInOptions(loop)};
    std::unique_ptr<ChatCompletionsModel> client;
};

TEST_F(ColourOnlyModelTest, GoingAwayStopsAGradeTheLocalModelIsStillTrickling)
{
    TricklingModelServer trickling;
    makeModelOn(trickling.baseURL());
    model->setColourOnlyOn(true);
    drop({writeJPEG("colour.jpg", 600, 400)});
    model->process();
    for (int i = 0; i < 100 && trickling.streams() == 0; ++i)
        loop.runUntil([&] { return trickling.streams() > 0; }, std::chrono::milliseconds(100));
    ASSERT_EQ(trickling.streams(), 1);
    model.reset();
    // As the application does before it goes: wait for the work the model handed to other threads.
    const auto gone = std::chrono::steady_clock::now();
    loop.runUntil([] { return false; }, std::chrono::seconds(5));
    EXPECT_LT(std::chrono::steady_clock::now() - gone, std::chrono::seconds(2))
        << "the grade outlived the model that asked";
}

TEST_F(ColourOnlyModelTest, ProcessInForceGradesOnThisComputerEvenSignedOut)
{
    signOut();
    switchedOn();
    drop({writeJPEG("colour.jpg", 600, 400), writeGreyJPEG("grey.jpg", 600, 400)});
    EXPECT_TRUE(model->batchUsesLight());
    model->process();
    ASSERT_TRUE(model->batch());
    EXPECT_EQ(model->screen(), AppModel::Screen::results);
    const auto colourful = model->items()[0];
    const auto grey = model->items()[1];
    EXPECT_TRUE(colourful->wantsColourOnly);
    ASSERT_TRUE(runUntil([&] { return colourful->phase().is<phase::Processing>(); }));
    EXPECT_EQ(std::get<phase::Processing>(colourful->phase()).status, "grading on this computer");
    EXPECT_EQ(colourful->startedAt(), loop.now());
    EXPECT_FALSE(model->batchUsesLight());
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));

    EXPECT_TRUE(colourful->phase().is<phase::Done>());
    EXPECT_FALSE(colourful->note());
    EXPECT_FALSE(colourful->wantsColourOnly);
    EXPECT_TRUE(colourful->colourOnly);
    ASSERT_TRUE(colourful->result() && colourful->result()->colourOnly);
    EXPECT_EQ(colourful->jobId()->rfind("local-", 0), 0u);
    EXPECT_TRUE(colourful->previewImage());
    EXPECT_TRUE(colourful->originalPreview());
    EXPECT_TRUE(grey->phase().is<phase::Done>());
    EXPECT_EQ(grey->note(), "this one's best left as it is");
    EXPECT_FALSE(model->batchUsesLight());
    EXPECT_TRUE(model->colourOnlyCandidates().empty());
    EXPECT_TRUE(requestsTo("/jobs").empty());

    // The thumbnail is the tile's picture, written a moment after it is shown.
    ASSERT_TRUE(runUntil([&] { return model->previews().inFlight().empty() && model->previews().wanted().empty(); }));
    loop.advance(BatchSaver::thumbnailWriteDelay);
    library.drain();
    EXPECT_TRUE(fs::exists(analysisFile(*colourful)));
    EXPECT_FALSE(colourful->renderFile);
    EXPECT_TRUE(fs::exists(imageFolder(*colourful) / "thumb.jpg"));
    auto stored = library.load(model->batch()->id);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->images.size(), 2u);
    EXPECT_EQ(stored->images[0].mode, ImageRecord::Mode::colour);
}

TEST_F(ColourOnlyModelTest, EachGradeIsReportedWithItsRoundedStrengthAndRetryFlag)
{
    CannedModelServer canned(200, completionSaying(R"({"reading":"low sun","temperature":"sun","density":"rich",)"
                                                   R"("strength":0.876,"brief":"warmer"})"));
    makeModelOn(canned.baseURL());
    model->setColourOnlyOn(true);
    drop({writeJPEG("colour.jpg", 600, 400), writeGreyJPEG("grey.jpg", 600, 400)});
    model->process();
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));
    auto events = funnelEvents("colour_only_graded", 2);
    ASSERT_EQ(events.size(), 2u);
    const auto& graded = events[0]["metadata"];
    EXPECT_EQ(graded["strength"], 0.88);
    EXPECT_EQ(graded["cell"], "sun-rich");
    EXPECT_EQ(graded["monochrome"], false);
    EXPECT_EQ(graded["retry"], false);
    EXPECT_TRUE(graded["ms"].is_number_integer());
    // The funnel client writes the platform the backend knows.
    EXPECT_EQ(graded["platform"], "macos");
    const auto& grey = events[1]["metadata"];
    EXPECT_EQ(grey["monochrome"], true);
    EXPECT_EQ(grey["cell"], "none");
    EXPECT_EQ(grey["strength"], 0);

    // Grading again is a retry.
    const int asked = canned.completions();
    model->regradeOnDevice(model->items());
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));
    events = funnelEvents("colour_only_graded", 4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2]["metadata"]["retry"], true);
    EXPECT_EQ(canned.completions(), asked + 1);
}

TEST_F(ColourOnlyModelTest, AServerThatGoesAwayFailsOnePicturePausesTheRunAndTellsWhy)
{
    switchedOn();
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg"), writeJPEG("three.jpg")});
    model->process();
    const auto items = model->items();
    ASSERT_TRUE(runUntil([&] { return items[0]->phase().is<phase::Processing>(); }));
    server.stop();
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));

    const std::string note = "couldn't grade this one on this computer · try colour and light";
    EXPECT_TRUE(items[0]->phase().is<phase::Ready>());
    EXPECT_EQ(items[0]->note(), note);
    EXPECT_TRUE(items[1]->phase().is<phase::Ready>());
    EXPECT_EQ(items[1]->note(), note);
    EXPECT_TRUE(items[2]->phase().is<phase::Ready>());
    EXPECT_FALSE(items[2]->note());
    for (const auto& item : items) EXPECT_FALSE(item->wantsColourOnly);
    EXPECT_EQ(model->statusLine(), "the local model isn't ready · colour only paused");
    EXPECT_FALSE(model->colourOnlyModelReady());
    EXPECT_FALSE(model->colourOnlyInForce());
    EXPECT_EQ(model->colourOnlyMissing(), "the local model isn't answering right now, so colour only is away for now.");
}

TEST_F(ColourOnlyModelTest, GarbageFromTheServerFailsEachPictureWithoutPausingTheRun)
{
    switchedOn();
    auto options = standInOptions(loop);
    options.malformed = true;
    server.setOptions(options);
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});
    model->process();
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));
    for (const auto& item : model->items()) {
        EXPECT_TRUE(item->phase().is<phase::Ready>());
        EXPECT_EQ(item->note(), "couldn't grade this one on this computer · try colour and light");
    }
    EXPECT_EQ(server.receivedCompletions().size(), 2u);
    EXPECT_FALSE(model->statusLine());
    EXPECT_TRUE(model->colourOnlyInForce());
    // Both wait for another try, on this computer or with colour and light.
    EXPECT_EQ(model->colourOnlyCandidates().size(), 2u);
}

TEST_F(ColourOnlyModelTest, AnotherBatchOpenedMidGradeDropsTheResultAndSkipsTheRest)
{
    switchedOn();
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});
    model->process();
    const auto items = model->items();
    const auto left = model->batch()->id;
    ASSERT_TRUE(runUntil([&] { return items[0]->phase().is<phase::Processing>(); }));
    model->newBatch();
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_FALSE(items[0]->result());
    EXPECT_FALSE(items[1]->phase().is<phase::Processing>());
    EXPECT_EQ(server.receivedCompletions().size(), 1u);
    library.drain();
    EXPECT_FALSE(fs::exists(library.imageFolder(left, items[0]->id) / "analysis.json"));
    EXPECT_FALSE(fs::exists(library.imageFolder(left, items[1]->id) / "analysis.json"));
    EXPECT_TRUE(funnelEvents("colour_only_graded").empty());
}

TEST_F(ColourOnlyModelTest, AColourMovedDuringTheGradeIsRenderedAgainOnceItLands)
{
    switchedOn();
    drop({writeJPEG("moved.jpg", 600, 400), writeJPEG("nudged.jpg", 600, 400)});
    model->process();
    const auto moved = model->items()[0];
    const auto nudged = model->items()[1];
    std::map<Uuid, std::vector<double>> renderedAt;
    std::vector<Connection> connections;
    for (const auto& item : {moved, nudged})
        connections.push_back(item->changed.connect([&, item](BatchItem::Field field) {
            if (field == BatchItem::Field::developedCopy && item->developedCopy())
                renderedAt[item->id].push_back(item->developedCopy()->madeAt.colour);
        }));
    ASSERT_TRUE(runUntil([&] { return moved->phase().is<phase::Processing>(); }));
    model->setColour(0.6, moved);
    ASSERT_TRUE(runUntil([&] { return nudged->phase().is<phase::Processing>(); }));
    model->setColour(1.0 - 0.0004, nudged);
    ASSERT_TRUE(runUntil(
        [&] { return noneInFlight() && model->previews().inFlight().empty() && model->previews().wanted().empty(); }));
    // The tile's picture at the colour asked for while the grade ran, never at the grade's own.
    EXPECT_EQ(renderedAt[moved->id], std::vector{0.6});
    EXPECT_TRUE(moved->colourTouched());
    EXPECT_EQ(renderedAt[nudged->id].size(), 1u);
    EXPECT_TRUE(moved->phase().is<phase::Done>());
}

TEST_F(ColourOnlyModelTest, AnItemWhoseOriginalWentAwayIsNotLeftQueued)
{
    switchedOn();
    drop({writeJPEG("one.jpg"), writeJPEG("two.jpg")});
    model->process();
    const auto items = model->items();
    ASSERT_TRUE(runUntil([&] { return items[0]->phase().is<phase::Processing>(); }));
    items[1]->setSource(std::nullopt);
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));
    EXPECT_TRUE(items[0]->phase().is<phase::Done>());
    EXPECT_TRUE(items[1]->phase().is<phase::Ready>());
    EXPECT_FALSE(items[1]->wantsColourOnly);
    EXPECT_EQ(model->inFlightCount(), 0);
}

TEST_F(ColourOnlyModelTest, DevelopingWithLightDropsTheGradeAndReadiesTheItem)
{
    switchedOn();
    drop({writeJPEG("one.jpg", 600, 400)});
    model->process();
    ASSERT_TRUE(runUntil([&] { return noneInFlight(); }));
    const auto item = model->items()[0];
    ASSERT_TRUE(item->result());
    library.drain();

    model->developWithLight({item});
    EXPECT_FALSE(model->colourOnlyOn());
    EXPECT_EQ(defaults().boolValue("colourOnlyOn"), false);
    EXPECT_FALSE(item->result());
    EXPECT_FALSE(item->previewImage());
    EXPECT_FALSE(item->jobId());
    EXPECT_FALSE(item->note());
    EXPECT_FALSE(item->colourOnly);
    EXPECT_TRUE(item->phase().is<phase::Ready>());
    ASSERT_TRUE(item->thumbnail());
    EXPECT_EQ(std::max(item->thumbnail()->width(), item->thumbnail()->height()), 512);
    EXPECT_EQ(model->screen(), AppModel::Screen::input);
    EXPECT_TRUE(model->batchUsesLight());
    EXPECT_EQ(model->itemsToProcess().size(), 1u);
    // The thumbnail made from the original itself follows.
    ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    EXPECT_EQ(std::max(item->thumbnail()->width(), item->thumbnail()->height()), 600);

    // Nothing graded here: nothing to do.
    model->setColourOnlyOn(true);
    model->developWithLight({item});
    EXPECT_TRUE(model->colourOnlyOn());
}

TEST_F(ColourOnlyModelTest, TheExplainerComesUntilItIsConfirmedWithoutAReason)
{
    makeModel();
    model->colourOnlyTapped();
    EXPECT_EQ(model->colourOnlyMissing(), notSetUp);
    EXPECT_TRUE(model->showColourExplainer());
    EXPECT_FALSE(model->colourOnlyOn());
    EXPECT_EQ(funnelEvents("colour_only_explainer_opened", 1).size(), 1u);
    // With a reason shown, "got it" only acknowledges.
    model->confirmColourExplainer();
    EXPECT_FALSE(model->showColourExplainer());
    EXPECT_FALSE(model->colourOnlyOn());
    EXPECT_FALSE(defaults().contains("colourOnlyEverTicked"));

    makeModelOn(server.baseURL());
    model->colourOnlyTapped();
    EXPECT_TRUE(model->showColourExplainer());
    model->confirmColourExplainer();
    EXPECT_TRUE(model->colourOnlyOn());
    EXPECT_EQ(defaults().boolValue("colourOnlyEverTicked"), true);
    EXPECT_EQ(defaults().boolValue("colourOnlyOn"), true);
    model->colourOnlyTapped();
    EXPECT_FALSE(model->colourOnlyOn());
    EXPECT_EQ(defaults().boolValue("colourOnlyOn"), false);
    model->colourOnlyTapped();
    EXPECT_TRUE(model->colourOnlyOn());
    EXPECT_FALSE(model->showColourExplainer());
    EXPECT_EQ(funnelEvents("colour_only_explainer_opened", 2).size(), 2u);
}

TEST_F(ColourOnlyModelTest, WithNoModelSetUpColourOnlyIsNeverInForce)
{
    defaults().set("colourOnlyOn", true);
    makeModel();
    model->launch();
    EXPECT_TRUE(model->colourOnlyOn());
    EXPECT_FALSE(model->colourOnlyModelReady());
    EXPECT_FALSE(model->colourOnlyInForce());
    EXPECT_EQ(model->colourOnlyMissing(), notSetUp);
    drop({writeJPEG("one.jpg")});
    model->process();
    EXPECT_FALSE(model->items()[0]->wantsColourOnly);
    ASSERT_TRUE(runUntil([&] { return model->items()[0]->jobId().has_value(); }));

    // Grading again while the model is not ready only says so.
    model->regradeOnDevice(model->items());
    EXPECT_FALSE(model->items()[0]->wantsColourOnly);
}

TEST_F(ColourOnlyModelTest, AModelThatCannotReadPicturesIsNotReady)
{
    client = clientOf(loop, server.baseURL(), false);
    ASSERT_TRUE(probed(loop, *client));
    localModel = client.get();
    makeModel();
    model->setColourOnlyOn(true);
    model->refreshColourOnlyAvailability();
    EXPECT_FALSE(model->colourOnlyModelReady());
    EXPECT_FALSE(model->colourOnlyInForce());
    EXPECT_EQ(model->colourOnlyMissing(),
              "the local model can't read pictures, so colour only isn't here. colour and light works as ever.");
}

} // namespace
} // namespace oxel::testing
