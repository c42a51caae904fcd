#pragma once

#include "library/ItemPhase.h"

#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// One way in which the job of a photograph ends without a result: the code written to the
// item's record, the text its tile shows, and whether the retry action is offered. No failure
// that the job reports has spent a shot.
struct JobFailure {
    std::optional<std::string> code;
    std::string message;
    bool retryable = true;

    // The item's phase for this failure.
    phase::Failed phase() const { return {code, message, retryable, false}; }

    // The fixed failures, by where they happen.
    static const JobFailure originalMissing; // the original is not loaded when the job begins
    static const JobFailure encode;          // the upload picture could not be made
    static const JobFailure stale;           // no status answer for too long
    static const JobFailure staleJob;        // the job's last update is too old
    static const JobFailure blockedPolicy;   // status "blocked_policy"
    static const JobFailure insufficientCredits;
    static const JobFailure updateRequired;
    static const JobFailure aspectUnsupported;
    static const JobFailure noImage;          // the result carries no picture
    static const JobFailure originalWentAway; // the original went offline before the result came
    static const JobFailure decode;           // the result picture could not be read

    // Status "delivered" or "expired": the status is the code.
    static JobFailure collectedTooLate(const std::string& status);
    // Status "failed" and not sent again: the backend's code with its text and detail.
    static JobFailure backendFailed(const std::optional<std::string>& code, const std::optional<std::string>& detail);
    // A submission that failed for another reason than a refusal: "submit_" and the category.
    static JobFailure submissionFailed(std::string_view category, bool network);
    // The result request failed: "fetch_" and the category.
    static JobFailure fetchFailed(std::string_view category);
};

// The line of a picture back at ready because the backend no longer has its job.
inline constexpr std::string_view jobForgottenNote = "the server no longer has this one · shot not spent";

// The backend's failure code that is never sent again and never offered for retry.
inline constexpr std::string_view contentPolicyCode = "content_policy";

// What a tile shows for a backend job status: "getting ready", "reading the light", ... and any
// status it does not know as it is.
std::string statusNarration(std::string_view status);

// The message for a backend failure code, followed by the first 220 characters of a non-empty
// detail in brackets.
std::string failureText(const std::optional<std::string>& code, const std::optional<std::string>& detail);

} // namespace oxel
