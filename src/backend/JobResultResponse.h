#pragma once

#include "backend/AnalysisResponse.h"
#include "backend/BackendFailure.h"

#include <optional>
#include <string>

namespace oxel {

// The answer to a job's result request: the two pictures in base64 and the analysis.
struct JobResultResponse {
    std::optional<std::string> refinedImage;
    std::optional<std::string> fullSendImage;
    AnalysisResponse analysis;
    std::optional<bool> postProcessed;
    std::optional<int64_t> postprocessVersion;
    std::optional<std::string> imageModel;

    // Strict but for the analysis: "analysis" must be present and an object, its inside is read
    // leniently; the other keys are optional and fail the answer only when wrongly typed.
    static BackendResult<JobResultResponse> decode(std::string_view bytes);
};

// A result answer together with the bytes it was read from.
struct JobResultAnswer {
    JobResultResponse response;
    std::string body;
};

} // namespace oxel
