#include "support/ModelFixture.h"

#include "library/BatchItem.h"
#include "platform/Uuid.h"

#include <nlohmann/json.hpp>

namespace oxel::testing {
namespace {

struct StartRow {
    const char* name;
    std::function<void(SettingsStore&)> stored;
    std::string nudge;
    double strength;
    double colour;
};

class StartupTest : public ModelTest {};

TEST_F(StartupTest, StartLookFollowsTheStoredSettingsAndLeavesThemAlone)
{
    const std::vector<StartRow> rows{
        {"no settings", [](SettingsStore&) {}, "", 1.0, 1.0},
        {"reset absent, standing look stored",
         [](SettingsStore& s) {
             s.set("standingNudge", "warm evening");
             s.set("standingLight", 0.6);
             s.set("standingColour", 0.3);
         },
         "", 1.0, 1.0},
        {"reset off, out-of-range amounts",
         [](SettingsStore& s) {
             s.set("resetSettingsEachBatch", false);
             s.set("standingLight", 1.7);
             s.set("standingColour", -0.2);
         },
         "", 1.0, 0.0},
        {"reset off, a stored nudge and strength",
         [](SettingsStore& s) {
             s.set("resetSettingsEachBatch", false);
             s.set("standingNudge", "soft window light");
             s.set("standingLight", 0.6);
         },
         "soft window light", 0.6, 1.0},
        {"values of the wrong type read as absent",
         [](SettingsStore& s) {
             s.set("resetSettingsEachBatch", "no");
             s.set("standingNudge", 12);
             s.set("standingLight", "bright");
         },
         "", 1.0, 1.0},
        {"reset off, amounts of the wrong type",
         [](SettingsStore& s) {
             s.set("resetSettingsEachBatch", false);
             s.set("standingNudge", true);
             s.set("standingLight", "bright");
             s.set("standingColour", std::vector<std::string>{"x"});
         },
         "", 1.0, 1.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& key : defaults().keys())
            if (key != "userId" && key != "accountToken") defaults().remove(key);
        row.stored(defaults());
        const auto before = defaults().keys();
        std::map<std::string, nlohmann::json> storedBefore;
        for (const auto& key : before) storedBefore[key] = *defaults().value(key);

        auto& m = makeModel();
        EXPECT_EQ(m.globalNudge(), row.nudge);
        EXPECT_DOUBLE_EQ(m.globalStrength(), row.strength);
        EXPECT_DOUBLE_EQ(m.globalColour(), row.colour);
        EXPECT_FALSE(m.alternativesOn());
        EXPECT_FALSE(m.colourOnlyOn());
        EXPECT_EQ(m.config(), AppConfig::defaults());
        EXPECT_EQ(m.screen(), AppModel::Screen::input);
        for (const auto& [key, value] : storedBefore) EXPECT_EQ(*defaults().value(key), value) << key;
        EXPECT_EQ(defaults().keys(), before);
    }
}

TEST_F(StartupTest, CachedConfigurationSetsTheRunnerButNeitherItsLimitNorTheMinimumVersion)
{
    defaults().set("appConfigCache", R"({"proMinimumAppVersion":"999.0","maxInFlightJobs":2,)"
                                     R"("detailTransferEnabled":false,"refineDivergenceLimit":0.4,)"
                                     R"("sameSceneStructureLimit":0.2,"suggestedGradeEnabled":false})");
    auto& m = makeModel();
    EXPECT_EQ(m.config().minimumAppVersion, "999.0");
    EXPECT_FALSE(m.config().detailTransferEnabled);
    EXPECT_FALSE(m.runner().limits.detailTransferEnabled);
    EXPECT_FLOAT_EQ(m.runner().limits.refineDivergenceLimit, 0.4f);
    EXPECT_FLOAT_EQ(m.runner().limits.sameSceneLimit, 0.2f);
    EXPECT_FALSE(m.runner().asksForGrade);
    EXPECT_EQ(m.runner().maxInFlight, JobRunner::defaultMaxInFlight);
    EXPECT_FALSE(m.updateRequired());
}

TEST_F(StartupTest, CorruptCachedConfigurationLeavesTheDefaults)
{
    for (const char* cache : {"{\"maxInFlightJobs\":", "not json", "[1,2,3]", "\"text\""}) {
        SCOPED_TRACE(cache);
        defaults().set("appConfigCache", cache);
        auto& m = makeModel();
        EXPECT_EQ(m.config(), AppConfig::defaults());
        EXPECT_TRUE(m.runner().asksForGrade);
    }
    defaults().set("appConfigCache", 42);
    EXPECT_EQ(makeModel().config(), AppConfig::defaults());
}

TEST_F(StartupTest, ColourOnlySwitchIsReadFromTheDefaults)
{
    defaults().set("colourOnlyOn", true);
    EXPECT_TRUE(makeModel().colourOnlyOn());
    defaults().set("colourOnlyOn", "yes");
    EXPECT_FALSE(makeModel().colourOnlyOn());
}

class BatchLookTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }
};

TEST_F(BatchLookTest, ChangingTheNudgeSavesTheStandingLookAndTheSameNudgeTwiceSavesNothing)
{
    model->setGlobalNudge("golden hour");
    EXPECT_EQ(defaults().stringValue("standingNudge"), "golden hour");
    EXPECT_EQ(defaults().doubleValue("standingLight"), 1.0);

    defaults().remove("standingNudge");
    model->setGlobalNudge("golden hour");
    EXPECT_FALSE(defaults().contains("standingNudge"));
    EXPECT_FALSE(model->saving().batchDirty()); // no record yet: nothing to save
}

TEST_F(BatchLookTest, StandingChangesCountOnlyBeyondTheTolerance)
{
    EXPECT_FALSE(model->hasStandingChanges());
    model->setGlobalStrength(1.0 - 0.0004);
    EXPECT_FALSE(model->hasStandingChanges());
    model->setGlobalStrength(1.0 - 0.0006);
    EXPECT_TRUE(model->hasStandingChanges());
    model->setGlobalStrength(1.0);
    model->setGlobalColour(1.0 - 0.0004);
    EXPECT_FALSE(model->hasStandingChanges());
    model->setGlobalColour(1.0 - 0.0006);
    EXPECT_TRUE(model->hasStandingChanges());
    model->setGlobalColour(1.0);
    model->setGlobalNudge(" ");
    EXPECT_TRUE(model->hasStandingChanges());
}

TEST_F(BatchLookTest, ResetStandingReturnsBothLooksToPlain)
{
    model->setGlobalNudge("moody");
    model->setGlobalStrength(0.4);
    model->setGlobalColour(0.2);
    model->saveStanding();
    model->resetStanding();
    EXPECT_EQ(model->globalNudge(), "");
    EXPECT_DOUBLE_EQ(model->globalStrength(), 1.0);
    EXPECT_DOUBLE_EQ(model->globalColour(), 1.0);
    EXPECT_EQ(defaults().stringValue("standingNudge"), "");
    EXPECT_EQ(defaults().doubleValue("standingLight"), 1.0);
    EXPECT_EQ(defaults().doubleValue("standingColour"), 1.0);
    EXPECT_FALSE(model->hasStandingChanges());
}

TEST_F(BatchLookTest, ObserversReadTheNewValueOnTheMainThread)
{
    std::vector<std::string> nudges;
    std::vector<double> strengths;
    bool offMain = false;
    auto connection = model->changed.connect([&](AppModel::Field field) {
        offMain = offMain || !mainExecutor().onMainThread();
        if (field == AppModel::Field::globalNudge) nudges.push_back(model->globalNudge());
        if (field == AppModel::Field::globalStrength) strengths.push_back(model->globalStrength());
    });
    model->setGlobalNudge("a");
    model->setGlobalNudge("b");
    model->setGlobalStrength(0.5);
    EXPECT_EQ(nudges, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(strengths, std::vector<double>{0.5});
    EXPECT_FALSE(offMain);
}

TEST_F(BatchLookTest, ColourOnlyAvailabilityIsAnnouncedOnlyWhenItChanges)
{
    int announced = 0;
    auto connection = model->changed.connect([&](AppModel::Field field) {
        if (field == AppModel::Field::colourOnlyModelReady || field == AppModel::Field::colourOnlyMissing) ++announced;
    });
    model->refreshColourOnlyAvailability();
    EXPECT_FALSE(model->colourOnlyModelReady());
    ASSERT_TRUE(model->colourOnlyMissing());
    EXPECT_EQ(announced, 1);
    model->refreshColourOnlyAvailability();
    languageModel.availabilityChanged.emit();
    EXPECT_EQ(announced, 1);
}

TEST_F(BatchLookTest, RunnerCallbacksLeaveAnItemOutsideTheBatchAlone)
{
    auto stranger =
        BatchItem::make(Uuid::random(), folder / "elsewhere.jpg", Origin::opened, std::nullopt, std::nullopt);
    model->runner().onDelivered(stranger);
    model->runner().onSubmitted(stranger);
    model->runner().onSettled(stranger);
    EXPECT_TRUE(model->saving().thumbDirty().empty());
    EXPECT_TRUE(model->saving().dirty().empty());
    EXPECT_EQ(model->tasks().runningCount(), 0u);

    bool announced = false;
    auto connection = model->changed.connect(
        [&](AppModel::Field field) { announced = announced || field == AppModel::Field::updateRequired; });
    model->runner().onUpdateRequired();
    EXPECT_TRUE(model->updateRequired());
    EXPECT_TRUE(announced);
}

} // namespace
} // namespace oxel::testing
