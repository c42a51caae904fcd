#include "BandFixture.h"

#include "support/ui/PixelChecks.h"
#include "support/ui/Screenshots.h"
#include "ui/kit/BoxChoice.h"
#include "ui/kit/BoxOption.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LinkButton.h"
#include "ui/kit/NudgeEditor.h"
#include "ui/kit/SliderValue.h"
#include "ui/kit/StrengthTrack.h"
#include "ui/window/BandRules.h"
#include "ui/window/ColourBand.h"
#include "ui/window/NudgeBand.h"
#include "ui/window/ResultsBand.h"
#include "ui/window/StrengthBand.h"

#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace oxel;
using namespace oxel::testing;

namespace {

constexpr int bandWidth = 1200;

QPoint trackPoint(StrengthTrack& track, double fraction)
{
    return {int(StrengthTrack::positionOf(fraction, track.width())), track.height() / 2};
}

struct NudgeBandTest : BandTest {
    // The model goes before the local model it was given.
    ~NudgeBandTest() override { model.reset(); }

    std::unique_ptr<NudgeBand> shownBand()
    {
        auto band = std::make_unique<NudgeBand>(*model);
        band->resize(bandWidth, band->sizeHint().height());
        band->show();
        settle();
        return band;
    }

    // Colour only switched on, with a model on this computer that reads pictures.
    void putColourOnlyInForce()
    {
        localModel = &readyModel;
        makeModel();
        model->refreshColourOnlyAvailability();
        model->setColourOnlyOn(true);
        ASSERT_TRUE(model->colourOnlyInForce());
    }

    // Ready and reading pictures; never asked to grade here.
    class ReadyModel final : public LanguageModel {
    public:
        ModelAvailability availability() const override { return {ModelAvailability::Reason::available, {}}; }
        bool readsPictures() const override { return true; }
        void refreshAvailability() override {}
        Task<ModelReply> respond(ModelRequest, CancelToken) override { co_return ModelFailure{"not here"}; }
    } readyModel;
};

struct ResultsBandTest : BandTest {
    std::unique_ptr<ResultsBand> shownBand()
    {
        auto band = std::make_unique<ResultsBand>(*model);
        band->resize(bandWidth, band->sizeHint().height());
        band->show();
        settle();
        return band;
    }
};

} // namespace

TEST_F(NudgeBandTest, PlaceholderRotatesOnTicksUntilSomethingIsTyped)
{
    auto band = shownBand();
    const auto& builtIn = bands::builtInPlaceholders();
    EXPECT_EQ(band->editor()->placeholder().toStdString(), builtIn[0]);
    band->tick();
    band->tick();
    EXPECT_EQ(band->editor()->placeholder().toStdString(), builtIn[2]);

    QTest::keyClicks(band->editor()->editor(), "w");
    EXPECT_EQ(model->globalNudge(), "w") << "each keystroke writes the batch nudge";
    band->tick();
    EXPECT_EQ(band->placeholderIndex(), 2u);
    QTest::keyClick(band->editor()->editor(), Qt::Key_Backspace);
    EXPECT_EQ(model->globalNudge(), "");
    band->tick();
    EXPECT_EQ(band->placeholderIndex(), 3u) << "resumes from where it stopped";
    EXPECT_EQ(band->editor()->placeholder().toStdString(), builtIn[3]);

    // Five suggestions arrive: index 3 still reads inside them, and the modulus is now five.
    await(model->refreshSuggestions());
    settle();
    const auto& suggested = model->nudgePlaceholders();
    ASSERT_EQ(suggested.size(), 5u);
    EXPECT_EQ(band->editor()->placeholder().toStdString(), suggested[3]);
    band->tick();
    band->tick();
    EXPECT_EQ(band->placeholderIndex(), 0u);
    EXPECT_EQ(band->editor()->placeholder().toStdString(), suggested[0]);
}

TEST_F(NudgeBandTest, ABlankStopsTheRotationAndTheBandStartsAgainWhenShownAgain)
{
    auto band = shownBand();
    band->tick();
    model->setGlobalNudge(" ");
    settle();
    EXPECT_EQ(band->editor()->text(), " ");
    EXPECT_FALSE(band->editor()->isPlaceholderShown());
    band->tick();
    EXPECT_EQ(band->placeholderIndex(), 1u);
    band->hide();
    band->show();
    EXPECT_EQ(band->placeholderIndex(), 0u);
}

TEST_F(NudgeBandTest, EachBatchAfreshShowsOnlyTheHeaderAndTheEditor)
{
    auto band = shownBand();
    const QStringList texts = visibleTexts(*band);
    EXPECT_TRUE(texts.contains("goes into every image below. edit one to unlink it."));
    EXPECT_FALSE(texts.contains("reset"));
    for (auto* track : band->findChildren<StrengthTrack*>()) EXPECT_FALSE(track->isVisibleTo(band.get()));
    model->setGlobalStrength(0.4);
    settle();
    EXPECT_FALSE(visibleTexts(*band).contains("reset")) << "never while each batch starts afresh";
}

TEST_F(NudgeBandTest, CarriedOverLookShowsSlidersAndResetOnceItDiffers)
{
    defaults().set("resetSettingsEachBatch", false);
    auto band = shownBand();
    EXPECT_TRUE(
        visibleTexts(*band).contains("goes into every image below, and every batch after. edit one to unlink it."));
    EXPECT_FALSE(visibleTexts(*band).contains("reset")) << "the house's own look";
    auto tracks = band->findChildren<StrengthTrack*>();
    ASSERT_EQ(tracks.size(), 2);
    StrengthTrack& light = *tracks[0];
    ASSERT_TRUE(light.isVisibleTo(band.get()));
    EXPECT_EQ(light.resetValue(), 1.0);

    QTest::mouseClick(&light, Qt::LeftButton, {}, trackPoint(light, 0.5));
    settle();
    EXPECT_NEAR(model->globalStrength(), 0.5, 0.02);
    EXPECT_NEAR(*defaults().doubleValue("standingLight"), model->globalStrength(), 1e-9) << "kept as the standing look";
    auto links = band->findChildren<LinkButton*>();
    ASSERT_EQ(links.size(), 1);
    EXPECT_TRUE(links[0]->isVisibleTo(band.get()));
    EXPECT_EQ(links[0]->toolTip(),
              "the nudge, light and colour back to oxel pro's own, for this batch and every one after");

    model->setGlobalNudge("harder sun");
    links[0]->click();
    settle();
    EXPECT_EQ(model->globalNudge(), "");
    EXPECT_EQ(model->globalStrength(), 1.0);
    EXPECT_EQ(*defaults().doubleValue("standingLight"), 1.0);
    EXPECT_FALSE(links[0]->isVisibleTo(band.get()));
}

TEST_F(NudgeBandTest, TheResetEachBatchSwitchReachesTheBandAtOnceBothWays)
{
    auto band = shownBand();
    QWidget& light = *band->findChildren<StrengthTrack*>().front();
    ASSERT_FALSE(light.isVisibleTo(band.get()));
    model->setResetSettingsEachBatch(false);
    settle();
    EXPECT_TRUE(light.isVisibleTo(band.get())) << "no keystroke needed";
    EXPECT_TRUE(
        visibleTexts(*band).contains("goes into every image below, and every batch after. edit one to unlink it."));
    model->setResetSettingsEachBatch(true);
    settle();
    EXPECT_FALSE(light.isVisibleTo(band.get()));
    EXPECT_EQ(defaults().boolValue("resetSettingsEachBatch"), true);
}

TEST_F(NudgeBandTest, ColourOnlyShowsItsHeaderAndLeavesTheNudgeAlone)
{
    putColourOnlyInForce();
    model->setGlobalNudge("warmer");
    auto band = shownBand();
    EXPECT_TRUE(band->showsColourOnlyHeader());
    const QStringList texts = visibleTexts(*band);
    EXPECT_TRUE(texts.contains("colour only"));
    EXPECT_TRUE(texts.contains("the on-device model reads each picture on this computer and the house grades it. no "
                               "nudge, nothing uploaded, no shots."));
    EXPECT_FALSE(band->editor()->isVisibleTo(band.get()));
    EXPECT_GE(band->sizeHint().height(), 66 + 12 + 8) << "at least 66 high inside its margins";
    band->tick();
    EXPECT_EQ(band->placeholderIndex(), 0u) << "the clock is not heard in colour only";
    EXPECT_EQ(model->globalNudge(), "warmer");
}

TEST_F(NudgeBandTest, Screenshots)
{
    {
        auto band = shownBand();
        screenshots::capture(*band, "nudge-band-each-batch-afresh");
    }
    defaults().set("resetSettingsEachBatch", false);
    model->setGlobalStrength(0.72);
    model->setGlobalNudge("late low sun, long shadows");
    {
        auto band = shownBand();
        const auto shots = screenshots::capture(*band, "nudge-band-carried-over");
        EXPECT_TRUE(pixels::pixelIs(shots.light, 2, 2, pixels::paper(), 2));
    }
    putColourOnlyInForce();
    auto band = shownBand();
    screenshots::capture(*band, "nudge-band-colour-only");
}

TEST_F(ResultsBandTest, BatchSliderChangesRunTheirStepsInOrderForDragClickAndDoubleClick)
{
    auto items = dropPhotographs(2);
    for (auto& item : items) develop(*item);
    auto band = shownBand();
    StrengthTrack& track = *band->strengthBand()->track();

    struct Seen {
        double value;
        bool batchDirty;
        std::optional<double> standing;
    };
    std::vector<Seen> seen;
    auto watch = model->changed.connect([&](AppModel::Field field) {
        if (field == AppModel::Field::globalStrength)
            seen.push_back(
                {model->globalStrength(), model->saving().batchDirty(), defaults().doubleValue("standingLight")});
    });
    auto expectSteps = [&](const char* gesture) {
        ASSERT_EQ(seen.size(), 1u) << gesture;
        const double value = seen.front().value;
        EXPECT_FALSE(seen.front().batchDirty) << gesture << ": stored before the batch is marked";
        EXPECT_NE(seen.front().standing, value) << gesture << ": stored before it is kept as standing";
        EXPECT_TRUE(model->saving().batchDirty()) << gesture;
        EXPECT_EQ(defaults().doubleValue("standingLight"), value) << gesture;
        // Every preview is rendered again once the value has rested.
        std::vector<int> rendered(items.size(), 0);
        std::vector<Connection> previews;
        for (size_t index = 0; index < items.size(); ++index)
            previews.push_back(items[index]->changed.connect([&rendered, index](BatchItem::Field field) {
                if (field == BatchItem::Field::previewImage) ++rendered[index];
            }));
        loop.advance(PreviewRenderer::restDelay);
        ASSERT_TRUE(
            runUntil([&] { return model->previews().inFlight().empty() && model->previews().wanted().empty(); }));
        for (int count : rendered) EXPECT_GE(count, 1) << gesture;
        seen.clear();
        model->saveNow();
    };

    model->saveNow();
    QTest::mousePress(&track, Qt::LeftButton, {}, trackPoint(track, 0.3));
    expectSteps("click");
    QTest::mouseMove(&track, trackPoint(track, 0.6));
    expectSteps("drag");
    QTest::mouseRelease(&track, Qt::LeftButton, {}, trackPoint(track, 0.6));
    QTest::mouseDClick(&track, Qt::LeftButton, {}, trackPoint(track, 0.2));
    // The double click's first press may move the thumb; the double click itself restores 1.0.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().value, 1.0);
    seen.erase(seen.begin(), seen.end() - 1);
    expectSteps("double click");
    settle();
    EXPECT_EQ(band->strengthBand()->value()->text(), "1.00");
}

TEST_F(ResultsBandTest, ARestoredBatchNeverBecomesTheStandingLook)
{
    auto items = dropPhotographs(1);
    develop(*items.front());
    auto band = shownBand();
    StrengthTrack& track = *band->strengthBand()->track();
    defaults().set("standingLight", 0.9);
    bool renewing = false;
    bool moved = false;
    // The track is moved while the model puts the standing look back for a new batch.
    auto watch = model->changed.connect([&](AppModel::Field field) {
        if (field != AppModel::Field::globalStrength || !renewing || moved) return;
        moved = true;
        QTest::mouseClick(&track, Qt::LeftButton, {}, trackPoint(track, 0.3));
    });
    defaults().set("resetSettingsEachBatch", false);
    renewing = true;
    model->newBatch();
    renewing = false;
    ASSERT_TRUE(moved);
    EXPECT_EQ(defaults().doubleValue("standingLight"), 0.9);
}

TEST_F(ResultsBandTest, LightBatchPutsLightLeftAndColourRightInEqualHalves)
{
    auto items = dropPhotographs(2);
    for (auto& item : items) develop(*item);
    auto band = shownBand();
    EXPECT_TRUE(band->column(0)->isAncestorOf(band->strengthBand()));
    EXPECT_TRUE(band->column(1)->isAncestorOf(band->colourBand()));
    EXPECT_TRUE(band->colourBand()->isVisibleTo(band.get()));
    EXPECT_NEAR(band->column(0)->width(), band->column(1)->width(), 1);
    EXPECT_EQ(band->column(0)->x(), 14);
    EXPECT_EQ(band->column(1)->x() - band->column(0)->geometry().right() - 1, 56);
    const QStringList texts = visibleTexts(*band);
    for (const char* text : {"original", "refined", "full send", "neutral", "subtle colour", "big colour"})
        EXPECT_FALSE(texts.contains(text)) << "stop names are painted, not labels: " << text;
    EXPECT_TRUE(texts.contains("moves every image. an image you have set keeps its offset."));
    EXPECT_TRUE(texts.contains("the house's colour over every image. an image you have set keeps its offset."));
}

TEST_F(ResultsBandTest, NoLooksOrSuggestedGradesOffLeaveTheRightHalfEmpty)
{
    auto items = dropPhotographs(2);
    for (auto& item : items) develop(*item, {.looks = false});
    auto band = shownBand();
    EXPECT_FALSE(band->colourBand()->isVisibleTo(band.get()));
    EXPECT_NEAR(band->column(0)->width(), band->column(1)->width(), 1) << "the empty half keeps its width";

    develop(*items.front());
    settle();
    EXPECT_TRUE(band->colourBand()->isVisibleTo(band.get()));
    AppConfig config = model->config();
    config.suggestedGradeEnabled = false;
    model->applyConfig(config, "{}");
    settle();
    EXPECT_FALSE(band->colourBand()->isVisibleTo(band.get()));
}

TEST_F(ResultsBandTest, RunnerUpChoiceOnlyWhileSomeResultOffersOne)
{
    auto items = dropPhotographs(2);
    for (auto& item : items) develop(*item, {.runnerUp = false});
    auto band = shownBand();
    BoxChoice& choice = *band->colourBand()->lookChoice();
    EXPECT_FALSE(choice.isVisibleTo(band.get()));

    develop(*items.back());
    settle();
    ASSERT_TRUE(choice.isVisibleTo(band.get()));
    EXPECT_EQ(choice.selection(), 0);
    // At its ideal size: each option as wide as its label, nothing at the sides.
    for (int index = 0; index < choice.optionCount(); ++index) {
        const qreal label = QFontMetricsF(uiFont(12)).horizontalAdvance(choice.option(index)->label());
        EXPECT_NEAR(choice.option(index)->width(), label, 1) << index;
    }
    QTest::mouseClick(choice.option(1), Qt::LeftButton);
    EXPECT_TRUE(model->alternativesOn());
    settle();
    EXPECT_EQ(choice.selection(), 1);
}

TEST_F(ResultsBandTest, ColourOnlyBatchPutsColourFirstAndOffersTheLightWhileNothingDevelops)
{
    auto items = dropPhotographs(3);
    for (auto& item : items) develop(*item, {.colourOnly = true, .runnerUp = false});
    auto band = shownBand();
    EXPECT_TRUE(band->column(0)->isAncestorOf(band->colourBand()));
    EXPECT_FALSE(band->strengthBand()->isVisibleTo(band.get()));
    ASSERT_TRUE(band->column(1)->isAncestorOf(band->lightOffer()));
    EXPECT_TRUE(band->lightOffer()->isVisibleTo(band.get()));
    EXPECT_EQ(band->lightOffer()->text(), "want the light too? develop them with colour and light");
    EXPECT_EQ(band->lightOffer()->x(), 0) << "aligned leading in its column";

    items[1]->wantsColourOnly = true;
    items[1]->setPhase(phase::Queued{});
    settle();
    EXPECT_FALSE(band->lightOffer()->isVisibleTo(band.get())) << "hidden while anything is in flight";
    EXPECT_NEAR(band->column(0)->width(), band->column(1)->width(), 1);
}

TEST_F(ResultsBandTest, Screenshots)
{
    auto items = dropPhotographs(2);
    develop(*items[0]);
    develop(*items[1], {.runnerUp = false});
    model->setGlobalStrength(0.64);
    model->setGlobalColour(0.8);
    {
        auto band = shownBand();
        screenshots::capture(*band, "results-band-light-and-colour");
    }
    for (auto& item : items) develop(*item, {.looks = false});
    {
        auto band = shownBand();
        screenshots::capture(*band, "results-band-no-looks");
    }
    for (auto& item : items) develop(*item, {.colourOnly = true, .runnerUp = false});
    auto band = shownBand();
    screenshots::capture(*band, "results-band-colour-only-offer");
}
