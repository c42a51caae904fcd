#include "backend/BackendRequest.h"

#include "backend/BackendBaseURL.h"
#include "backend/Utf8Text.h"
#include "backend/WireJson.h"
#include "platform/SettingsStore.h"

#include <cctype>

namespace oxel {
namespace {

bool keptInQuery(unsigned char c)
{
    if (std::isalnum(c)) return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case ',':
    case ';':
    case ':':
    case '@':
    case '/':
    case '?': return true;
    default: return false;
    }
}

std::string percentEncoded(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (keptInQuery(c)) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

HttpRequest backendRequest(std::string method, const std::string& path, const std::optional<Json>& body,
                           std::chrono::milliseconds timeout)
{
    HttpRequest request;
    request.method = std::move(method);
    request.url = backendBaseURL() + path;
    request.timeout = timeout;
    if (body) {
        request.setHeader("Content-Type", "application/json");
        request.body = compactJson(*body);
    }
    return request;
}

void authorize(HttpRequest& request)
{
    if (auto token = accountDefault("accountToken")) request.setHeader("Authorization", "Bearer " + *token);
}

std::string queryString(const std::vector<std::pair<std::string, std::string>>& items)
{
    std::string query;
    for (const auto& [name, value] : items) {
        if (!query.empty()) query += '&';
        query += percentEncoded(name) + "=" + percentEncoded(value);
    }
    return query;
}

BackendResult<std::string> strictBody(BackendResult<HttpResponse> answer, UpdateCheck check)
{
    if (!answer) return answer.failure();
    if (check == UpdateCheck::on && answer->status == 426) return BackendError::updateRequired();
    if (answer->status != 200) return BackendError::httpError(answer->status, utf8OrEmpty(answer->body));
    return std::move(answer).value().body;
}

std::optional<std::string> accountDefault(const char* key)
{
    return SettingsStore::shared().stringValue(key);
}

} // namespace oxel
