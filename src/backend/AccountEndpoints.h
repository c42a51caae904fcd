#pragma once

#include "backend/BalanceResponse.h"
#include "backend/ProProduct.h"
#include "platform/JsonFields.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace oxel {

// The account's requests besides the jobs. Each blocks its (worker) thread.

// The roll of shots. A new non-empty account token in the answer replaces the stored one and
// re-saves the account record. 426 gives `updateRequired`, other statuses `httpError`.
BackendResult<BalanceResponse> fetchBalance(const std::string& userId, std::stop_token stop = {});

// The packs for sale (no authorisation; every status but 200 is an `httpError`, 426 included).
BackendResult<ProProductsResponse> fetchProducts(std::stop_token stop = {});

// The announcement's "message" object when its "platforms" list names this platform; else nothing.
std::optional<Json> fetchAnnouncement(std::stop_token stop = {});

// Files a problem report about a result, with the picture when given; the report's identifier, or
// nothing on any failure.
std::optional<std::string> reportResult(const std::string& jobId, const std::string& userId,
                                        const std::optional<std::string_view>& image, std::stop_token stop = {});

// Tells the backend a result was exported; the answer and any failure are ignored.
void markDownloaded(const std::string& jobId, const std::string& userId, std::stop_token stop = {});

} // namespace oxel
