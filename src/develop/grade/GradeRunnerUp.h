#pragma once

#include "develop/grade/SuggestedGrade.h"
#include "platform/Decoded.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>

namespace oxel {

// The runner-up look named beside a grade ("look_alt"), read from the grade's own JSON object.
struct GradeRunnerUp {
    std::optional<std::string> lookAlt;

    // Fails only when the value is not an object.
    static Decoded<GradeRunnerUp> decode(const nlohmann::json& value);

    // The runner-up grade: the house grade of the runner-up look, as far from the identity as
    // `chosen` lies along its own house look (within 0.4 to 1; 0.6 when its look is unknown).
    // None when the name is absent, empty, names no house look, or names the chosen grade's look.
    static std::optional<SuggestedGrade> alternative(const SuggestedGrade& chosen,
                                                     const std::optional<std::string>& lookAlt);

    bool operator==(const GradeRunnerUp&) const = default;
};

// {"look_alt": name}, or an empty object when there is no runner-up look; merge it into the grade's
// object with `update`.
void to_json(nlohmann::json& json, const GradeRunnerUp& runnerUp);

} // namespace oxel
