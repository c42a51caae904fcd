#include "GradeRunnerUp.h"

#include "LookName.h"

#include <nlohmann/json.hpp>

namespace oxel {

Decoded<GradeRunnerUp> GradeRunnerUp::decode(const nlohmann::json& value)
{
    if (!value.is_object()) return DecodingError::notAnObject();
    return GradeRunnerUp{lookNameIn(value, "look_alt")};
}

void to_json(nlohmann::json& out, const GradeRunnerUp& runnerUp)
{
    out = nlohmann::json::object();
    if (runnerUp.lookAlt) out["look_alt"] = *runnerUp.lookAlt;
}

} // namespace oxel
