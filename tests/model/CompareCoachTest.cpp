#include "model/CompareCoach.h"
#include "async/ManualLoop.h"
#include "library/InternetDate.h"
#include "model/ModelSettings.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <vector>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;

// A coach on a virtual clock with user defaults of its own, recording every flip of `showing`.
class CompareCoachTest : public ::testing::Test {
protected:
    ModelSettings settings() { return ModelSettings(store); }
    void openThree()
    {
        for (int i = 0; i < 3; ++i) coach.lightboxShowed(pictures[i]);
    }

    ManualLoop loop;
    TemporaryFolder folder;
    SettingsStore store{folder / "settings.json"};
    CompareCoach coach{{&store, &loop}};
    std::vector<bool> flips;
    Connection recording = coach.showingChanged.connect([this](bool showing) { flips.push_back(showing); });
    const Uuid batchA = Uuid::random();
    const Uuid batchB = Uuid::random();
    const std::vector<Uuid> pictures{Uuid::random(), Uuid::random(), Uuid::random(), Uuid::random()};
};

TEST_F(CompareCoachTest, TheResultsHintShowsOnceAHalfDayAndHidesAfterFiveSeconds)
{
    coach.batchChanged(batchA);
    coach.resultsShown();
    EXPECT_TRUE(coach.showing());
    EXPECT_EQ(settings().compareHintLastShown(), loop.now());
    coach.resultsShown();
    EXPECT_EQ(flips, std::vector<bool>{true});

    loop.advance(4999ms);
    EXPECT_TRUE(coach.showing());
    loop.advance(1ms);
    EXPECT_FALSE(coach.showing());

    // Another batch within 12 hours: no results hint, but the lightbox still speaks at the third picture.
    loop.advance(11h);
    coach.batchChanged(batchB);
    coach.resultsShown();
    EXPECT_FALSE(coach.showing());
    coach.lightboxShowed(pictures[0]);
    coach.lightboxShowed(pictures[1]);
    EXPECT_FALSE(coach.showing());
    coach.lightboxShowed(pictures[2]);
    EXPECT_TRUE(coach.showing());

    // Past the 12 hours a new batch gets its results hint again.
    loop.advance(13h);
    coach.batchChanged(batchA);
    coach.resultsShown();
    EXPECT_TRUE(coach.showing());
}

TEST_F(CompareCoachTest, ARecentCompareSilencesBothHintsForAWeek)
{
    settings().setCompareLastUsed(loop.now() - 3 * 24h);
    coach.batchChanged(batchA);
    coach.resultsShown();
    openThree();
    EXPECT_TRUE(flips.empty());

    loop.advance(4 * 24h - 1s);
    coach.batchChanged(batchB);
    coach.resultsShown();
    EXPECT_FALSE(coach.showing());
    loop.advance(1s);
    coach.resultsShown();
    EXPECT_TRUE(coach.showing());
}

TEST_F(CompareCoachTest, AFutureCompareCountsAsRecentAndANonDateAsAbsent)
{
    settings().setCompareLastUsed(loop.now() + 24h);
    EXPECT_TRUE(coach.comparedRecently());
    coach.resultsShown();
    EXPECT_FALSE(coach.showing());

    store.set(ModelSettings::compareLastUsedKey, int64_t(12));
    store.set(ModelSettings::compareHintLastShownKey, "yesterday");
    EXPECT_FALSE(coach.compareLastUsed());
    EXPECT_FALSE(coach.comparedRecently());
    coach.resultsShown();
    EXPECT_TRUE(coach.showing());
}

TEST_F(CompareCoachTest, OnePictureOpenedThreeTimesCountsOnce)
{
    coach.batchChanged(batchA);
    for (int i = 0; i < 3; ++i) coach.lightboxShowed(pictures[0]);
    coach.lightboxShowed(pictures[1]);
    EXPECT_FALSE(coach.showing());
    coach.lightboxShowed(pictures[2]);
    EXPECT_TRUE(coach.showing());
    // It speaks once a batch in the lightbox.
    loop.advance(5s);
    coach.lightboxShowed(pictures[3]);
    EXPECT_FALSE(coach.showing());
}

TEST_F(CompareCoachTest, ACompareHidesAtOnceAndStopsBothHintsForTheBatch)
{
    coach.batchChanged(batchA);
    coach.resultsShown();
    ASSERT_TRUE(coach.showing());
    coach.compared();
    EXPECT_FALSE(coach.showing());
    EXPECT_TRUE(coach.comparedThisBatch());
    EXPECT_EQ(coach.compareLastUsed(), loop.now());
    openThree();
    EXPECT_FALSE(coach.showing());
    // The cancelled hide does not fire later.
    loop.advance(10s);
    EXPECT_EQ(flips, (std::vector<bool>{true, false}));
}

TEST_F(CompareCoachTest, TheSameBatchChangesNothingAndAnotherClearsTheCount)
{
    coach.batchChanged(batchA);
    coach.lightboxShowed(pictures[0]);
    coach.lightboxShowed(pictures[1]);
    coach.batchChanged(batchA);
    coach.lightboxShowed(pictures[2]);
    ASSERT_TRUE(coach.showing());
    // The same batch again leaves the hint on screen until its 5 s are over.
    loop.advance(2s);
    coach.batchChanged(batchA);
    EXPECT_TRUE(coach.showing());
    loop.advance(3s);
    EXPECT_FALSE(coach.showing());

    coach.batchChanged(batchB);
    coach.lightboxShowed(pictures[0]);
    coach.lightboxShowed(pictures[1]);
    coach.batchChanged(std::nullopt);
    coach.lightboxShowed(pictures[2]);
    EXPECT_FALSE(coach.showing());
}

TEST_F(CompareCoachTest, ASecondShowRestartsTheFiveSeconds)
{
    coach.show();
    loop.advance(4s);
    coach.show();
    loop.advance(4s);
    EXPECT_TRUE(coach.showing());
    loop.advance(1s);
    EXPECT_FALSE(coach.showing());
    // Another batch hides a hint on screen at once.
    coach.show();
    coach.batchChanged(batchB);
    EXPECT_FALSE(coach.showing());
}

} // namespace
} // namespace oxel::testing
