#include "backend/BackendErrorCategory.h"

namespace oxel {
namespace {

constexpr int64_t cancelledCode = -999;

BackendErrorCategory categoryOfUrlError(UrlErrorCode code)
{
    switch (code) {
    case UrlErrorCode::notConnectedToInternet:
    case UrlErrorCode::dataNotAllowed: return BackendErrorCategory::offline;
    case UrlErrorCode::timedOut: return BackendErrorCategory::timeout;
    case UrlErrorCode::cannotConnectToHost:
    case UrlErrorCode::cannotFindHost:
    case UrlErrorCode::networkConnectionLost:
    case UrlErrorCode::dnsLookupFailed:
    case UrlErrorCode::secureConnectionFailed:
    case UrlErrorCode::resourceUnavailable: return BackendErrorCategory::backendUnreachable;
    case UrlErrorCode::cancelled: return BackendErrorCategory::userCancelled;
    default: return BackendErrorCategory::unknown;
    }
}

BackendErrorCategory categoryOfStatus(int64_t status)
{
    if (status >= 502 && status <= 504) return BackendErrorCategory::backendUnreachable;
    if (status >= 500) return BackendErrorCategory::hardServerFailure;
    if (status >= 400) return BackendErrorCategory::invalidRequest;
    return BackendErrorCategory::unknown;
}

} // namespace

BackendErrorCategory backendErrorCategory(const BackendFailure& failure)
{
    if (auto* other = std::get_if<OtherError>(&failure); other && other->code == cancelledCode)
        return BackendErrorCategory::userCancelled;
    if (std::holds_alternative<Cancellation>(failure)) return BackendErrorCategory::userCancelled;
    if (auto* url = std::get_if<UrlError>(&failure)) return categoryOfUrlError(url->code);
    if (auto* backend = std::get_if<BackendError>(&failure);
        backend && backend->which() == BackendError::Case::httpError)
        return categoryOfStatus(backend->status());
    return BackendErrorCategory::unknown;
}

std::string_view name(BackendErrorCategory category)
{
    switch (category) {
    case BackendErrorCategory::offline: return "offline";
    case BackendErrorCategory::timeout: return "timeout";
    case BackendErrorCategory::backendUnreachable: return "backendUnreachable";
    case BackendErrorCategory::upstreamModel: return "upstreamModel";
    case BackendErrorCategory::invalidRequest: return "invalidRequest";
    case BackendErrorCategory::hardServerFailure: return "hardServerFailure";
    case BackendErrorCategory::userCancelled: return "userCancelled";
    case BackendErrorCategory::unknown: return "unknown";
    }
    return "unknown";
}

} // namespace oxel
