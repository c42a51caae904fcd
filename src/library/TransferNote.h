#pragma once

#include "library/JobOutcome.h"

#include <optional>
#include <string>

namespace oxel {

// What a developed result's tile says about blending the original's detail in: that the render is
// shown as it came when it could not be matched to the original, or that only full send is left
// when the original moved further than the transfer's limit. Nothing when the detail blends, and
// nothing for a result graded on this machine alone.
std::optional<std::string> transferNote(const JobOutcome& outcome);

} // namespace oxel
