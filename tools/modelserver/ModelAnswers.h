#pragma once

#include "localbackend/PictureAnalysis.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace oxel::local {

// How the stand-in fills a grade draft.
struct DraftChoice {
    // Take the density next to the measured one, as a model sampling at a higher temperature might.
    bool secondOpinion = false;
    // Answer temperature "none", as for a picture no colour would help.
    bool decline = false;
};

// The five properties of a grade draft for a measured picture, by name: the house cell of the
// local backend, a strength of 0.6 to 1.0 from contrast and saturation, a one-sentence reading
// and a brief of 14 to 20 words. The caller puts them in the order its schema asks for.
nlohmann::ordered_json gradeDraft(const PictureStatistics& statistics, DraftChoice choice);

// The answer to a naming prompt ("- description (intent)" lines, then "Place: ..." or none): a
// short name from the first line's words and the place, written as a chatty model would, in
// curly quotes with a full stop, followed by a second line of explanation.
std::string batchNameAnswer(std::string_view prompt);

} // namespace oxel::local
