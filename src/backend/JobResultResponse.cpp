#include "backend/JobResultResponse.h"

#include "backend/WireJson.h"

namespace oxel {

BackendResult<JobResultResponse> JobResultResponse::decode(std::string_view bytes)
{
    return decodeRecord<JobResultResponse>(bytes, [](const Json& value) -> BackendResult<JobResultResponse> {
        const Json& object = requireObject(value, "the result answer");
        JobResultResponse answer;
        answer.refinedImage = optionalText(object, "refinedImage");
        answer.fullSendImage = optionalText(object, "fullSendImage");
        auto found = object.find("analysis");
        if (found == object.end() || found->is_null()) return DecodingError{"analysis", "no value"};
        auto analysis = AnalysisResponse::read(*found);
        if (!analysis) return DecodingError{"analysis", analysis.error().description};
        answer.analysis = *analysis;
        answer.postProcessed = optionalBoolean(object, "post_processed");
        answer.postprocessVersion = optionalInteger(object, "postprocess_version");
        answer.imageModel = optionalText(object, "imageModel");
        return answer;
    });
}

} // namespace oxel
