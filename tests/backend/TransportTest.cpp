#include "support/LocalBackendFixture.h"

#include "backend/AccountEndpoints.h"
#include "backend/BackendBaseURL.h"
#include "backend/BackendErrorCategory.h"
#include "backend/JobEndpoints.h"

#include <future>
#include <thread>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;
using local::LocalFaults;

class Transport : public LocalBackendTest {
protected:
    std::string userId() const { return std::to_string(account.userId); }

    static BackendErrorCategory categoryOf(const BackendFailure& failure) { return backendErrorCategory(failure); }

    // Points the client at another base URL for the length of one test.
    struct BaseURLSwap {
        explicit BaseURLSwap(std::string url) { overrideBackendBaseURL(std::move(url)); }
        ~BaseURLSwap() { overrideBackendBaseURL(backend().baseURL()); }
    };
};

TEST_F(Transport, EachRequestWaitsOnlyAsLongAsItsOwnIdleLimit)
{
    // 15 s for the balance, 60 s for a status, at the tests' time scale.
    LocalFaults faults;
    faults.delay = HttpSession::scaled(30s);
    backend().setFaults(faults);
    auto balance = fetchBalance(userId());
    ASSERT_FALSE(balance);
    EXPECT_EQ(categoryOf(balance.failure()), BackendErrorCategory::timeout);
    auto status = jobStatus("job-missing");
    ASSERT_FALSE(status);
    ASSERT_TRUE(status.backendError()) << describe(status.failure());
    EXPECT_EQ(status.backendError()->status(), 404);
}

TEST_F(Transport, AStopRequestEndsARequestInFlightAtOnce)
{
    LocalFaults faults;
    faults.delay = HttpSession::scaled(50s);
    backend().setFaults(faults);
    std::stop_source stop;
    auto started = std::chrono::steady_clock::now();
    auto pending = std::async(std::launch::async, [&] { return jobStatus("job-1", stop.get_token()); });
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
    auto status = pending.get();
    auto took = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(status);
    EXPECT_EQ(categoryOf(status.failure()), BackendErrorCategory::userCancelled);
    EXPECT_LT(took, HttpSession::scaled(40s));
}

TEST_F(Transport, AnAlreadyStoppedRequestIsNotSent)
{
    std::stop_source stop;
    stop.request_stop();
    auto status = jobStatus("job-1", stop.get_token());
    ASSERT_FALSE(status);
    EXPECT_EQ(categoryOf(status.failure()), BackendErrorCategory::userCancelled);
    EXPECT_TRUE(requestsTo("/jobs/job-1").empty());
}

TEST_F(Transport, RefusesAnswersLargerThanTheLimit)
{
    HttpSession::setMaxAnswerBytes(64 * 1024);
    LocalFaults faults;
    faults.pathPrefix = "/jobs/";
    faults.answer = R"({"job_id": "j", "status": ")" + std::string(1 << 20, 'x') + R"("})";
    backend().setFaults(faults);
    auto status = jobStatus("job-1");
    ASSERT_FALSE(status);
    auto* error = std::get_if<UrlError>(&status.failure());
    ASSERT_NE(error, nullptr) << describe(status.failure());
    EXPECT_EQ(error->code, UrlErrorCode::dataLengthExceedsMaximum);
    EXPECT_FALSE(fetchAnnouncement());
}

TEST_F(Transport, AServerThatIsNotThereIsUnreachable)
{
    // A port that was just free: bind one, note it, let it go.
    auto probe = std::make_unique<local::LocalBackend>(local::LocalBackend::Options{});
    ASSERT_TRUE(probe->start());
    std::string gone = probe->baseURL();
    probe.reset();
    BaseURLSwap swap(gone);
    auto status = jobStatus("job-1");
    ASSERT_FALSE(status);
    EXPECT_EQ(categoryOf(status.failure()), BackendErrorCategory::backendUnreachable);
    EXPECT_FALSE(reportResult("job-1", userId(), std::nullopt));
    markDownloaded("job-1", userId());
}

TEST_F(Transport, IdentifiersThatBreakTheURLFailInOrder)
{
    auto status = jobStatus("job 1\r\nX-Injected: yes");
    ASSERT_FALSE(status);
    EXPECT_TRUE(std::holds_alternative<UrlError>(status.failure())) << describe(status.failure());
    BaseURLSwap swap("not a url");
    EXPECT_FALSE(fetchAnnouncement());
    EXPECT_FALSE(fetchProducts());
}

TEST_F(Transport, QueryValuesAreEncodedSoTheyCannotSplit)
{
    SettingsStore::shared().set("userId", "a&b=c d+é");
    (void)jobStatus("job-1");
    EXPECT_EQ(requestsTo("/jobs/job-1").back().query, "userId=a%26b%3Dc%20d%2B%C3%A9");
}

TEST(BackendBaseURL, TakesAUsableBuildValueAndOtherwiseTheDefault)
{
    auto resolve = [](std::optional<std::string> value) {
        std::map<std::string, std::string, std::less<>> values;
        if (value) values["BackendURL"] = *value;
        return resolveBackendBaseURL(BuildInfo(values));
    };
    EXPECT_EQ(resolve("https://api.example.test"), "https://api.example.test");
    EXPECT_EQ(resolve("https://api.example.test/v2/"), "https://api.example.test/v2/");
    EXPECT_EQ(resolve(""), defaultBackendBaseURL);
    EXPECT_EQ(resolve("$(BACKEND_URL)"), defaultBackendBaseURL);
    EXPECT_EQ(resolve("https://$(HOST)/api"), defaultBackendBaseURL);
    EXPECT_EQ(resolve(std::nullopt), defaultBackendBaseURL);
}

TEST(BackendBaseURL, PagesAtTheBuildsBackendFollowTheRunningOne)
{
    const BuildInfo built(std::map<std::string, std::string, std::less<>>{{"BackendURL", "http://127.0.0.1:8787"}});
    const std::string running = "http://127.0.0.1:40123";
    EXPECT_EQ(atRunningBackend("http://127.0.0.1:8787", built, running), running);
    EXPECT_EQ(atRunningBackend("http://127.0.0.1:8787/apple/return", built, running), running + "/apple/return");
    EXPECT_EQ(atRunningBackend("http://127.0.0.1:87870/token", built, running), "http://127.0.0.1:87870/token");
    EXPECT_EQ(atRunningBackend("https://accounts.example.test", built, running), "https://accounts.example.test");
}

TEST(BuildInfo, VersionsReadZeroWhenAbsent)
{
    BuildInfo empty({});
    EXPECT_EQ(appVersion(empty), "0");
    EXPECT_EQ(buildNumber(empty), "0");
    BuildInfo some({{"CFBundleShortVersionString", "2.1"}, {"CFBundleVersion", "77"}});
    EXPECT_EQ(appVersion(some), "2.1");
    EXPECT_EQ(buildNumber(some), "77");
    EXPECT_NE(appVersion(), "0");
}

} // namespace
} // namespace oxel::testing
