#include "backend/JobStatusResponse.h"

#include "backend/WireJson.h"

namespace oxel {

BackendResult<JobStatusResponse> JobStatusResponse::decode(std::string_view bytes)
{
    return decodeRecord<JobStatusResponse>(bytes, [](const Json& value) {
        const Json& object = requireObject(value, "the status answer");
        JobStatusResponse answer;
        answer.jobId = requiredText(object, "job_id");
        answer.status = requiredText(object, "status");
        answer.failureCode = optionalText(object, "failure_code");
        answer.imageModel = optionalText(object, "image_model");
        answer.postProcessed = optionalBoolean(object, "post_processed");
        answer.postprocessVersion = optionalInteger(object, "postprocess_version");
        answer.updatedAt = optionalText(object, "updated_at");
        if (auto found = object.find("narration"); found != object.end() && !found->is_null())
            answer.narration = JobNarration::read(*found);
        answer.debugError = optionalText(object, "debug_error");
        return answer;
    });
}

} // namespace oxel
