// The real program through a batch of 40 photographs, as the photographer runs it: once every
// result is in, the results screen left untouched keeps the main thread idle, and the program holds
// little beyond the pictures its shared cache keeps within the budget.
#include "app/AppScenario.h"
#include "app/Application.h"
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

} // namespace
} // namespace oxel::bench
