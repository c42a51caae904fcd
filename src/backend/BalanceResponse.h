#pragma once

#include "backend/BackendFailure.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The account's roll of shots, and a new account token when the backend rotates it.
struct BalanceResponse {
    int64_t balance = 0;
    int64_t paidCredits = 0;
    std::string accessState;
    bool systemSlow = false;
    std::optional<std::string> accountToken;

    static BackendResult<BalanceResponse> decode(std::string_view bytes);

    bool operator==(const BalanceResponse&) const = default;
};

} // namespace oxel
