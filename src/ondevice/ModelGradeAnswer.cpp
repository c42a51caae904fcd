// Reading a draft into the house's answer; apart from the request so that it builds on its own.
#include "develop/grade/LookName.h"
#include "ondevice/ModelGrade.h"

#include <algorithm>

namespace oxel::ModelGrade {

ModelGradeAnswer answer(const ModelGradeDraft& draft)
{
    ModelGradeAnswer answer;
    answer.temperature = normalisedLookName(draft.temperature);
    answer.density = normalisedLookName(draft.density);
    answer.strengthAsked = draft.strength;
    answer.strength = std::clamp(draft.strength, lowestStrength, highestStrength);
    answer.brief = trimmedWhitespace(draft.brief);
    answer.reading = draft.reading;
    answer.cell = GradeTheory::cell(answer.temperature + "-" + answer.density);
    if (answer.cell) {
        SuggestedGrade grade = GradeTheory::grade(*answer.cell, answer.brief).scaled(answer.strength);
        grade.look = answer.cell->look();
        grade.brief = answer.brief;
        answer.grade = std::move(grade);
    }
    return answer;
}

} // namespace oxel::ModelGrade
