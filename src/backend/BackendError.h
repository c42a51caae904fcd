#pragma once

#include <cstdint>
#include <string>

namespace oxel {

// A failure of the backend service, with the message shown to the photographer.
class BackendError {
public:
    enum class Case {
        httpError,
        decodingFailed,
        imageEncodingFailed,
        insufficientCredits,
        updateRequired,
        aspectUnsupported,
        tooManyInFlight,
        notSignedIn,
    };

    static BackendError httpError(int64_t status, std::string body);
    static BackendError decodingFailed(std::string detail);
    static BackendError imageEncodingFailed() { return BackendError(Case::imageEncodingFailed); }
    static BackendError insufficientCredits() { return BackendError(Case::insufficientCredits); }
    static BackendError updateRequired() { return BackendError(Case::updateRequired); }
    static BackendError aspectUnsupported() { return BackendError(Case::aspectUnsupported); }
    static BackendError tooManyInFlight() { return BackendError(Case::tooManyInFlight); }
    static BackendError notSignedIn() { return BackendError(Case::notSignedIn); }

    Case which() const { return case_; }
    // The HTTP status of an `httpError`, 0 otherwise.
    int64_t status() const { return status_; }
    // The answer body of an `httpError`, or the detail of `decodingFailed`.
    const std::string& text() const { return text_; }

    std::string errorDescription() const;

    bool operator==(const BackendError&) const = default;

private:
    explicit BackendError(Case c, int64_t status = 0, std::string text = {})
        : case_(c), status_(status), text_(std::move(text))
    {}

    Case case_;
    int64_t status_ = 0;
    std::string text_;
};

} // namespace oxel
