#include "develop/grade/GradeRunnerUp.h"

#include "develop/grade/GradeTheory.h"
#include "develop/grade/LookName.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace oxel {

Decoded<GradeRunnerUp> GradeRunnerUp::decode(const nlohmann::json& value)
{
    if (!value.is_object()) return DecodingError::notAnObject();
    return GradeRunnerUp{lookNameIn(value, "look_alt")};
}

std::optional<SuggestedGrade> GradeRunnerUp::alternative(const SuggestedGrade& chosen,
                                                         const std::optional<std::string>& lookAlt)
{
    constexpr double unknownStrength = 0.6;
    if (!lookAlt || lookAlt->empty()) return std::nullopt;
    const auto altCell = GradeTheory::cell(*lookAlt);
    if (!altCell) return std::nullopt;
    double strength = unknownStrength;
    if (const auto chosenCell = chosen.look ? GradeTheory::cell(*chosen.look) : std::nullopt) {
        if (*chosenCell == *altCell) return std::nullopt;
        const double along = chosen.projection(GradeTheory::grade(*chosenCell, ""));
        strength = std::isfinite(along) ? std::min(std::max(along, 0.4), 1.0) : unknownStrength;
    }
    return GradeTheory::grade(*altCell, "", strength);
}

void to_json(nlohmann::json& out, const GradeRunnerUp& runnerUp)
{
    out = nlohmann::json::object();
    if (runnerUp.lookAlt) out["look_alt"] = *runnerUp.lookAlt;
}

} // namespace oxel
