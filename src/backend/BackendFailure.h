#pragma once

#include "backend/BackendError.h"
#include "platform/Decoded.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace oxel {

// Codes of a transport failure, numbered like the platform's URL-loading errors so that failure
// codes written to logs and records read the same everywhere.
enum class UrlErrorCode : int {
    unknown = -1,
    cancelled = -999,
    badURL = -1000,
    timedOut = -1001,
    unsupportedURL = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    dnsLookupFailed = -1006,
    resourceUnavailable = -1008,
    notConnectedToInternet = -1009,
    badServerResponse = -1011,
    cannotParseResponse = -1017,
    dataNotAllowed = -1020,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
};

// The request never got a whole HTTP answer.
struct UrlError {
    UrlErrorCode code = UrlErrorCode::unknown;
    std::string detail;
};

// The caller's task was cancelled before the operation finished.
struct Cancellation {};

// Any other failure that callers hand to the classification (a domain and a numeric code).
struct OtherError {
    std::string domain;
    int64_t code = 0;
    std::string description;
};

using BackendFailure = std::variant<BackendError, UrlError, DecodingError, Cancellation, OtherError>;

// The failure's text for people and logs.
std::string describe(const BackendFailure& failure);
// The backend holds no account of the user id the request named (it answered 404 with the error
// "no_such_account"): signing in again is the only way on.
bool isUnknownAccount(const BackendFailure& failure);
// The backend holds no job of the id the request named, or none for this account (it answered 404
// with the error "no_such_job"): asking again will not bring it back.
bool isUnknownJob(const BackendFailure& failure);

// The answer of a strict backend operation: a value or the failure that stopped it.
template <class T>
class BackendResult {
public:
    BackendResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    BackendResult(BackendFailure failure) : state_(std::in_place_index<1>, std::move(failure)) {}
    BackendResult(BackendError error) : state_(std::in_place_index<1>, std::move(error)) {}
    BackendResult(UrlError error) : state_(std::in_place_index<1>, std::move(error)) {}
    BackendResult(DecodingError error) : state_(std::in_place_index<1>, std::move(error)) {}
    BackendResult(Cancellation error) : state_(std::in_place_index<1>, error) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T* operator->() const { return &value(); }
    const T& operator*() const { return value(); }

    const BackendFailure& failure() const { return std::get<1>(state_); }

    // The backend error, when the failure is one.
    const BackendError* backendError() const { return ok() ? nullptr : std::get_if<BackendError>(&failure()); }

private:
    std::variant<T, BackendFailure> state_;
};

} // namespace oxel
