#include "support/ModelFixture.h"

#include "develop/grade/PersonSegmenter.h"
#include "develop/segment/EmbeddedModel.h"
#include "imaging/PictureCache.h"
#include "platform/BuildInfo.h"

#include <nlohmann/json.hpp>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

class LaunchTest : public ModelTest {
protected:
    void SetUp() override { makeModel(); }

    void fetchConfig(const Json& config)
    {
        backend.setRemoteConfig(config);
        await(model->refreshConfig());
    }
    void answer(const std::string& pathPrefix, std::string body, int status = 0)
    {
        local::LocalFaults faults;
        faults.pathPrefix = pathPrefix;
        faults.answer = std::move(body);
        faults.status = status;
        backend.setFaults(faults);
    }
    void fail(const std::string& pathPrefix, int status, int times = -1)
    {
        local::LocalFaults faults;
        faults.pathPrefix = pathPrefix;
        faults.status = status;
        faults.times = times;
        backend.setFaults(faults);
    }
    void runLaunchTasks()
    {
        ASSERT_TRUE(runUntil([&] { return model->tasks().runningCount() == 0; }));
    }
};

TEST_F(LaunchTest, LaunchMovesTheExportFormatAndFetchesTheRemoteData)
{
    defaults().set("exportFormat", "tiff");
    model->launch();
    runLaunchTasks();
    EXPECT_EQ(defaults().stringValue("exportFormats"), "tiff");
    EXPECT_EQ(defaults().stringValue("exportFormat"), "tiff");
    EXPECT_EQ(requestsTo("/config/app").size(), 1u);
    EXPECT_EQ(requestsTo("/credits/balance").size(), 1u);
    EXPECT_TRUE(model->balance());
    EXPECT_FALSE(model->nudgePlaceholders().empty());
    // The first launch that records a version asks for no message.
    EXPECT_TRUE(requestsTo("/config/message").empty());
    EXPECT_EQ(defaults().stringValue("lastLaunchedAppVersion"), appVersion());
    // The launch's fetch counts: an activation right after it asks for nothing.
    model->refreshConfigIfStale();
    runLaunchTasks();
    EXPECT_EQ(requestsTo("/config/app").size(), 1u);
    for (const auto& request : requestsTo("/config/")) EXPECT_FALSE(request.authorization) << request.path;
}

TEST_F(LaunchTest, LaunchBoundsThePictureMemoryAndInstallsTheBuiltInSegmenter)
{
    auto& cache = PictureCache::shared();
    const size_t before = cache.byteLimit();
    defaults().set("pictureMemoryMegabytes", 700);
    model->launch();
    EXPECT_EQ(cache.byteLimit(), size_t(700) << 20);
    EXPECT_EQ(PersonSegmenter::installed() != nullptr, !embeddedSegmentationModel().empty());
    runLaunchTasks();
    cache.setByteLimit(before);
}

TEST_F(LaunchTest, ExportFormatMovesOnlyAKnownFormatIntoAnEmptyKey)
{
    defaults().set("exportFormat", "bmp");
    migrateExportFormatDefaults(defaults());
    EXPECT_FALSE(defaults().contains("exportFormats"));
    defaults().set("exportFormat", 3);
    migrateExportFormatDefaults(defaults());
    EXPECT_FALSE(defaults().contains("exportFormats"));
    defaults().set("exportFormat", "png");
    defaults().set("exportFormats", "jpeg");
    migrateExportFormatDefaults(defaults());
    EXPECT_EQ(defaults().stringValue("exportFormats"), "jpeg");
}

TEST_F(LaunchTest, InFlightLimitIsBoundedAndKeptWhenAConfigurationSaysNothingUsable)
{
    const std::vector<std::pair<Json, int>> steps{
        {Json{{"maxInFlightJobs", 9}}, 4},
        {Json{{"maxInFlightJobs", 2}}, 2},
        {Json{{"maxInFlightJobs", 0}}, 2},
        {Json{{"maxInFlightJobs", -3}}, 2},
        {Json::object(), 2},
        {Json{{"maxInFlightJobs", 3}}, 3},
    };
    for (const auto& [config, limit] : steps) {
        SCOPED_TRACE(config.dump());
        fetchConfig(config);
        EXPECT_EQ(model->runner().maxInFlight, limit);
        EXPECT_EQ(defaults().stringValue("appConfigCache"), config.dump());
    }
}

TEST_F(LaunchTest, MinimumVersionAboveTheApplicationsRaisesUpdateRequired)
{
    fetchConfig({{"proMinimumAppVersion", appVersion()}});
    EXPECT_FALSE(model->updateRequired());
    EXPECT_EQ(model->config().minimumAppVersion, appVersion());
    fetchConfig({{"proMinimumAppVersion", "999.0"}});
    EXPECT_TRUE(model->updateRequired());
    fetchConfig(Json::object());
    EXPECT_TRUE(model->updateRequired());
}

TEST_F(LaunchTest, ActivationFetchesAgainOnlyAfterTenMinutes)
{
    await(model->refreshConfig());
    loop.advance(599s);
    model->refreshConfigIfStale();
    runLaunchTasks();
    EXPECT_EQ(requestsTo("/config/app").size(), 1u);
    loop.advance(1s);
    model->refreshConfigIfStale();
    runLaunchTasks();
    EXPECT_EQ(requestsTo("/config/app").size(), 2u);
}

TEST_F(LaunchTest, FailedFetchCountsAsAFetch)
{
    fail("/config/app", 500);
    model->refreshConfigIfStale();
    runLaunchTasks();
    EXPECT_EQ(requestsTo("/config/app").size(), 1u);
    EXPECT_FALSE(defaults().contains("appConfigCache"));
    loop.advance(599s);
    model->refreshConfigIfStale();
    runLaunchTasks();
    EXPECT_EQ(requestsTo("/config/app").size(), 1u);
}

TEST_F(LaunchTest, HostileConfigurationAnswersChangeNothing)
{
    fetchConfig({{"maxInFlightJobs", 2}, {"detailTransferEnabled", false}});
    const auto config = model->config();
    const auto cache = defaults().stringValue("appConfigCache");
    const std::vector<std::pair<std::string, int>> answers{
        {"{\"maxInFlightJobs\": 1", 200},  {"not json at all", 200},         {"[1, 2, 3]", 200}, {"\"text\"", 200},
        {"{\"maxInFlightJobs\": 1}", 500}, {std::string(3 << 20, '{'), 200},
    };
    for (const auto& [body, status] : answers) {
        SCOPED_TRACE(body.substr(0, 40));
        answer("/config/app", body, status);
        await(model->refreshConfig());
        EXPECT_EQ(model->config(), config);
        EXPECT_EQ(defaults().stringValue("appConfigCache"), cache);
        EXPECT_EQ(model->runner().maxInFlight, 2);
    }
}

TEST_F(LaunchTest, BalanceIsFetchedForTheSignedInAccountOnly)
{
    await(model->refreshBalance());
    ASSERT_TRUE(model->balance());
    signOut();
    makeModel();
    await(model->refreshBalance());
    EXPECT_FALSE(model->balance());
    EXPECT_EQ(requestsTo("/credits/balance").size(), 1u);
}

TEST_F(LaunchTest, ABalanceThatFailsAtLaunchIsAskedAgainSoonForAboutAMinute)
{
    // The backend still starting when the program is up.
    fail("/credits/balance", 503, 3);
    model->launch();
    ASSERT_TRUE(runUntil([&] { return model->balance().has_value(); }));
    EXPECT_EQ(requestsTo("/credits/balance").size(), 4u);
    EXPECT_LT(loop.elapsed(), 10s);

    fail("/credits/balance", 503);
    makeModel();
    const auto launched = loop.elapsed();
    model->launch();
    runLaunchTasks();
    EXPECT_FALSE(model->balance());
    EXPECT_EQ(requestsTo("/credits/balance").size(), 4u + 1 + AppModel::balanceRetries);
    EXPECT_LT(loop.elapsed() - launched, 2min);
}

TEST_F(LaunchTest, BalanceOfAnOutdatedApplicationRaisesUpdateRequired)
{
    fail("/credits/balance", 426);
    await(model->refreshBalance());
    EXPECT_TRUE(model->updateRequired());
    EXPECT_FALSE(model->balance());
    EXPECT_EQ(requestsTo("/credits/balance").size(), 1u);
}

TEST_F(LaunchTest, ForbiddenBalanceRenewsTheTokenOncePerRun)
{
    fail("/credits/balance", 403, 1);
    await(model->refreshBalance());
    EXPECT_TRUE(model->balance());
    const auto afterFirst = requestsTo("/credits/balance").size();
    EXPECT_EQ(afterFirst, 3u); // refused, the renewal, and the balance asked once more

    fail("/credits/balance", 403);
    await(model->refreshBalance());
    EXPECT_EQ(requestsTo("/credits/balance").size(), afterFirst + 1);
}

TEST_F(LaunchTest, AnAccountTheBackendNoLongerKnowsIsSignedOutWithALineByTheBalanceOrAJob)
{
    for (bool byJob : {false, true}) {
        SCOPED_TRACE(byJob ? "a job" : "the balance");
        // The backend lost its records: neither the account nor its token is known there any more.
        defaults().set("userId", "987654321");
        defaults().set("accountToken", "forgotten");
        makeModel();
        if (byJob) {
            drop({writeJPEG("one.jpg")});
            model->process();
        } else {
            model->launch();
        }
        ASSERT_TRUE(runUntil([&] { return !model->auth().state().hasAccount(); }));
        EXPECT_EQ(model->auth().lastError(), "the server no longer knows this account · sign in again");
        EXPECT_TRUE(runUntil([&] { return model->items().empty() || model->items()[0]->phase().is<phase::Ready>(); }));
    }
}

TEST_F(LaunchTest, MessageIsShownFromTheSecondLaunchUnlessSeen)
{
    backend.setAnnouncement(Json{{"id", "spring"}, {"title", "hello"}, {"platforms", {"macos"}}});
    await(model->loadMessage());
    EXPECT_FALSE(model->announcement());
    await(model->loadMessage());
    ASSERT_TRUE(model->announcement());
    EXPECT_EQ((*model->announcement())["id"], "spring");

    model->dismissAnnouncement();
    EXPECT_FALSE(model->announcement());
    EXPECT_EQ(defaults().stringListValue("seenMessageIds"), std::vector<std::string>{"spring"});
    await(model->loadMessage());
    EXPECT_FALSE(model->announcement());
}

TEST_F(LaunchTest, MessageWithoutATextIdIsNeverShown)
{
    defaults().set("lastLaunchedAppVersion", "0.1");
    for (const Json& message : {Json{{"id", 7}, {"platforms", {"macos"}}}, Json{{"platforms", {"macos"}}},
                                Json{{"id", Json::array()}, {"platforms", {"macos"}}}}) {
        SCOPED_TRACE(message.dump());
        backend.setAnnouncement(message);
        await(model->loadMessage());
        EXPECT_FALSE(model->announcement());
    }
    answer("/config/message", "{\"message\": {\"id\": \"x\", \"platforms\": [\"macos\"]");
    await(model->loadMessage());
    EXPECT_FALSE(model->announcement());
}

TEST_F(LaunchTest, DismissingKeepsTheLastFiftyIds)
{
    std::vector<std::string> seen;
    for (int i = 0; i < 50; ++i) seen.push_back("old-" + std::to_string(i));
    defaults().set("seenMessageIds", seen);
    defaults().set("lastLaunchedAppVersion", "0.1");
    backend.setAnnouncement(Json{{"id", "new"}, {"platforms", {"macos"}}});
    await(model->loadMessage());
    model->dismissAnnouncement();
    auto stored = *defaults().stringListValue("seenMessageIds");
    ASSERT_EQ(stored.size(), 50u);
    EXPECT_EQ(stored.front(), "old-1");
    EXPECT_EQ(stored.back(), "new");

    model->dismissAnnouncement(); // nothing shown: stores nothing
    EXPECT_EQ(defaults().stringListValue("seenMessageIds")->size(), 50u);
    EXPECT_EQ(defaults().stringListValue("seenMessageIds")->back(), "new");
}

TEST_F(LaunchTest, SuggestionsAreTrimmedAndDeduplicated)
{
    answer("/config/suggestions",
           R"({"nudges": ["  warm dusk \n", "warm dusk", "", "   ", "\u3000", "\u00A0cool morning\u2029"]})");
    await(model->refreshSuggestions());
    EXPECT_EQ(model->nudgePlaceholders(), (std::vector<std::string>{"warm dusk", "cool morning"}));

    for (const char* hostile :
         {R"({"nudges": "warm"})", R"({"nudges": ["a", 3]})", "{}", "[\"a\"]", R"({"nudges": ["a")", "nonsense"}) {
        SCOPED_TRACE(hostile);
        answer("/config/suggestions", hostile);
        await(model->refreshSuggestions());
        EXPECT_EQ(model->nudgePlaceholders(), (std::vector<std::string>{"warm dusk", "cool morning"}));
    }
    answer("/config/suggestions", R"({"nudges": []})");
    await(model->refreshSuggestions());
    EXPECT_TRUE(model->nudgePlaceholders().empty());
}

} // namespace
} // namespace oxel::testing
