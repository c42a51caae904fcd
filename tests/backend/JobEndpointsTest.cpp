#include "support/LocalBackendFixture.h"

#include "backend/BackendErrorCategory.h"
#include "backend/BackendRequest.h"
#include "backend/Base64.h"
#include "backend/JobEndpoints.h"
#include "backend/ResultWire.h"
#include "platform/BuildInfo.h"

#include <nlohmann/json.hpp>

namespace oxel::testing {
namespace {

using Json = nlohmann::json;
using local::LocalFaults;

class JobEndpoints : public LocalBackendTest {
protected:
    std::string userId() const { return std::to_string(account.userId); }

    BackendResult<std::string> submit(const std::optional<std::string>& nudge = std::nullopt,
                                      const std::optional<std::string>& retryOf = std::nullopt, bool wearsGrade = false)
    {
        return submitJob(gradientJPEG(64, 48), userId(), nudge, retryOf, wearsGrade);
    }

    Json lastBodyTo(const std::string& path)
    {
        auto requests = requestsTo(path);
        EXPECT_FALSE(requests.empty());
        return requests.empty() ? Json() : Json::parse(requests.back().body);
    }

    void expectBackendError(const BackendFailure& failure, BackendError expected)
    {
        auto* error = std::get_if<BackendError>(&failure);
        ASSERT_NE(error, nullptr) << describe(failure);
        EXPECT_EQ(*error, expected) << describe(failure);
    }
};

TEST_F(JobEndpoints, SubmitsThePictureAsADataURLWithTheFixedOptions)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId) << describe(jobId.failure());
    auto request = requestsTo("/jobs").back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.contentType, "application/json");
    EXPECT_EQ(request.authorization, "Bearer " + account.token);
    Json body = Json::parse(request.body);
    std::string prefix = "data:image/jpeg;base64,";
    ASSERT_EQ(body["image"].get<std::string>().rfind(prefix, 0), 0u);
    EXPECT_EQ(base64Decoded(body["image"].get<std::string>().substr(prefix.size())), gradientJPEG(64, 48));
    EXPECT_EQ(body["mode"], "fullSend");
    EXPECT_EQ(body["userId"], userId());
    EXPECT_EQ(body["format"], "standard");
    EXPECT_EQ(body["client_derives_refined"], true);
    EXPECT_EQ(body["client_postprocess_version"], 0);
    EXPECT_EQ(body["app_version"], appVersion());
    EXPECT_EQ(body["client_platform"], "macos");
    EXPECT_FALSE(body.contains("nudge"));
    EXPECT_FALSE(body.contains("retryOfJobId"));
    EXPECT_FALSE(body.contains("client_wears_grade"));
}

TEST_F(JobEndpoints, SendsNudgeRetryAndWornGradeOnlyWhenGiven)
{
    ASSERT_TRUE(submit(std::string(""), std::string(""), true));
    Json body = lastBodyTo("/jobs");
    EXPECT_FALSE(body.contains("nudge"));
    EXPECT_EQ(body["retryOfJobId"], "");
    EXPECT_EQ(body["client_wears_grade"], true);
    ASSERT_TRUE(submit(std::string("warmer"), std::string("job-0"), false));
    body = lastBodyTo("/jobs");
    EXPECT_EQ(body["nudge"], "warmer");
    EXPECT_EQ(body["retryOfJobId"], "job-0");
}

TEST_F(JobEndpoints, TurnsTheBackendsRefusalsIntoTheirErrors)
{
    for (auto [refusal, expected] : {std::pair{"insufficient_credits", BackendError::insufficientCredits()},
                                     std::pair{"too_many_inflight", BackendError::tooManyInFlight()},
                                     std::pair{"aspect_unsupported", BackendError::aspectUnsupported()}}) {
        LocalFaults faults;
        faults.refusal = refusal;
        backend().setFaults(faults);
        auto jobId = submit();
        ASSERT_FALSE(jobId);
        expectBackendError(jobId.failure(), expected);
    }
}

TEST_F(JobEndpoints, RefusesTheBackendReallyRefuses)
{
    backend().state().setBalance(account.userId, 0);
    auto broke = submit();
    ASSERT_FALSE(broke);
    expectBackendError(broke.failure(), BackendError::insufficientCredits());

    backend().state().setBalance(account.userId, 5);
    auto thin = submitJob(gradientJPEG(500, 100), userId(), std::nullopt, std::nullopt, false);
    ASSERT_FALSE(thin);
    expectBackendError(thin.failure(), BackendError::aspectUnsupported());
}

TEST_F(JobEndpoints, AnyOtherRefusalIsAnHttpErrorWithTheWholeBody)
{
    LocalFaults faults;
    faults.pathPrefix = "/jobs";
    faults.status = 400;
    faults.answer = R"({"error": "image_too_small"})";
    backend().setFaults(faults);
    auto jobId = submit();
    ASSERT_FALSE(jobId);
    expectBackendError(jobId.failure(), BackendError::httpError(400, R"({"error": "image_too_small"})"));

    faults.status = 426;
    backend().setFaults(faults);
    expectBackendError(submit().failure(), BackendError::updateRequired());
}

TEST_F(JobEndpoints, ASubmissionAnswerWithoutATextJobIdFailsToDecode)
{
    for (const char* answer : {R"({"jobId": 42})", "{}", "[]", "not json", ""}) {
        LocalFaults faults;
        faults.pathPrefix = "/jobs";
        faults.answer = answer;
        backend().setFaults(faults);
        auto jobId = submit();
        ASSERT_FALSE(jobId) << answer;
        expectBackendError(jobId.failure(), BackendError::decodingFailed("no jobId in response"));
    }
}

TEST_F(JobEndpoints, CarriesAJobThroughStatusResultAndDelivery)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId);
    auto status = jobStatus(*jobId);
    ASSERT_TRUE(status) << describe(status.failure());
    EXPECT_EQ(status->jobId, *jobId);
    EXPECT_EQ(status->status, "succeeded");
    EXPECT_TRUE(status->narration);
    EXPECT_EQ(requestsTo("/jobs/" + *jobId).back().query, "userId=" + userId());

    auto result = jobResult(*jobId);
    ASSERT_TRUE(result) << describe(result.failure());
    EXPECT_EQ(Json::parse(result->body)["imageModel"], result->response.imageModel.value());
    auto wire = ResultWire::from(result->response);
    ASSERT_TRUE(wire.refined && wire.fullSend);
    EXPECT_EQ(decodedPicture(*wire.fullSend).width, 64);
    EXPECT_EQ(requestsTo("/jobs/" + *jobId + "/result").back().query,
              "userId=" + userId() + "&accountToken=" + account.token);

    int64_t before = backend().state().account(account.userId)->balance;
    confirmDelivery(*jobId, userId());
    EXPECT_EQ(Json::parse(requestsTo("/jobs/" + *jobId + "/confirm-delivery").back().body),
              Json({{"userId", userId()}}));
    EXPECT_EQ(backend().state().account(account.userId)->balance, before - 1);
    EXPECT_EQ(jobStatus(*jobId)->status, "delivered");
}

TEST_F(JobEndpoints, StatusAndResultTakeTheirQueryFromTheUserDefaultsOfTheMoment)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId);
    SettingsStore::shared().remove("accountToken");
    auto result = jobResult(*jobId); // refused: no token anywhere
    auto request = requestsTo("/jobs/" + *jobId + "/result").back();
    EXPECT_EQ(request.query, "userId=" + userId());
    EXPECT_FALSE(request.authorization);
    ASSERT_FALSE(result);
    EXPECT_EQ(backendErrorCategory(result.failure()), BackendErrorCategory::invalidRequest);

    forgetAccount();
    (void)jobStatus(*jobId);
    EXPECT_EQ(requestsTo("/jobs/" + *jobId).back().query, "");
}

TEST_F(JobEndpoints, AuthorisesWithWhateverTokenIsStored)
{
    HttpRequest request = backendRequest("GET", "/jobs/x");
    SettingsStore::shared().set("accountToken", "");
    authorize(request);
    EXPECT_EQ(request.header("Authorization"), "Bearer ");
    SettingsStore::shared().remove("accountToken");
    HttpRequest unsigned_ = backendRequest("GET", "/jobs/x");
    authorize(unsigned_);
    EXPECT_FALSE(unsigned_.header("Authorization"));
}

TEST_F(JobEndpoints, StrictAnswersFollowTheStatusRule)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId);
    LocalFaults faults;
    faults.pathPrefix = "/jobs/";
    for (auto [status, expected] : {std::pair{426, BackendError::updateRequired()},
                                    std::pair{503, BackendError::httpError(503, R"({"error":"injected failure"})")},
                                    std::pair{204, BackendError::httpError(204, "")}}) {
        faults.status = status;
        backend().setFaults(faults);
        expectBackendError(jobStatus(*jobId).failure(), expected);
        expectBackendError(jobResult(*jobId).failure(), expected);
    }
}

TEST_F(JobEndpoints, MalformedOrTruncatedAnswersAreDecodingErrors)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId);
    LocalFaults faults;
    faults.pathPrefix = "/jobs/";
    for (auto body : {LocalFaults::Body::malformed, LocalFaults::Body::truncated}) {
        faults.body = body;
        backend().setFaults(faults);
        auto status = jobStatus(*jobId);
        ASSERT_FALSE(status);
        EXPECT_TRUE(std::holds_alternative<DecodingError>(status.failure()));
        auto result = jobResult(*jobId);
        ASSERT_FALSE(result);
        EXPECT_TRUE(std::holds_alternative<DecodingError>(result.failure()));
    }
}

TEST_F(JobEndpoints, HostileStatusAnswersGiveDecodingErrors)
{
    for (const char* answer :
         {R"({"job_id": ["j"], "status": "queued"})", R"({"status": "queued"})",
          R"({"job_id": "j", "status": "queued", "narration": []})",
          R"({"job_id": "j", "status": "queued", "narration": {"descriptors": "x"}})",
          R"([[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]])", "null"}) {
        LocalFaults faults;
        faults.pathPrefix = "/jobs/";
        faults.answer = answer;
        backend().setFaults(faults);
        auto status = jobStatus("job-1");
        ASSERT_FALSE(status) << answer;
        EXPECT_TRUE(std::holds_alternative<DecodingError>(status.failure())) << answer;
    }
}

TEST_F(JobEndpoints, FailedAndStaleJobsSayWhatHappened)
{
    LocalFaults faults;
    faults.failJobs = "content_policy";
    backend().setFaults(faults);
    auto failing = submit();
    ASSERT_TRUE(failing);
    auto status = jobStatus(*failing);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, "failed");
    EXPECT_EQ(status->failureCode, "content_policy");

    faults = {};
    faults.staleJobs = true;
    backend().setFaults(faults);
    auto stale = submit();
    ASSERT_TRUE(stale);
    status = jobStatus(*stale);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, "analysing");
    EXPECT_TRUE(status->updatedAt);
}

// A job id goes into request paths as it stands: one a backend hands out that is more than one
// path segment is refused, and such an id is never sent, wherever it came from.
TEST_F(JobEndpoints, AJobIdThatIsNotOnePathSegmentIsNeverSent)
{
    const std::string hostile = "../credits/balance?userId=2&x=";
    backend().setFaults(LocalFaults{.pathPrefix = "/jobs", .answer = Json{{"jobId", hostile}}.dump()});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(submit());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("refused a job id"), std::string::npos);
    backend().clearFaults();
    for (const std::string& id : {hostile, std::string("job 1"), std::string(129, 'a'), std::string()}) {
        EXPECT_FALSE(jobStatus(id));
        EXPECT_FALSE(jobResult(id));
        EXPECT_EQ(confirmDelivery(id, userId()), DeliveryConfirmation::unknownJob);
    }
    for (const auto& request : backend().receivedRequests()) EXPECT_EQ(request.path, "/jobs") << "only the submission";
}

TEST_F(JobEndpoints, ConfirmsDeliveryOnTheThirdAttempt)
{
    auto jobId = submit();
    ASSERT_TRUE(jobId);
    LocalFaults faults;
    faults.pathPrefix = "/jobs/" + *jobId + "/confirm-delivery";
    faults.status = 500;
    faults.times = 2;
    backend().setFaults(faults);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(confirmDelivery(*jobId, userId()), DeliveryConfirmation::confirmed);
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(requestsTo(faults.pathPrefix).size(), 3u);
    EXPECT_EQ(log.find("confirmDelivery failed"), std::string::npos);
    EXPECT_TRUE(backend().state().job(*jobId)->delivered);
}

TEST_F(JobEndpoints, GivesUpConfirmingAfterThreeAttemptsWithOneLine)
{
    LocalFaults faults;
    faults.pathPrefix = "/jobs/job-9/confirm-delivery";
    faults.status = 500;
    backend().setFaults(faults);
    ::testing::internal::CaptureStderr();
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(confirmDelivery("job-9", userId()), DeliveryConfirmation::unanswered);
    auto took = std::chrono::steady_clock::now() - started;
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(requestsTo(faults.pathPrefix).size(), 3u);
    EXPECT_EQ(log, "[backend] confirmDelivery failed after 3 attempts for job-9\n");
    // Two waits of 2 s, at the tests' time scale.
    EXPECT_GE(took, HttpSession::scaled(std::chrono::seconds(4)));
}

} // namespace
} // namespace oxel::testing
