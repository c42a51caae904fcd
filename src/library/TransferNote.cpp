#include "library/TransferNote.h"

namespace oxel {

std::optional<std::string> transferNote(const JobOutcome& outcome)
{
    if (outcome.colourOnly) return std::nullopt;
    if (!outcome.previewPlan) return "could not match the render to the original · showing the render";
    if (outcome.previewPlan.divergence() > outcome.transfer.limits().refineDivergenceLimit)
        return "moved too much to blend · full send only";
    return std::nullopt;
}

} // namespace oxel
