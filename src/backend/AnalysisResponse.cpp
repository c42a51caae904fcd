#include "backend/AnalysisResponse.h"

#include "develop/grade/GradeRunnerUp.h"

namespace oxel {
namespace {

// Runs one field's strict reader and swallows its failure, leaving the fallback in place.
template <class Read>
void leniently(Read read)
{
    try {
        read();
    } catch (const JsonFieldError&) {}
}

AnalysisResponse::Grain readGrain(const Json& object)
{
    const Json& grain = requireObject(object.at("grain"), "grain");
    return {requiredInteger(grain, "refined"), requiredInteger(grain, "full_send")};
}

AnalysisResponse::Descriptions readDescriptions(const Json& object)
{
    const Json& descriptions = requireObject(object.at("descriptions"), "descriptions");
    return {requiredText(descriptions, "original"), requiredText(descriptions, "refined"),
            requiredText(descriptions, "full_send")};
}

void readGrade(const Json& object, AnalysisResponse& analysis)
{
    auto found = object.find("grade");
    if (found == object.end() || found->is_null()) return;
    auto grade = SuggestedGrade::decode(*found);
    if (!grade) return;
    analysis.grade = *grade;
    if (auto runnerUp = GradeRunnerUp::decode(*found)) analysis.gradeLookAlt = runnerUp->lookAlt;
}

} // namespace

Decoded<AnalysisResponse> AnalysisResponse::read(const Json& value)
{
    if (!value.is_object()) return DecodingError::notAnObject();
    AnalysisResponse analysis;
    leniently([&] { analysis.perceived_intent = optionalText(value, "perceived_intent").value_or(""); });
    leniently(
        [&] { analysis.descriptors = optionalTextList(value, "descriptors").value_or(std::vector<std::string>{}); });
    leniently([&] { analysis.isBlackAndWhite = optionalBoolean(value, "isBlackAndWhite").value_or(false); });
    if (value.contains("grain")) leniently([&] { analysis.grain = readGrain(value); });
    if (value.contains("descriptions")) leniently([&] { analysis.descriptions = readDescriptions(value); });
    if (!analysis.isBlackAndWhite) readGrade(value, analysis);
    return analysis;
}

void to_json(Json& json, const AnalysisResponse& analysis)
{
    json = {
        {"perceived_intent", analysis.perceived_intent},
        {"descriptors", analysis.descriptors},
        {"isBlackAndWhite", analysis.isBlackAndWhite},
        {"grain", {{"refined", analysis.grain.refined}, {"full_send", analysis.grain.full_send}}},
        {"descriptions",
         {{"original", analysis.descriptions.original},
          {"refined", analysis.descriptions.refined},
          {"full_send", analysis.descriptions.full_send}}},
    };
    if (analysis.grade) {
        Json grade = *analysis.grade;
        grade.update(Json(GradeRunnerUp{analysis.gradeLookAlt}));
        json["grade"] = grade;
    }
}

Decoded<AnalysisResponse> AnalysisResponse::decode(std::string_view bytes)
{
    auto json = parseJson(bytes, largestRecordValues);
    if (!json) return DecodingError{"", "the data is not valid JSON"};
    return read(*json);
}

} // namespace oxel
