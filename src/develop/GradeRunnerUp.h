#pragma once

#include "Decoded.h"
#include "SuggestedGrade.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>

namespace oxel {

// The runner-up look named beside a grade ("look_alt"), read from the grade's own JSON object.
struct GradeRunnerUp {
    std::optional<std::string> lookAlt;

    // Fails only when the value is not an object.
    static Decoded<GradeRunnerUp> decode(const nlohmann::json& value);

    bool operator==(const GradeRunnerUp&) const = default;
};

// {"look_alt": name}, or an empty object when there is no runner-up look; merge it into the grade's
// object with `update`.
void to_json(nlohmann::json& json, const GradeRunnerUp& runnerUp);

} // namespace oxel
