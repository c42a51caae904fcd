#pragma once

#include "backend/BackendFailure.h"
#include "backend/JobNarration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oxel {

// The answer to a job's status request. `status` is free text: the job runner compares it with
// "succeeded", "delivered", "failed" and "expired".
struct JobStatusResponse {
    std::string jobId;
    std::string status;
    std::optional<std::string> failureCode;
    std::optional<std::string> imageModel;
    std::optional<bool> postProcessed;
    std::optional<int64_t> postprocessVersion;
    std::optional<std::string> updatedAt;
    std::optional<JobNarration> narration;
    std::optional<std::string> debugError;

    // Strict: "job_id" and "status" are required, and any key of the wrong type fails the answer.
    static BackendResult<JobStatusResponse> decode(std::string_view bytes);
};

} // namespace oxel
