#include "support/LocalBackendFixture.h"

#include "backend/AccountEndpoints.h"
#include "backend/AppConfig.h"
#include "backend/BackendBaseURL.h"
#include "backend/JobEndpoints.h"
#include "backend/ResultWire.h"
#include "support/HostileFiles.h"
#include "support/TemporaryFolder.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <set>
#include <thread>

namespace oxel::testing {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

// A local backend of its own, with jobs that take their time on a clock the test moves.
class LocalBackendServer : public LocalBackendTest {
protected:
    void SetUp() override
    {
        LocalBackendTest::SetUp();
        startOwn({});
    }

    void TearDown() override
    {
        stopOwn();
        overrideBackendBaseURL(backend().baseURL());
        LocalBackendTest::TearDown();
    }

    // Stopping waits for kept-alive connections, so this thread's connection is closed first.
    void stopOwn()
    {
        if (!own) return;
        HttpRequest farewell;
        farewell.url = own->baseURL() + "/config/app";
        farewell.setHeader("Connection", "close");
        (void)HttpSession::shared().send(farewell);
        own.reset();
    }

    void startOwn(std::optional<std::filesystem::path> stateFile, local::LocalBackend::Options options = {})
    {
        stopOwn();
        options.stateFile = stateFile;
        options.clock = [this] { return local::TimePoint(std::chrono::milliseconds(clockMillis.load())); };
        own = std::make_unique<local::LocalBackend>(options);
        ASSERT_TRUE(own->start());
        overrideBackendBaseURL(own->baseURL());
    }

    local::Account signInOwn(const std::string& subject)
    {
        auto signedIn = own->state().signIn("google", subject);
        SettingsStore::shared().set("userId", std::to_string(signedIn.userId));
        SettingsStore::shared().set("accountToken", signedIn.token);
        return signedIn;
    }

    void advance(std::chrono::milliseconds by) { clockMillis += by.count(); }

    BackendResult<HttpResponse> post(const std::string& path, const std::string& body)
    {
        HttpRequest request;
        request.method = "POST";
        request.url = own->baseURL() + path;
        request.setHeader("Content-Type", "application/json");
        request.body = body;
        return HttpSession::shared().send(request);
    }

    std::atomic<int64_t> clockMillis{1'800'000'000'000};
    std::unique_ptr<local::LocalBackend> own;
};

TEST_F(LocalBackendServer, WalksAJobThroughItsStatusesWithNarration)
{
    auto owner = signInOwn("walker");
    auto jobId = submitJob(gradientJPEG(96, 64), std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(jobId) << describe(jobId.failure());
    std::vector<std::string> statuses;
    std::optional<JobNarration> lastNarration;
    for (int second = 0; second < 10; ++second) {
        auto status = jobStatus(*jobId);
        ASSERT_TRUE(status) << describe(status.failure());
        if (statuses.empty() || statuses.back() != status->status) statuses.push_back(status->status);
        if (status->narration) lastNarration = status->narration;
        EXPECT_TRUE(status->updatedAt);
        advance(1000ms);
    }
    EXPECT_EQ(statuses, (std::vector<std::string>{"queued", "analysing", "generating", "succeeded"}));
    ASSERT_TRUE(lastNarration);
    EXPECT_TRUE(lastNarration->descriptors && lastNarration->perceivedIntent && lastNarration->direction);
}

TEST_F(LocalBackendServer, HoldsBackTheResultUntilTheJobSucceeded)
{
    auto owner = signInOwn("patient");
    auto jobId = submitJob(gradientJPEG(96, 64), std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(jobId);
    auto early = jobResult(*jobId);
    ASSERT_TRUE(early.backendError());
    EXPECT_EQ(early.backendError()->status(), 409);
    advance(10s);
    EXPECT_TRUE(jobResult(*jobId));
}

TEST_F(LocalBackendServer, LimitsJobsInFlightPerAccount)
{
    auto owner = signInOwn("busy");
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(submitJob(gradientJPEG(32, 32), std::to_string(owner.userId), std::nullopt, std::nullopt, false));
    auto fifth = submitJob(gradientJPEG(32, 32), std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(fifth.backendError());
    EXPECT_EQ(*fifth.backendError(), BackendError::tooManyInFlight());
    advance(10s);
    EXPECT_TRUE(submitJob(gradientJPEG(32, 32), std::to_string(owner.userId), std::nullopt, std::nullopt, false));
}

TEST_F(LocalBackendServer, RelightsAtMost2048PixelsOnTheLongEdgeDeterministically)
{
    auto owner = signInOwn("large");
    std::string jpeg = gradientJPEG(3000, 1500);
    auto first = submitJob(jpeg, std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    auto second = submitJob(jpeg, std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(first && second);
    advance(10s);
    auto a = jobResult(*first), b = jobResult(*second);
    ASSERT_TRUE(a && b);
    auto wireA = ResultWire::from(a->response), wireB = ResultWire::from(b->response);
    auto refined = decodedPicture(*wireA.refined);
    auto full = decodedPicture(*wireA.fullSend);
    EXPECT_EQ(refined.width, 2048);
    EXPECT_EQ(refined.height, 1024);
    EXPECT_EQ(full.width, 2048);
    EXPECT_EQ(wireA.fullSend, wireB.fullSend);
    EXPECT_NE(wireA.fullSend, wireA.refined);
    // The light is reshaped: the upper left gains on the lower right.
    auto original = decodedPicture(jpeg);
    auto luma = [](const local::RgbPicture& p, double fx, double fy) {
        const uint8_t* px = &p.pixels[(size_t(fy * (p.height - 1)) * p.width + size_t(fx * (p.width - 1))) * 3];
        return 0.2126 * px[0] + 0.7152 * px[1] + 0.0722 * px[2];
    };
    double keyGain = luma(full, 0.3, 0.25) - luma(original, 0.3, 0.25);
    double cornerGain = luma(full, 0.95, 0.95) - luma(original, 0.95, 0.95);
    EXPECT_GT(keyGain, cornerGain + 5);
}

TEST_F(LocalBackendServer, ChoosesTheLookFromThePicture)
{
    auto owner = signInOwn("looks");
    auto analysisOf = [&](const std::string& jpeg) {
        auto jobId = submitJob(jpeg, std::to_string(owner.userId), std::nullopt, std::nullopt, false);
        EXPECT_TRUE(jobId);
        advance(10s);
        auto result = jobResult(*jobId);
        EXPECT_TRUE(result);
        return result->response.analysis;
    };
    auto warm = analysisOf(gradientJPEG(64, 64));
    ASSERT_TRUE(warm.grade);
    ASSERT_TRUE(warm.grade->look);
    EXPECT_NE(warm.grade->look->find("warm"), std::string::npos) << *warm.grade->look;
    EXPECT_TRUE(warm.gradeLookAlt);
    EXPECT_NE(warm.gradeLookAlt, warm.grade->look);

    local::RgbPicture grey{32, 32, std::vector<uint8_t>(32 * 32 * 3, 90)};
    auto mono = analysisOf(local::encodeJPEG(grey, 90));
    EXPECT_TRUE(mono.isBlackAndWhite);
    EXPECT_FALSE(mono.grade);
}

TEST_F(LocalBackendServer, RefusesPicturesItCannotRead)
{
    auto owner = signInOwn("careless");
    auto notJPEG = submitJob("definitely not a jpeg", std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(notJPEG.backendError());
    EXPECT_EQ(notJPEG.backendError()->status(), 400);
    auto otherUser = submitJob(gradientJPEG(32, 32), "999", std::nullopt, std::nullopt, false);
    ASSERT_TRUE(otherUser.backendError());
    EXPECT_EQ(otherUser.backendError()->status(), 403);
}

TEST_F(LocalBackendServer, RefusesAnUploadOfThousandsOfScansWithoutDecodingIt)
{
    auto owner = signInOwn("hostile");
    const auto bomb = test::flatProgressiveJPEG(2048, 2048, 1, 2000);
    auto refused = submitJob(std::string(bomb.begin(), bomb.end()), std::to_string(owner.userId), std::nullopt,
                             std::nullopt, false);
    ASSERT_TRUE(refused.backendError());
    EXPECT_EQ(refused.backendError()->status(), 400);
}

TEST_F(LocalBackendServer, AnswersBodiesOfTheWrongShapeWithoutFalling)
{
    auto owner = signInOwn("hostile");
    std::string userId = std::to_string(owner.userId);
    for (std::string body : {std::string("[1, 2]"), std::string("{\"userId\": 5}"),
                             R"({"userId": ")" + userId + R"(", "image": 7, "nudge": 3})",
                             R"({"userId": ")" + userId + R"(", "image": "data:image/jpeg;base64,%%%%", "nudge": {}})",
                             R"({"userId": ")" + userId +
                                 R"(", "image": "data:image/jpeg;base64,AAAA", "nudge": 3, "retryOfJobId": 4})"}) {
        HttpRequest request;
        request.method = "POST";
        request.url = own->baseURL() + "/jobs";
        request.setHeader("Authorization", "Bearer " + owner.token);
        request.body = body;
        auto answer = HttpSession::shared().send(request);
        ASSERT_TRUE(answer) << body;
        EXPECT_GE(answer->status, 400) << body;
    }
    EXPECT_EQ(post("/events/funnel", "5")->status, 400);
    EXPECT_TRUE(fetchBalance(userId));
}

TEST_F(LocalBackendServer, RefusesBodiesNestedDeeperThanAnyRecordWithoutFalling)
{
    auto owner = signInOwn("nester");
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string event =
        R"({"event": "app_launched", "userId": ")" + std::to_string(owner.userId) + R"(", "metadata": )" + deep + "}";
    EXPECT_EQ(post("/events/funnel", event)->status, 400);
    EXPECT_EQ(post("/auth/google", R"({"idToken": )" + deep + "}")->status, 400);
    EXPECT_TRUE(fetchBalance(std::to_string(owner.userId)));
}

TEST_F(LocalBackendServer, ExchangesIdentityTokensForAccounts)
{
    auto apple = post("/auth/apple", R"({"identityToken": "dev-apple-ann", "client_platform": "macos"})");
    ASSERT_TRUE(apple);
    ASSERT_EQ(apple->status, 200);
    Json answer = Json::parse(apple->body);
    EXPECT_EQ(answer["status"], "ok");
    EXPECT_TRUE(answer["userId"].is_number_integer());
    EXPECT_EQ(answer["accessState"], "active");
    EXPECT_TRUE(answer["accountToken"].is_string());
    auto again = post("/auth/apple", R"({"identityToken": "dev-apple-ann"})");
    EXPECT_EQ(Json::parse(again->body)["userId"], answer["userId"]);
    auto google = post("/auth/google", R"({"idToken": "dev-apple-ann"})");
    EXPECT_NE(Json::parse(google->body)["userId"], answer["userId"]);
    EXPECT_EQ(post("/auth/google", R"({"identityToken": "x"})")->status, 400);
    EXPECT_EQ(post("/auth/apple", "[]")->status, 400);
}

TEST_F(LocalBackendServer, ServesTheConfigurationAndNudgeSuggestions)
{
    HttpRequest config;
    config.url = own->baseURL() + "/config/app";
    auto answer = HttpSession::shared().send(config);
    ASSERT_TRUE(answer);
    auto parsed = AppConfig::parse(answer->body);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->maxInFlightJobs, 4);
    EXPECT_FALSE(parsed->requiresUpdate("0.1"));
    own->setRemoteConfig(Json{{"proMinimumAppVersion", "99"}});
    EXPECT_TRUE(AppConfig::parse(HttpSession::shared().send(config)->body)->requiresUpdate("0.1"));

    HttpRequest suggestions;
    suggestions.url = own->baseURL() + "/config/suggestions";
    Json nudges = Json::parse(HttpSession::shared().send(suggestions)->body)["nudges"];
    ASSERT_TRUE(nudges.is_array());
    ASSERT_FALSE(nudges.empty());
    for (const auto& nudge : nudges) EXPECT_TRUE(nudge.is_string());
}

TEST_F(LocalBackendServer, CheckoutAddsPaidShots)
{
    auto owner = signInOwn("buyer");
    auto products = fetchProducts();
    ASSERT_TRUE(products);
    const auto& pack = products->products.front();
    HttpRequest page;
    page.url = pack.checkoutURL + "?client_reference_id=" + std::to_string(owner.userId);
    auto shown = HttpSession::shared().send(page);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->status, 200);
    HttpRequest buy;
    buy.method = "POST";
    buy.url = pack.checkoutURL;
    buy.setHeader("Content-Type", "application/x-www-form-urlencoded");
    buy.body = "client_reference_id=" + std::to_string(owner.userId);
    ASSERT_EQ(HttpSession::shared().send(buy)->status, 200);
    auto balance = fetchBalance(std::to_string(owner.userId));
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->balance, local::LocalBackendState::startingRoll + pack.credits);
    EXPECT_EQ(balance->paidCredits, pack.credits);
}

TEST_F(LocalBackendServer, ARestartKeepsAccountsAndJobs)
{
    TemporaryFolder folder;
    auto stateFile = folder / "state.json";
    startOwn(stateFile);
    auto owner = signInOwn("keeper");
    auto jobId = submitJob(gradientJPEG(64, 48), std::to_string(owner.userId), std::nullopt, std::nullopt, false);
    ASSERT_TRUE(jobId);
    advance(10s);
    auto before = jobResult(*jobId);
    ASSERT_TRUE(before);
    confirmDelivery(*jobId, std::to_string(owner.userId));

    startOwn(stateFile);
    auto after = jobResult(*jobId);
    ASSERT_TRUE(after) << describe(after.failure());
    EXPECT_EQ(after->response.fullSendImage, before->response.fullSendImage);
    EXPECT_EQ(after->response.analysis, before->response.analysis);
    EXPECT_EQ(jobStatus(*jobId)->status, "delivered");
    EXPECT_EQ(fetchBalance(std::to_string(owner.userId))->balance, local::LocalBackendState::startingRoll - 1);
    EXPECT_NE(own->state().signIn("google", "someone else").userId, owner.userId);
}

TEST_F(LocalBackendServer, StartingOverHandsNoEarlierAccountsIdToANewOne)
{
    TemporaryFolder folder;
    std::set<int64_t> ids;
    for (const char* state : {"first.json", "second.json"}) {
        startOwn(folder / state);
        ids.insert(signInOwn("photographer").userId);
    }
    EXPECT_EQ(ids.size(), 2u);
}

TEST_F(LocalBackendServer, ADamagedStateFileStartsEmptyWithoutCrashing)
{
    TemporaryFolder folder;
    auto stateFile = folder / "state.json";
    for (const char* damage : {"{not json", R"({"accounts": [{"userId": "one"}]})", R"({"jobs": 5})"}) {
        std::ofstream(stateFile) << damage;
        ::testing::internal::CaptureStderr();
        startOwn(stateFile);
        std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(own->state().account(1)) << damage;
        EXPECT_NE(log.find("[local backend]"), std::string::npos) << damage;
    }
}

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

TEST_F(LocalBackendServer, KeepsItsStateToItsOwnerAndTokensOutOfItsLog)
{
    TemporaryFolder folder;
    const auto stateFile = folder / "state.json";
    startOwn(stateFile);
    auto owner = signInOwn("private");
    ASSERT_TRUE(submitJob(gradientJPEG(64, 48), std::to_string(owner.userId), std::nullopt, std::nullopt, false));

    ::testing::internal::CaptureStderr();
    const auto answer = post("/events/funnel", R"({"event": "app_launched", "userId": ")" +
                                                   std::to_string(owner.userId) + R"(", "accountToken": ")" +
                                                   owner.token + R"(", "metadata": {"refreshToken": "r-secret"}})");
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(answer->status, 200);
    EXPECT_EQ(log.find(owner.token), std::string::npos) << log;
    EXPECT_EQ(log.find("r-secret"), std::string::npos) << log;
    EXPECT_NE(log.find("app_launched"), std::string::npos) << log;

    stopOwn();
    EXPECT_EQ(modeOf(stateFile), 0600u);
    const auto pictures = folder / "state.json.pictures";
    EXPECT_EQ(modeOf(pictures), 0700u);
    size_t count = 0;
    for (const auto& picture : std::filesystem::directory_iterator(pictures)) {
        EXPECT_EQ(modeOf(picture.path()), 0600u) << picture.path();
        ++count;
    }
    EXPECT_EQ(count, 2u);
}

TEST_F(LocalBackendServer, StoppingEndsAKeptAliveConnectionAtOnce)
{
    int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(own->port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const std::string request = "GET /config/app HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(send(client, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    char answer[256];
    ASSERT_GT(recv(client, answer, sizeof(answer), 0), 0);

    // The connection stays open for the server's idle limit of five seconds; stopping ends it.
    const auto start = std::chrono::steady_clock::now();
    own.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // What is left of the answer, then the end of the connection.
    char rest[65536];
    ssize_t read = 0;
    while ((read = recv(client, rest, sizeof(rest), MSG_DONTWAIT)) > 0) {}
    EXPECT_TRUE(read == 0 || errno != EAGAIN) << "the connection is still open";
    close(client);
}

// Many jobs must not make the server heavier or slower: their pictures are kept on disk and read
// back when asked for, never held with the job, and a burst of changes writes the state file once
// rather than the whole state again for every change.
TEST_F(LocalBackendServer, ManyJobsKeepTheirPicturesOnDiskAndABurstOfChangesIsSavedOnce)
{
    TemporaryFolder folder;
    startOwn(folder / "state.json");
    const auto owner = signInOwn("busy");
    const std::string userId = std::to_string(owner.userId);
    const std::string picture = gradientJPEG(640, 480);
    std::vector<std::string> jobIds;
    for (int n = 0; n < 300; ++n) {
        auto jobId = submitJob(picture, userId, std::nullopt, std::nullopt, false);
        ASSERT_TRUE(jobId) << n << ": " << describe(jobId.failure());
        jobIds.push_back(*jobId);
        advance(20s);
    }
    for (const auto& id : jobIds) {
        const auto job = own->state().job(id);
        ASSERT_TRUE(job) << id;
        EXPECT_TRUE(job->refined.empty() && job->fullSend.empty()) << id;
    }
    size_t pictures = 0;
    for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(folder / "state.json.pictures"))
        ++pictures;
    EXPECT_EQ(pictures, 2 * jobIds.size());
    for (const auto& id : {jobIds.front(), jobIds.back()}) {
        const auto result = jobResult(id);
        ASSERT_TRUE(result) << describe(result.failure());
        EXPECT_FALSE(result->response.fullSendImage.value_or("").empty()) << id;
    }

    const auto waitForSaves = [this](int64_t count) {
        for (int wait = 0; wait < 1000 && own->state().saveCount() < count; ++wait) std::this_thread::sleep_for(10ms);
        return own->state().saveCount();
    };
    const int64_t before = waitForSaves(1);
    ASSERT_GE(before, 1);
    constexpr int changes = 200;
    for (int n = 0; n < changes; ++n) own->state().credit(owner.userId, 1, false);
    const int64_t written = waitForSaves(before + 1) - before;
    EXPECT_GE(written, 1);
    EXPECT_LT(written, changes / 10) << "a burst of changes is written together";
    stopOwn();
    startOwn(folder / "state.json");
    EXPECT_EQ(own->state().account(owner.userId)->balance, local::LocalBackendState::startingRoll + changes);
    EXPECT_TRUE(own->state().job(jobIds.back()));
}

} // namespace
} // namespace oxel::testing
