#pragma once

#include "backend/BackendFailure.h"

#include <string_view>

namespace oxel {

// The kind of a failure, as the job runner sorts it. The order matters: the first three cases are
// the ones where the network or the server was out of reach.
enum class BackendErrorCategory {
    offline,
    timeout,
    backendUnreachable,
    upstreamModel,
    invalidRequest,
    hardServerFailure,
    userCancelled,
    unknown,
};

BackendErrorCategory backendErrorCategory(const BackendFailure& failure);

// The network or the server was out of reach: `offline`, `timeout` or `backendUnreachable`.
inline bool isOutOfReach(BackendErrorCategory category)
{
    return category <= BackendErrorCategory::backendUnreachable;
}

// The case name exactly as written above ("backendUnreachable", ...), used in failure codes.
std::string_view name(BackendErrorCategory category);

} // namespace oxel
