#pragma once

#include "backend/BackendFailure.h"
#include "backend/JobResultResponse.h"
#include "backend/JobStatusResponse.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace oxel {

// The four requests that carry a backend job. Each blocks its (worker) thread until the answer
// arrives; a stop request ends it at once with a cancellation. A job id that is not one (see
// `isJobId`) is never put into a request, which then fails as a URL that cannot be made.

// Uploads the JPEG as a new job; answers the job's identifier. Refusals come back as
// `insufficientCredits`, `aspectUnsupported`, `tooManyInFlight`; 426 as `updateRequired`.
BackendResult<std::string> submitJob(std::string_view jpeg, const std::string& userId,
                                     const std::optional<std::string>& nudge, const std::optional<std::string>& retryOf,
                                     bool wearsGrade, std::stop_token stop = {});

BackendResult<JobStatusResponse> jobStatus(const std::string& jobId, std::stop_token stop = {});

// The decoded answer together with its raw body.
BackendResult<JobResultAnswer> jobResult(const std::string& jobId, std::stop_token stop = {});

// How telling the backend of a delivery ended: taken (the shot is spent); refused because the
// backend has no such job for the account; no attempt taken; or stopped before it was taken.
enum class DeliveryConfirmation { confirmed, unknownJob, unanswered, stopped };

// Tells the backend the result arrived, which spends the shot: up to three attempts 2 s apart.
// Three that fail leave one line on standard error; a stop request ends it at once, silently.
DeliveryConfirmation confirmDelivery(const std::string& jobId, const std::string& userId, std::stop_token stop = {});

} // namespace oxel
