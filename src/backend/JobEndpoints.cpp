#include "backend/JobEndpoints.h"

#include "backend/BackendRequest.h"
#include "backend/Base64.h"
#include "backend/JobId.h"
#include "backend/Utf8Text.h"
#include "backend/WireJson.h"
#include "platform/BuildInfo.h"
#include "platform/Diagnostics.h"

#include <condition_variable>
#include <mutex>

namespace oxel {
namespace {

// Wire values the backend knows this client by.
constexpr const char* clientPlatform = "macos";

// The submission's JSON text. The picture is spliced in by hand: its data URL needs no escaping,
// and passing megabytes of it through the JSON writer would cost more than the upload.
std::string submissionBody(std::string_view jpeg, const std::string& userId, const std::optional<std::string>& nudge,
                           const std::optional<std::string>& retryOf, bool wearsGrade)
{
    Json body = {
        {"mode", "fullSend"},
        {"userId", userId},
        {"format", "standard"},
        {"client_derives_refined", true},
        {"client_postprocess_version", 0},
        {"app_version", appVersion()},
        {"client_platform", clientPlatform},
    };
    if (nudge && !nudge->empty()) body["nudge"] = *nudge;
    if (retryOf) body["retryOfJobId"] = *retryOf;
    if (wearsGrade) body["client_wears_grade"] = true;
    std::string text = R"({"image":"data:image/jpeg;base64,)";
    text.append(base64Encoded(jpeg)).append("\",").append(compactJson(body).substr(1));
    return text;
}

BackendError refusal(const HttpResponse& answer)
{
    if (auto json = parseJson(answer.body); json && json->is_object()) {
        auto error = json->find("error");
        if (error != json->end() && error->is_string()) {
            const auto& text = error->get_ref<const std::string&>();
            if (text == "insufficient_credits") return BackendError::insufficientCredits();
            if (text == "aspect_unsupported") return BackendError::aspectUnsupported();
            if (text == "too_many_inflight") return BackendError::tooManyInFlight();
        }
    }
    return BackendError::httpError(answer.status, utf8OrEmpty(answer.body));
}

// "/jobs/<id><suffix>" with the given query items, when there are any.
std::string jobPath(const std::string& jobId, const char* suffix,
                    const std::vector<std::pair<std::string, std::string>>& query)
{
    std::string path = "/jobs/";
    path.append(jobId).append(suffix);
    if (!query.empty()) path.append("?").append(queryString(query));
    return path;
}

// A request for a job id that is not one is never built: it fails as a URL that cannot be made.
UrlError notAJobId()
{
    return UrlError{UrlErrorCode::badURL, "not a job id"};
}

// Waits between delivery attempts; a stop request cuts the wait short.
void pauseBetweenAttempts(std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, HttpSession::scaled(std::chrono::seconds(2)), [] { return false; });
}

} // namespace

BackendResult<std::string> submitJob(std::string_view jpeg, const std::string& userId,
                                     const std::optional<std::string>& nudge, const std::optional<std::string>& retryOf,
                                     bool wearsGrade, std::stop_token stop)
{
    HttpRequest request = backendRequest("POST", "/jobs");
    request.setHeader("Content-Type", "application/json");
    request.body = submissionBody(jpeg, userId, nudge, retryOf, wearsGrade);
    authorize(request);
    auto answer = HttpSession::backend().send(request, stop);
    if (!answer) return answer.failure();
    if (answer->status == 426) return BackendError::updateRequired();
    if (answer->status != 200) return refusal(*answer);
    if (auto json = parseJson(answer->body); json && json->is_object()) {
        auto jobId = json->find("jobId");
        if (jobId != json->end() && jobId->is_string()) {
            if (isJobId(jobId->get_ref<const std::string&>())) return jobId->get<std::string>();
            diagnose("backend", refusedJobId(jobId->get_ref<const std::string&>(), "a job submission's answer"));
            return BackendError::decodingFailed("the job id is not one");
        }
    }
    return BackendError::decodingFailed("no jobId in response");
}

BackendResult<JobStatusResponse> jobStatus(const std::string& jobId, std::stop_token stop)
{
    if (!isJobId(jobId)) return notAJobId();
    std::vector<std::pair<std::string, std::string>> query;
    if (auto userId = accountDefault("userId")) query.emplace_back("userId", *userId);
    HttpRequest request = backendRequest("GET", jobPath(jobId, "", query));
    authorize(request);
    auto body = strictBody(HttpSession::backend().send(request, stop), UpdateCheck::on);
    if (!body) return body.failure();
    return JobStatusResponse::decode(*body);
}

BackendResult<JobResultAnswer> jobResult(const std::string& jobId, std::stop_token stop)
{
    if (!isJobId(jobId)) return notAJobId();
    std::vector<std::pair<std::string, std::string>> query;
    if (auto userId = accountDefault("userId")) {
        query.emplace_back("userId", *userId);
        if (auto token = accountDefault("accountToken")) query.emplace_back("accountToken", *token);
    }
    HttpRequest request = backendRequest("GET", jobPath(jobId, "/result", query));
    authorize(request);
    auto body = strictBody(HttpSession::backend().send(request, stop), UpdateCheck::on);
    if (!body) return body.failure();
    auto response = JobResultResponse::decode(*body);
    if (!response) return response.failure();
    return JobResultAnswer{std::move(response).value(), std::move(body).value()};
}

DeliveryConfirmation confirmDelivery(const std::string& jobId, const std::string& userId, std::stop_token stop)
{
    if (!isJobId(jobId)) return DeliveryConfirmation::unknownJob;
    HttpRequest request = backendRequest("POST", jobPath(jobId, "/confirm-delivery", {}), Json{{"userId", userId}});
    authorize(request);
    constexpr int attempts = 3;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        auto answer = HttpSession::backend().send(request, stop);
        if (answer && answer->status == 200) return DeliveryConfirmation::confirmed;
        if (stop.stop_requested()) return DeliveryConfirmation::stopped;
        // The backend read the request and has no such job for this account: asking again is no use.
        if (answer && answer->status == 404) {
            diagnose("backend", "confirmDelivery refused for " + jobId + ": the server has no such job");
            return DeliveryConfirmation::unknownJob;
        }
        if (attempt < attempts) pauseBetweenAttempts(stop);
    }
    diagnose("backend", "confirmDelivery failed after 3 attempts for " + jobId);
    return DeliveryConfirmation::unanswered;
}

} // namespace oxel
