#pragma once

#include "ondevice/LanguageModel.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <variant>

namespace oxel {

// The model's structured answer for one photograph: its reading of the light, the house's two
// decisions (a temperature and a density) and how far to take them, and a brief for the
// photographer. Only words are chosen; every number of the grade comes from the house.
struct ModelGradeDraft {
    std::string reading;
    std::string temperature;
    std::string density;
    double strength = 0;
    std::string brief;

    // The schema the model is given: the type's description and the five properties in this
    // order, with their guides and descriptions.
    static const nlohmann::ordered_json& schema();

    // The draft in a model's answer text: a JSON object (one surrounding code fence is allowed)
    // holding the five properties, the strength a number and the others text. Anything else is
    // a failure that says what is missing or mistyped.
    static std::variant<ModelGradeDraft, ModelFailure> fromAnswer(std::string_view text);
};

} // namespace oxel
