#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace oxel::local {

// Switches that make the local backend misbehave on purpose, for tests. A switch touches the
// requests whose path starts with `pathPrefix` ("" for all).
struct LocalFaults {
    std::string pathPrefix{};
    // Hold every answer back this long (past a client's timeout, say).
    std::chrono::milliseconds delay{0};
    // Answer with this status (a 5xx, 426, ...) instead of handling the request.
    int status = 0;
    // How many requests the status switch touches before it clears itself; -1 for all.
    int times = -1;
    // Replace the answer body: with text that is not JSON, or with the first half of itself.
    enum class Body { intact, malformed, truncated } body = Body::intact;
    // Answer with exactly this body (wrong types, missing fields, huge answers), status 200
    // unless `status` says otherwise.
    std::optional<std::string> answer{};
    // Refuse submissions with this "error" text ("too_many_inflight", "insufficient_credits",
    // "aspect_unsupported").
    std::string refusal{};
    // New jobs end "failed" with this failure code.
    std::optional<std::string> failJobs{};
    // New jobs end with this status instead of "succeeded": "blocked_policy" or "expired".
    std::optional<std::string> endJobs{};
    // New jobs never get past "analysing" and keep their first time stamp.
    bool staleJobs = false;
    // Job answers write `updated_at` with milliseconds.
    bool fractionalDates = false;
    // Every balance answer hands out a new account token.
    bool rotateTokens = false;
};

} // namespace oxel::local
