#pragma once

#include "async/TimeSource.h"
#include "backend/AnalysisResponse.h"
#include "develop/DevelopSettings.h"
#include "develop/SourceImage.h"
#include "develop/transfer/TransferLimits.h"
#include "ondevice/ColourOnlyResult.h"
#include "ondevice/LanguageModel.h"
#include "ondevice/ModelGrade.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace oxel {

// Colour only: one photograph graded on this computer. The local model chooses the house look
// cell and the strength; the house builds the grade; the result is dressed as a backend result
// (a "local-" job id, an analysis in the backend's shape with "colour_only" set, the original
// standing in for the render) so that previews, keeping, export and the library treat it alike.
// Black-and-white pictures are recognised first and never sent. Nothing here keeps state.
namespace ColourOnly {

inline constexpr int modelLongEdge = 1024;
inline constexpr const char* leaveAsIs = "this one's best left as it is";

// What grading works with; `standard()` is the application's.
struct Environment {
    LanguageModel* model;
    const TimeSource* time;  // its steady clock times the model
    CancelToken cancel = {}; // stops the model's request, as the owner's tasks end at quit

    static Environment standard();
};

// The model answered, in this many milliseconds.
struct Answered {
    ModelGradeAnswer answer;
    int ms = 0;
};
using Asked = std::variant<Answered, ColourOnlyFailure>;

// The analysis document: the decoded analysis and its bytes (compact, keys sorted).
struct AnalysisDocument {
    std::shared_ptr<const AnalysisResponse> analysis;
    std::vector<uint8_t> bytes;
};

// The outcome, the preview and the picture the outcome stands on; each may be missing.
struct Previews {
    std::shared_ptr<const JobOutcome> outcome;
    std::optional<Bitmap> preview;
    std::optional<Bitmap> original;
};

// Grades the item's original: reads its preview-sized picture, tests it for black and white, asks
// the model, builds the analysis and then the outcome and previews (the preview developed with
// `settings`), each step awaited on the work pool in turn. Called from the main thread; never throws.
Task<ColourOnlyGrade> grade(SourceImage source, TransferLimits limits, bool retry, DevelopSettings settings,
                            Environment environment = Environment::standard());

// How a colour-only result is first developed: at `colour`, with no runner-up and no light.
DevelopSettings firstLook(double colour, bool grain);

// Whether an 8- or 16-bit sRGB picture is black and white: drawn at no more than 64 x 64, every
// second row and column, the channels' mean spread is below 6 and the largest below 18 (of 255).
bool isBlackAndWhite(const Bitmap& picture);

// The picture drawn at `maxEdge` on its long side as an 8-bit sRGB picture; the picture itself
// when it is no larger; nothing when it cannot be drawn.
std::optional<Bitmap> scaled(const Bitmap& picture, int maxEdge);

// Sizes the picture for the model and asks it, timing the answer.
Task<Asked> askModel(Bitmap picture, bool retry, Environment environment = Environment::standard());

// The analysis document of an answer's grade (none when declined or black and white); nothing
// when it does not serialise or decode.
std::optional<AnalysisDocument> analysisJSON(const std::optional<SuggestedGrade>& grade, bool blackAndWhite,
                                             const std::string& reading, const std::string& brief);

// Reads the original again in its own colour space and builds the outcome on it, with the looks
// and their thumbnails when the analysis has a grade, and the preview developed with `settings`.
Previews previews(const SourceImage& source, const std::string& jobId, const AnalysisDocument& document,
                  const TransferLimits& limits, const DevelopSettings& settings);

// "local-" and a new random UUID in lower case.
std::string newJobId();

// A strength as the log writes it: the shortest decimal that reads back the same, with ".0" for
// whole numbers.
std::string strengthText(double strength);

} // namespace ColourOnly
} // namespace oxel
