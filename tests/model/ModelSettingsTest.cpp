#include "model/ModelSettings.h"
#include "library/JobRunner.h"
#include "model/HandoffApp.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

TEST(ModelSettingsTest, DatesRoundTripAndAnythingElseReadsAsAbsent)
{
    TemporaryFolder folder;
    SettingsStore store(folder / "settings.json");
    ModelSettings settings(store);
    EXPECT_FALSE(settings.compareLastUsed());
    const Date date = *InternetDate::parse("2026-12-07T08:15:00Z");
    settings.setCompareLastUsed(date);
    EXPECT_EQ(store.stringValue("compareLastUsed"), "2026-12-07T08:15:00Z");
    EXPECT_EQ(settings.compareLastUsed(), date);
    for (const char* text : {"yesterday", "2026-12-07", "2026-13-07T08:15:00Z", ""}) {
        store.set("compareHintLastShown", text);
        EXPECT_FALSE(settings.compareHintLastShown()) << text;
    }
    store.set("compareHintLastShown", 1765095300.0);
    EXPECT_FALSE(settings.compareHintLastShown());
}

TEST(ModelSettingsTest, FlagsOfTheWrongTypeTakeTheirDefaults)
{
    TemporaryFolder folder;
    SettingsStore store(folder / "settings.json");
    ModelSettings settings(store);
    store.set("resetSettingsEachBatch", 0);
    store.set("colourOnlyOn", "true");
    store.set("handoffSeen.shotwell", 1);
    store.set("seenMessageIds", "a");
    EXPECT_TRUE(settings.grainEnabled());
    store.set("grainEnabled", "no");
    EXPECT_TRUE(settings.grainEnabled());
    store.set("grainEnabled", 0);
    EXPECT_TRUE(settings.grainEnabled());
    store.set("grainEnabled", false);
    EXPECT_FALSE(settings.grainEnabled());
    store.set("grainEnabled", true);
    EXPECT_TRUE(settings.grainEnabled());
    EXPECT_TRUE(settings.resetSettingsEachBatch());
    EXPECT_FALSE(settings.colourOnlyOn());
    EXPECT_FALSE(settings.handoffSeen("shotwell"));
    EXPECT_TRUE(settings.seenMessageIds().empty());
    settings.setHandoffSeen(rawValue(HandoffApp::darktable));
    EXPECT_EQ(store.boolValue("handoffSeen.darktable"), true);
}

// Job ids from the user defaults go into request paths: one that is not a job id is refused, and a
// forged list longer than the runner keeps is cut to its newest entries.
TEST(ModelSettingsTest, WaitingConfirmationsKeepOnlyJobIdsAndAtMostTheRunnersShare)
{
    TemporaryFolder folder;
    SettingsStore store(folder / "settings.json");
    auto forged = nlohmann::json::array({{"../credits/balance?userId=2&x=", "2"}, {"job-1/download", "2"}, {"", "2"}});
    const size_t most = JobRunner::mostWaitingConfirmations;
    for (size_t i = 0; i <= most; ++i) forged.push_back({"job-" + std::to_string(i), "2"});
    store.setValue(ModelSettings::waitingConfirmationsKey, forged);
    ::testing::internal::CaptureStderr();
    const auto waiting = ModelSettings(store).waitingConfirmations();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("refused a job id"), std::string::npos);
    ASSERT_EQ(waiting.size(), most);
    EXPECT_EQ(waiting.front().jobId, "job-1");
    EXPECT_FALSE(waiting.front().stored) << "an entry that does not say was kept before its store";
    EXPECT_EQ(waiting.back().jobId, "job-" + std::to_string(most));
}

TEST(HandoffAppTest, HostsAreKnownByAWordInTheirName)
{
    EXPECT_EQ(handoffAppFromHostName("Shotwell Photo Manager"), HandoffApp::shotwell);
    EXPECT_EQ(handoffAppFromHostName("DarkTable"), HandoffApp::darktable);
    EXPECT_EQ(handoffAppFromHostName("photos"), std::nullopt);
    EXPECT_EQ(handoffAppFromHostName("other"), std::nullopt);
    EXPECT_EQ(handoffAppFromHostName(std::nullopt), std::nullopt);
    EXPECT_EQ(rawValue(HandoffApp::shotwell), "shotwell");
}

} // namespace
} // namespace oxel::testing
