#pragma once

#include "imaging/Bitmap.h"
#include "library/JobOutcome.h"
#include "library/KeptResult.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace oxel {

// A finished grade of one picture on this computer, dressed as a result from the backend.
struct ColourOnlyResult {
    std::shared_ptr<const JobOutcome> outcome;
    std::optional<Bitmap> preview;  // developed at the colour amount asked for
    std::optional<Bitmap> original; // the picture the outcome was built from
    std::string cell;               // the chosen look, or "none" when declined or black and white
    double strength = 0;            // the answer's clamped strength; 0 when declined or black and white
    int ms = 0;                     // the model's time; 0 for a black-and-white picture
    bool monochrome = false;
    KeptResult keep; // what the library keeps: the analysis bytes only
};

// Why no result came back. The text is a detail for the log, not words for the photographer.
struct ColourOnlyFailure {
    enum class Kind {
        unavailable, // the local model cannot be used now
        failed,      // this picture could not be graded
    };
    Kind kind;
    std::string text;

    static ColourOnlyFailure unavailable(std::string text) { return {Kind::unavailable, std::move(text)}; }
    static ColourOnlyFailure failed(std::string text) { return {Kind::failed, std::move(text)}; }
    bool operator==(const ColourOnlyFailure&) const = default;
};

using ColourOnlyGrade = std::variant<ColourOnlyResult, ColourOnlyFailure>;

} // namespace oxel
