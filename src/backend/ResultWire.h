#pragma once

#include "backend/JobResultResponse.h"

#include <optional>
#include <string>

namespace oxel {

// A result's bytes as received, kept by the job runner in the job outcome.
struct ResultWire {
    std::optional<std::string> fullSend;
    std::optional<std::string> refined;
    std::optional<std::string> analysis;
    std::optional<bool> postProcessed;
    std::optional<int64_t> postprocessVersion;
    std::optional<std::string> imageModel;
    bool analysisVerbatim = false;

    // The pictures of a result answer decoded from base64 (characters outside the alphabet are
    // ignored; a picture that does not decode stays absent), with the answer's finishing fields.
    static ResultWire from(const JobResultResponse& response);
};

} // namespace oxel
