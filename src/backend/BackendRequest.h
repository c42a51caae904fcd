#pragma once

#include "backend/HttpSession.h"
#include "platform/JsonFields.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace oxel {

// How long a backend request may take unless it says otherwise.
inline constexpr std::chrono::seconds backendRequestTimeout{60};

// Builds a backend request: the base URL followed by `path` (as plain text), the method, a compact
// JSON body with its content type, and the timeout.
HttpRequest backendRequest(std::string method, const std::string& path, const std::optional<Json>& body = std::nullopt,
                           std::chrono::milliseconds timeout = backendRequestTimeout);

// Sets "Authorization: Bearer <token>" when the user default "accountToken" holds a text (an empty
// one included); leaves the request alone otherwise.
void authorize(HttpRequest& request);

// Query items percent-encoded as URL components encode them (with "&", "=", "+" and "#" escaped
// too, so a value can never split into two items).
std::string queryString(const std::vector<std::pair<std::string, std::string>>& items);

// The common answer rules: strict with the update check (426 gives `updateRequired`), strict
// without it, and the check that only status 200 counts.
enum class UpdateCheck { on, off };
BackendResult<std::string> strictBody(BackendResult<HttpResponse> answer, UpdateCheck check);

// The user-default text under `key`, read afresh.
std::optional<std::string> accountDefault(const char* key);

} // namespace oxel
