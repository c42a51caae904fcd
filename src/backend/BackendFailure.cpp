#include "backend/BackendFailure.h"

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

} // namespace oxel
