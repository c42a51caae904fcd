#include "support/LocalBackendFixture.h"

#include "backend/AccountEndpoints.h"
#include "backend/KeychainAccount.h"
#include "platform/BuildInfo.h"
#include "support/SecretServiceGate.h"

#include <nlohmann/json.hpp>

namespace oxel::testing {
namespace {

using Json = nlohmann::json;
using local::LocalFaults;

class AccountEndpoints : public LocalBackendTest {
protected:
    std::string userId() const { return std::to_string(account.userId); }

    std::string submittedJob()
    {
        auto job = backend().state().nextJobId();
        local::Job record;
        record.id = job;
        record.userId = account.userId;
        record.created = std::chrono::system_clock::now();
        backend().state().addJob(record);
        return job;
    }
};

TEST_F(AccountEndpoints, ReadsTheBalanceWithTheStoredToken)
{
    auto balance = fetchBalance(userId());
    ASSERT_TRUE(balance) << describe(balance.failure());
    EXPECT_EQ(balance->balance, local::LocalBackendState::startingRoll);
    EXPECT_EQ(balance->accessState, "active");
    EXPECT_FALSE(balance->accountToken);
    auto request = requestsTo("/credits/balance").back();
    EXPECT_EQ(request.query, "userId=" + userId());
    EXPECT_EQ(request.authorization, "Bearer " + account.token);
}

TEST_F(AccountEndpoints, StoresARotatedTokenAndKeepsItOtherwise)
{
    LocalFaults faults;
    faults.rotateTokens = true;
    backend().setFaults(faults);
    auto rotated = fetchBalance(userId());
    ASSERT_TRUE(rotated);
    ASSERT_TRUE(rotated->accountToken);
    EXPECT_NE(*rotated->accountToken, account.token);
    EXPECT_EQ(SettingsStore::shared().stringValue("accountToken"), rotated->accountToken);

    backend().clearFaults();
    ASSERT_TRUE(fetchBalance(userId())); // the new token is the one sent now
    EXPECT_EQ(requestsTo("/credits/balance").back().authorization, "Bearer " + *rotated->accountToken);

    for (const char* answer :
         {R"({"balance": 1, "paidCredits": 0, "accessState": "active", "systemSlow": false, "accountToken": ""})",
          R"({"balance": 1, "paidCredits": 0, "accessState": "active", "systemSlow": false})",
          R"({"balance": "1", "accountToken": "never-stored"})"}) {
        faults = {};
        faults.pathPrefix = "/credits/balance";
        faults.answer = answer;
        backend().setFaults(faults);
        (void)fetchBalance(userId());
        EXPECT_EQ(SettingsStore::shared().stringValue("accountToken"), rotated->accountToken) << answer;
    }
}

TEST_F(AccountEndpoints, ARefusedTokenIsAForbiddenHttpErrorAndAnOldVersionMustUpdate)
{
    SettingsStore::shared().set("accountToken", "stale-token");
    auto refused = fetchBalance(userId());
    ASSERT_FALSE(refused);
    ASSERT_TRUE(refused.backendError());
    EXPECT_EQ(refused.backendError()->status(), 403);

    LocalFaults faults;
    faults.pathPrefix = "/credits/balance";
    faults.status = 426;
    backend().setFaults(faults);
    auto old = fetchBalance(userId());
    ASSERT_TRUE(old.backendError());
    EXPECT_EQ(*old.backendError(), BackendError::updateRequired());
}

TEST_F(AccountEndpoints, ABalanceRequestWithoutATokenRecoversANewOne)
{
    SettingsStore::shared().remove("accountToken");
    auto balance = fetchBalance(userId());
    ASSERT_TRUE(balance) << describe(balance.failure());
    EXPECT_FALSE(requestsTo("/credits/balance").back().authorization);
    ASSERT_TRUE(balance->accountToken);
    EXPECT_EQ(SettingsStore::shared().stringValue("accountToken"), balance->accountToken);
}

TEST_F(AccountEndpoints, ListsTheProductsWithoutAuthorisation)
{
    auto products = fetchProducts();
    ASSERT_TRUE(products) << describe(products.failure());
    EXPECT_TRUE(products->available);
    ASSERT_FALSE(products->products.empty());
    EXPECT_EQ(products->products[0].checkoutURL.rfind(backend().baseURL() + "/pro/checkout/", 0), 0u);
    EXPECT_FALSE(requestsTo("/pro/products").back().authorization);
}

TEST_F(AccountEndpoints, ProductsAnsweredWith426AreAnHttpErrorNotAnUpdate)
{
    LocalFaults faults;
    faults.pathPrefix = "/pro/products";
    faults.status = 426;
    backend().setFaults(faults);
    auto products = fetchProducts();
    ASSERT_TRUE(products.backendError());
    EXPECT_EQ(products.backendError()->which(), BackendError::Case::httpError);
    EXPECT_EQ(products.backendError()->status(), 426);
}

TEST_F(AccountEndpoints, ShowsOnlyAnnouncementsForThisPlatform)
{
    EXPECT_FALSE(fetchAnnouncement());
    EXPECT_EQ(requestsTo("/config/message").back().query, "appVersion=" + appVersion() + "&platform=macos");

    Json message = {{"id", "m1"}, {"title", "hello"}, {"platforms", {"ios", "macos"}}};
    backend().setAnnouncement(message);
    EXPECT_EQ(fetchAnnouncement(), message);
    backend().setAnnouncement(Json{{"id", "m2"}, {"platforms", {"windows"}}});
    EXPECT_FALSE(fetchAnnouncement());
    backend().setAnnouncement(Json{{"id", "m3"}});
    EXPECT_FALSE(fetchAnnouncement());
    backend().setAnnouncement(Json{{"id", "m4"}, {"platforms", "macos"}});
    EXPECT_FALSE(fetchAnnouncement());
}

TEST_F(AccountEndpoints, AnnouncementsDegradeQuietly)
{
    backend().setAnnouncement(Json{{"platforms", {"macos"}}});
    LocalFaults faults;
    faults.pathPrefix = "/config/message";
    for (auto body : {LocalFaults::Body::malformed, LocalFaults::Body::truncated}) {
        faults.body = body;
        backend().setFaults(faults);
        EXPECT_FALSE(fetchAnnouncement());
    }
    faults = {};
    faults.pathPrefix = "/config/message";
    faults.status = 500;
    backend().setFaults(faults);
    EXPECT_FALSE(fetchAnnouncement());
}

TEST_F(AccountEndpoints, AnAnnouncementNestedBeyondReasonIsRefusedNotFollowedDown)
{
    // Copying or writing out a value nests one call per level: a hostile answer of a million
    // levels would exhaust the stack of whoever holds the message.
    std::string deep = std::string(1000000, '[') + std::string(1000000, ']');
    LocalFaults faults;
    faults.pathPrefix = "/config/message";
    faults.answer = R"({"message": {"platforms": ["macos"], "deep": )" + deep + "}}";
    backend().setFaults(faults);
    EXPECT_FALSE(fetchAnnouncement());

    faults.answer = R"({"message": {"platforms": ["macos"], "nested": [[[{"a": [1]}]]]}})";
    backend().setFaults(faults);
    auto message = fetchAnnouncement();
    ASSERT_TRUE(message);
    EXPECT_EQ((*message)["nested"][0][0][0]["a"][0], 1);
}

TEST_F(AccountEndpoints, AnnouncementPlatformsMustBeAListOfTexts)
{
    backend().setAnnouncement(Json{{"id", "m5"}, {"platforms", {"macos", 7}}});
    EXPECT_FALSE(fetchAnnouncement());
}

TEST_F(AccountEndpoints, FilesReportsWithOrWithoutAPicture)
{
    std::string job = submittedJob();
    auto bare = reportResult(job, userId(), std::nullopt);
    ASSERT_TRUE(bare);
    EXPECT_EQ(Json::parse(requestsTo("/jobs/" + job + "/report").back().body), Json({{"userId", userId()}}));

    auto withPicture = reportResult(job, userId(), std::string_view("abc"));
    ASSERT_TRUE(withPicture);
    EXPECT_NE(*withPicture, *bare);
    EXPECT_EQ(Json::parse(requestsTo("/jobs/" + job + "/report").back().body)["image"], "YWJj");
}

TEST_F(AccountEndpoints, AReportCountsOnlyWithStatus200AndATextId)
{
    LocalFaults faults;
    faults.pathPrefix = "/jobs/";
    faults.answer = R"({"reportId": "r-1"})";
    faults.status = 201;
    backend().setFaults(faults);
    EXPECT_FALSE(reportResult("job-1", userId(), std::nullopt));
    faults.status = 0;
    faults.answer = R"({"reportId": 7})";
    backend().setFaults(faults);
    EXPECT_FALSE(reportResult("job-1", userId(), std::nullopt));
    faults.answer = R"({"reportId": "r-1"})";
    backend().setFaults(faults);
    EXPECT_EQ(reportResult("job-1", userId(), std::nullopt), "r-1");
}

TEST_F(AccountEndpoints, MarksDownloadsAndIgnoresAnyFailure)
{
    std::string job = submittedJob();
    markDownloaded(job, userId());
    EXPECT_TRUE(backend().state().job(job)->downloaded);
    EXPECT_EQ(Json::parse(requestsTo("/jobs/" + job + "/download").back().body), Json({{"userId", userId()}}));
    LocalFaults faults;
    faults.status = 503;
    backend().setFaults(faults);
    markDownloaded(job, userId());
}

class BalanceRotationWithSecretService : public AccountEndpoints {
protected:
    void SetUp() override
    {
        OXEL_REQUIRE_PRIVATE_SECRET_SERVICE();
        AccountEndpoints::SetUp();
    }
};

TEST_F(BalanceRotationWithSecretService, ARotatedTokenReachesTheAccountRecord)
{
    KeychainAccount::store(userId(), account.token);
    LocalFaults faults;
    faults.rotateTokens = true;
    backend().setFaults(faults);
    auto balance = fetchBalance(userId());
    ASSERT_TRUE(balance && balance->accountToken);
    auto saved = KeychainAccount::load();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->token, balance->accountToken);
}

} // namespace
} // namespace oxel::testing
