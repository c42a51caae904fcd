// The real program through a batch of 40 photographs, as the photographer runs it: once every
// result is in, the results screen left untouched keeps the main thread idle, and the program holds
// little beyond the pictures its shared cache keeps within the budget; after a light move and in a
// reopened batch, every tile scrolled to draws a picture and the main thread goes idle.
#include "app/AppScenario.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "imaging/PictureCache.h"
#include "model/AppModel.h"
#include "platform/ProcessMemory.h"

#include <gtest/gtest.h>

namespace oxel::bench {
namespace {

using namespace std::chrono_literals;

constexpr int photographs = 40;
constexpr double mostIdlePercent = 2;
constexpr double mostBeyondPicturesMB = 400;

TEST(AppScale, FortyDevelopedLeaveTheMainThreadIdleAndHoldLittleBeyondTheirPictures)
{
    // As at the program's own start, before the photographs are made.
    Application::handLargeBuffersBackWhenFreed();
    AppProfile profile("app-scale", photographs, 1600, 1000);
    AppRun run;
    ASSERT_TRUE(run.addAll(profile, 120s));
    ASSERT_TRUE(run.developAll(240s));
    ASSERT_EQ(run.model().screen(), AppModel::Screen::results);
    // The debounced save and the last repaints come first.
    run.spinUntil([] { return false; }, 1s);

    EXPECT_LE(run.idleMainThreadPercent(2s), mostIdlePercent);
    const double held = double(residentBytes()) / (1 << 20);
    const double pictures = double(PictureCache::shared().bytesHeld()) / (1 << 20);
    RecordProperty("resident_MB", int(held));
    RecordProperty("beyond_pictures_MB", int(held - pictures));
    EXPECT_LE(held - pictures, mostBeyondPicturesMB);
}

// A budget that keeps the pictures of a screen or two of this batch, as the default one does for a
// batch of hundreds: the previews of tiles far from view are let go and made again when back.
constexpr size_t tightPictureBudget = size_t(256) << 20;

// A tile blank for good, not one whose picture waits behind a loaded machine's other work.
constexpr auto patience = 10s;

TEST(AppScale, FortyScrolledAfterALightMoveAndReopenedDrawEveryTileAndGoIdle)
{
    Application::handLargeBuffersBackWhenFreed();
    AppProfile profile("app-scroll", photographs, 1600, 1000);
    Uuid batch;
    {
        AppRun run;
        PictureCache::shared().setByteLimit(tightPictureBudget);
        run.application().window().resize(900, 600); // several screens of tiles
        ASSERT_TRUE(run.addAll(profile, 120s));
        ASSERT_TRUE(run.developAll(240s));
        const std::vector<int> steps = run.screenSteps();
        ASSERT_GT(steps.size(), 3u);
        run.scrollTo(steps.back());
        run.spinUntil([] { return false; }, 1s);
        run.model().setGlobalStrength(0.3);
        ASSERT_TRUE(run.spinUntil([&] { return run.previewsSettled(); }, 240s));
        // Back to the top a screen at a time, and down to the end again.
        std::vector<int> there(steps.rbegin(), steps.rend());
        there.insert(there.end(), steps.begin(), steps.end());
        EXPECT_EQ(run.blankTilesAlong(there, 2s, patience), 0) << "tiles in view without a picture after a light move";
        batch = run.model().batch()->id;
    }
    PictureCache::shared().clear();
    AppRun run;
    PictureCache::shared().setByteLimit(tightPictureBudget);
    run.application().window().resize(900, 600);
    EXPECT_EQ(run.reopenScrolled(batch, 2s, patience, 120s), 0)
        << "tiles in view without a picture in the reopened batch";
    ASSERT_TRUE(run.spinUntil([&] { return run.allRestored(); }, 240s));
    EXPECT_LE(run.idleMainThreadPercent(2s), mostIdlePercent) << "the main thread after scrolling the reopened batch";
    // The light moved in the reopened batch, then down to the end and back up.
    const std::vector<int> steps = run.screenSteps();
    run.model().setGlobalStrength(1.0);
    ASSERT_TRUE(run.spinUntil([&] { return run.previewsSettled(); }, 240s));
    std::vector<int> along(steps.begin(), steps.end());
    along.insert(along.end(), steps.rbegin(), steps.rend());
    EXPECT_EQ(run.blankTilesAlong(along, 2s, patience), 0)
        << "tiles in view without a picture after a light move in the reopened batch";
}

// Nobody answers a question on the offscreen platform: a run left with pictures not processed yet
// ends without one.
TEST(AppScale, ARunLeftWithPicturesNotProcessedEndsWithoutAsking)
{
    AppProfile profile("app-unprocessed", 2, 600, 400);
    AppRun run;
    ASSERT_TRUE(run.addAll(profile, 60s));
}

} // namespace
} // namespace oxel::bench
