#include "backend/BackendFailure.h"

#include "platform/JsonFields.h"

namespace oxel {

std::string describe(const BackendFailure& failure)
{
    struct Describer {
        std::string operator()(const BackendError& e) const { return e.errorDescription(); }
        std::string operator()(const UrlError& e) const
        {
            return "network error " + std::to_string(int(e.code)) + (e.detail.empty() ? "" : ": " + e.detail);
        }
        std::string operator()(const DecodingError& e) const { return "could not read the answer: " + e.text(); }
        std::string operator()(const Cancellation&) const { return "cancelled"; }
        std::string operator()(const OtherError& e) const { return e.description; }
    };
    return std::visit(Describer{}, failure);
}

namespace {

// A 404 whose JSON body names `what` as its error.
bool isNotFound(const BackendFailure& failure, const char* what)
{
    const auto* error = std::get_if<BackendError>(&failure);
    if (!error || error->which() != BackendError::Case::httpError || error->status() != 404) return false;
    const auto body = parseJson(error->text());
    return body && body->is_object() && body->value("error", Json()) == what;
}

} // namespace

bool isUnknownAccount(const BackendFailure& failure)
{
    return isNotFound(failure, "no_such_account");
}

bool isUnknownJob(const BackendFailure& failure)
{
    return isNotFound(failure, "no_such_job");
}

} // namespace oxel
