#include "support/LocalBackendFixture.h"

#include "backend/FunnelEvents.h"
#include "backend/SupportLink.h"
#include "platform/BuildInfo.h"

#include <cmath>
#include <limits>
#include <regex>
#include <thread>

namespace oxel::testing {
namespace {

using Json = nlohmann::json;

class FunnelEvents : public LocalBackendTest {};

TEST_F(FunnelEvents, SendsTheEventWithTheAccountAndMergedMetadata)
{
    auto body = funnelEventBody(FunnelEvent::detailTransfer, std::nullopt, Json{{"app", "x"}, {"structure", 0.4}});
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["userId"], account.userId);
    EXPECT_EQ((*body)["accountToken"], account.token);
    EXPECT_EQ((*body)["event"], "detail_transfer");
    EXPECT_TRUE((*body)["value"].is_null());
    EXPECT_EQ((*body)["metadata"], (Json{{"app", "oxel pro"}, {"platform", "macos"}, {"structure", 0.4}}));
    EXPECT_EQ((*funnelEventBody(FunnelEvent::colourOnlyGraded, 3, Json::object()))["value"], 3);
}

TEST_F(FunnelEvents, NeedsANumericUserIdAndAToken)
{
    SettingsStore::shared().set("userId", "12a");
    EXPECT_FALSE(funnelEventBody(FunnelEvent::purchaseScreenViewed, std::nullopt, {}));
    SettingsStore::shared().set("userId", "+42");
    EXPECT_EQ((*funnelEventBody(FunnelEvent::purchaseScreenViewed, std::nullopt, {}))["userId"], 42);
    SettingsStore::shared().remove("accountToken");
    EXPECT_FALSE(funnelEventBody(FunnelEvent::purchaseScreenViewed, std::nullopt, {}));
    SettingsStore::shared().set("accountToken", "");
    EXPECT_EQ((*funnelEventBody(FunnelEvent::purchaseScreenViewed, std::nullopt, {}))["accountToken"], "");
}

TEST(DecimalUserId, AcceptsOnlyASignAndDigitsWithin64Bits)
{
    EXPECT_EQ(decimalUserId("42"), 42);
    EXPECT_EQ(decimalUserId("-7"), -7);
    EXPECT_EQ(decimalUserId("+0"), 0);
    EXPECT_FALSE(decimalUserId(""));
    EXPECT_FALSE(decimalUserId("+"));
    EXPECT_FALSE(decimalUserId(" 4"));
    EXPECT_FALSE(decimalUserId("4.0"));
    EXPECT_FALSE(decimalUserId("٤٢"));
    EXPECT_EQ(decimalUserId("9223372036854775807"), INT64_MAX);
    EXPECT_FALSE(decimalUserId("9223372036854775808"));
}

TEST_F(FunnelEvents, ReachTheBackendWithoutHoldingUpTheCaller)
{
    Json metadata = {{"ratio", std::numeric_limits<double>::quiet_NaN()}, {"note", "bad \xFF text"}};
    sendFunnelEvent(FunnelEvent::colourOnlyExplainerOpened, std::nullopt, metadata);
    std::vector<Json> events;
    for (int i = 0; i < 200 && events.empty(); ++i) {
        for (const auto& event : backend().state().funnelEvents())
            if (event.value("accountToken", "") == account.token) events.push_back(event);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["event"], "colour_only_explainer_opened");
    EXPECT_TRUE(events[0]["metadata"]["ratio"].is_null());
    EXPECT_FALSE(requestsTo("/events/funnel").back().authorization);
}

TEST_F(FunnelEvents, ArriveFromManyThreadsAtOnce)
{
    constexpr int threads = 4, eachSends = 5;
    std::vector<std::thread> senders;
    for (int t = 0; t < threads; ++t)
        senders.emplace_back([] {
            for (int i = 0; i < eachSends; ++i) sendFunnelEvent(FunnelEvent::detailTransfer, i, Json{{"n", i}});
        });
    for (auto& sender : senders) sender.join();
    size_t arrived = 0;
    for (int i = 0; i < 300 && arrived < threads * eachSends; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        arrived = 0;
        for (const auto& event : backend().state().funnelEvents())
            if (event.value("accountToken", "") == account.token) ++arrived;
    }
    EXPECT_EQ(arrived, size_t(threads * eachSends));
}

class SupportLink : public LocalBackendTest {};

TEST_F(SupportLink, WritesTheContextItemsThatAreGiven)
{
    std::string device = deviceModel();
    std::string head = "user:" + std::to_string(account.userId) + " | app:oxel pro " + appVersion() +
                       " | macos:" + systemRelease() + " | device:" + device;
    EXPECT_EQ(supportContext(std::nullopt, std::nullopt, std::nullopt), head);
    EXPECT_EQ(supportContext(std::string(""), std::string("j-7"), std::nullopt), head + " | job:j-7");
    EXPECT_EQ(supportContext(std::string("report_output"), std::string("j-7"), std::string("r-3")),
              head + " | action:report_output | job:j-7 | report:r-3");
    forgetAccount();
    EXPECT_EQ(supportContext(std::nullopt, std::nullopt, std::nullopt).rfind("app:", 0), 0u);
}

TEST_F(SupportLink, PutsTheContextIntoOneEncodedQueryItem)
{
    std::string url = supportURL(std::string("report_output"), std::nullopt, std::nullopt);
    EXPECT_TRUE(std::regex_match(url, std::regex(R"(https://[^/?]+/support\?context=[^&= |]+)"))) << url;
    EXPECT_NE(url.find("%20%7C%20"), std::string::npos);
}

TEST(DeviceModel, NamesTheMachineAndTheSystemRelease)
{
    EXPECT_FALSE(deviceModel().empty());
    EXPECT_TRUE(std::regex_match(systemRelease(), std::regex(R"(\d+\.\d+)"))) << systemRelease();
}

} // namespace
} // namespace oxel::testing
