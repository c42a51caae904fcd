#include "ondevice/ModelGradeDraft.h"

#include "develop/grade/LookName.h"
#include "platform/JsonFields.h"

#include <cmath>

namespace oxel {
namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson textProperty(const char* description)
{
    return {{"type", "string"}, {"description", description}};
}

OrderedJson choiceProperty(const char* description, std::initializer_list<const char*> choices)
{
    return {{"type", "string"}, {"description", description}, {"enum", OrderedJson(choices)}};
}

// The text inside one code fence ("```json" ... "```") around the whole answer, or the answer.
std::string withoutCodeFence(std::string_view answer)
{
    std::string text = trimmedWhitespace(answer);
    if (!text.starts_with("```") || text.size() < 6 || !text.ends_with("```")) return text;
    const auto firstLineEnd = text.find('\n');
    if (firstLineEnd == std::string::npos) return text;
    return text.substr(firstLineEnd + 1, text.size() - 3 - (firstLineEnd + 1));
}

std::variant<std::string, ModelFailure> textAt(const nlohmann::json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end()) return ModelFailure{std::string("the model's answer has no \"") + key + "\""};
    if (!found->is_string()) return ModelFailure{std::string("the model's \"") + key + "\" is not text"};
    return found->get<std::string>();
}

} // namespace

const nlohmann::ordered_json& ModelGradeDraft::schema()
{
    static const OrderedJson schema = {
        {"type", "object"},
        {"description", "The house's two decisions for one photograph, read from its light."},
        {"properties",
         {{"reading", textProperty("One sentence: what the light is doing in this photograph and what its key "
                                   "colours are.")},
          {"temperature",
           choiceProperty("Which way the picture leans. sun: hard directional sun outdoors. night: dark outdoors, lit "
                          "by things in the frame. night-in: a room at night lit by its own lamps. warm: flat light "
                          "and the picture's own colour is warm. cool: flat light and the picture's own colour is "
                          "cool or grey. none: black and white, or no colour would help.",
                          {"sun", "night", "night-in", "warm", "cool", "none"})},
          {"density",
           choiceProperty("How much colour. rich: strong or coloured light with a subject to hold it; hard sun and "
                          "golden hour are strong light, so a sun picture is rich unless it is all one family of "
                          "colour. quiet: flat or soft light where the colour should stay gentle. drained: one family "
                          "and nothing that must pop.",
                          {"rich", "quiet", "drained"})},
          {"strength",
           {{"type", "number"},
            {"description", "How far to take it. Most photographs take 0.8 to 1.0, and 1.0 for one that clearly "
                            "belongs in its cell; 0.6 when the picture is already close to the look; 0.4 only for a "
                            "delicate one."},
            {"minimum", 0.4},
            {"maximum", 1.0}}},
          {"brief", textProperty("One plain sentence of 14 to 20 words saying what the colour does to this "
                                 "photograph. No jargon, no names.")}}},
        {"required", {"reading", "temperature", "density", "strength", "brief"}},
        {"additionalProperties", false}};
    return schema;
}

std::variant<ModelGradeDraft, ModelFailure> ModelGradeDraft::fromAnswer(std::string_view text)
{
    const nlohmann::json object = parseJson(withoutCodeFence(text)).value_or(nullptr);
    if (!object.is_object()) return ModelFailure{"the model's answer is not a JSON object"};
    ModelGradeDraft draft;
    const std::pair<const char*, std::string*> texts[] = {{"reading", &draft.reading},
                                                          {"temperature", &draft.temperature},
                                                          {"density", &draft.density},
                                                          {"brief", &draft.brief}};
    for (const auto& [key, field] : texts) {
        auto value = textAt(object, key);
        if (auto* failure = std::get_if<ModelFailure>(&value)) return *failure;
        *field = std::get<std::string>(std::move(value));
    }
    const auto strength = object.find("strength");
    if (strength == object.end()) return ModelFailure{"the model's answer has no \"strength\""};
    if (!strength->is_number() || !std::isfinite(strength->get<double>()))
        return ModelFailure{"the model's \"strength\" is not a number"};
    draft.strength = strength->get<double>();
    return draft;
}

} // namespace oxel
