#include "backend/AccountEndpoints.h"

#include "backend/BackendRequest.h"
#include "backend/Base64.h"
#include "backend/JobId.h"
#include "backend/KeychainAccount.h"
#include "platform/BuildInfo.h"
#include "platform/SettingsStore.h"

namespace oxel {
namespace {

constexpr const char* announcementPlatform = "macos";

void rotateToken(const BalanceResponse& balance)
{
    if (!balance.accountToken || balance.accountToken->empty()) return;
    auto& defaults = SettingsStore::shared();
    if (defaults.stringValue("accountToken") == balance.accountToken) return;
    defaults.set("accountToken", *balance.accountToken);
    KeychainAccount::saveFromDefaults();
}

bool namesThisPlatform(const Json& message)
{
    auto platforms = message.find("platforms");
    if (platforms == message.end() || !platforms->is_array()) return false;
    bool named = false;
    for (const Json& platform : *platforms) {
        if (!platform.is_string()) return false; // not a list of platform names at all
        named = named || platform.get_ref<const std::string&>() == announcementPlatform;
    }
    return named;
}

// The body of a 200 answer, nothing for any other outcome.
std::optional<std::string> quietBody(const BackendResult<HttpResponse>& answer)
{
    if (!answer || answer->status != 200) return std::nullopt;
    return answer->body;
}

} // namespace

BackendResult<BalanceResponse> fetchBalance(const std::string& userId, std::stop_token stop)
{
    HttpRequest request =
        backendRequest("GET", "/credits/balance?userId=" + userId, std::nullopt, std::chrono::seconds(15));
    authorize(request);
    auto body = strictBody(HttpSession::backend().send(request, stop), UpdateCheck::on);
    if (!body) return body.failure();
    auto balance = BalanceResponse::decode(*body);
    if (balance) rotateToken(*balance);
    return balance;
}

BackendResult<ProProductsResponse> fetchProducts(std::stop_token stop)
{
    HttpRequest request = backendRequest("GET", "/pro/products", std::nullopt, std::chrono::seconds(15));
    auto body = strictBody(HttpSession::backend().send(request, stop), UpdateCheck::off);
    if (!body) return body.failure();
    return ProProductsResponse::decode(*body);
}

std::optional<Json> fetchAnnouncement(std::stop_token stop)
{
    HttpRequest request =
        backendRequest("GET", "/config/message?appVersion=" + appVersion() + "&platform=" + announcementPlatform);
    authorize(request);
    auto body = quietBody(HttpSession::backend().send(request, stop));
    if (!body) return std::nullopt;
    auto json = parseJson(*body);
    if (!json || !json->is_object()) return std::nullopt;
    auto message = json->find("message");
    if (message == json->end() || !message->is_object() || !namesThisPlatform(*message)) return std::nullopt;
    return *message;
}

std::optional<std::string> reportResult(const std::string& jobId, const std::string& userId,
                                        const std::optional<std::string_view>& image, std::stop_token stop)
{
    if (!isJobId(jobId)) return std::nullopt;
    Json body = {{"userId", userId}};
    if (image) body["image"] = base64Encoded(*image);
    HttpRequest request = backendRequest("POST", "/jobs/" + jobId + "/report", body, std::chrono::seconds(20));
    authorize(request);
    auto answer = quietBody(HttpSession::backend().send(request, stop));
    if (!answer) return std::nullopt;
    auto json = parseJson(*answer);
    if (!json || !json->is_object()) return std::nullopt;
    auto reportId = json->find("reportId");
    if (reportId == json->end() || !reportId->is_string()) return std::nullopt;
    return reportId->get<std::string>();
}

void markDownloaded(const std::string& jobId, const std::string& userId, std::stop_token stop)
{
    if (!isJobId(jobId)) return;
    HttpRequest request = backendRequest("POST", "/jobs/" + jobId + "/download", Json{{"userId", userId}});
    authorize(request);
    (void)HttpSession::backend().send(request, stop);
}

} // namespace oxel
