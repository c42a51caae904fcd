#include "backend/BackendError.h"

#include "backend/Utf8Text.h"

namespace oxel {

BackendError BackendError::httpError(int64_t status, std::string body)
{
    return BackendError(Case::httpError, status, std::move(body));
}

BackendError BackendError::decodingFailed(std::string detail)
{
    return BackendError(Case::decodingFailed, 0, std::move(detail));
}

std::string BackendError::errorDescription() const
{
    switch (case_) {
    case Case::httpError: return "server error " + std::to_string(status_) + ": " + firstCharacters(text_, 200);
    case Case::decodingFailed: return "could not read the server's answer: " + text_;
    case Case::imageEncodingFailed: return "could not encode the image for upload";
    case Case::insufficientCredits: return "no shots left in the roll";
    case Case::updateRequired: return "this version of oxel pro needs updating";
    case Case::aspectUnsupported: return "too long and thin for oxel to light · no shot used";
    case Case::tooManyInFlight: return "the server asked us to wait";
    case Case::notSignedIn: return "not signed in";
    }
    return {};
}

} // namespace oxel
