#pragma once

#include "async/CancelToken.h"
#include "async/Task.h"
#include "develop/grade/GradeTheory.h"
#include "develop/grade/SuggestedGrade.h"
#include "imaging/Bitmap.h"
#include "ondevice/LanguageModel.h"
#include "ondevice/ModelGradeDraft.h"

#include <optional>
#include <string>
#include <variant>

namespace oxel {

// A draft as the house reads it: the named cell's house grade scaled by the clamped strength.
struct ModelGradeAnswer {
    std::optional<SuggestedGrade> grade; // absent when the words name no cell
    std::optional<GradeTheory::Cell> cell;
    std::string temperature; // trimmed, lower case
    std::string density;     // trimmed, lower case
    std::string reading;     // as the model wrote it
    std::string brief;       // trimmed
    double strength = 0;     // clamped to 0.4 ... 1.0
    double strengthAsked = 0;
};

// The request that asks the local model to grade one photograph, and the texts that say whether
// it can.
namespace ModelGrade {

inline constexpr double lowestStrength = 0.4;
inline constexpr double highestStrength = 1.0;
inline constexpr const char* prompt =
    "Read this photograph's light, then decide its temperature and its density for the house, and how far to "
    "take them.";

// The session instructions: 21 lines, no newline at the end.
const std::string& instructions();

// Asks the model for a draft of a picture already sized for it (long edge at most 1024), sent as
// an sRGB JPEG at quality 0.92; greedy unless `retry`, which samples at random. A failed request
// or a draft with a missing or mistyped property is a failure.
Task<std::variant<ModelGradeDraft, ModelFailure>> ask(LanguageModel& model, Bitmap image, bool retry,
                                                      CancelToken cancel = {});

ModelGradeAnswer answer(const ModelGradeDraft& draft);

// Why colour only cannot run on this computer, for the photographer; none when it can.
std::optional<std::string> unavailableMessage(const LanguageModel& model);
// One line on the model's availability for the log: "available" or "model unavailable: " and why.
std::string diagnostic(const LanguageModel& model);

} // namespace ModelGrade
} // namespace oxel
