#include "ui/window/BandRules.h"

#include <algorithm>

namespace oxel::bands {

const std::vector<std::string>& builtInPlaceholders()
{
    static const std::vector<std::string> examples{
        "harder sun",       "late low sun", "one lamp",         "candlelit", "deep shadows", "cool shadows, warm light",
        "muted and filmic", "neon",         "ilse varga style",
    };
    return examples;
}

const std::vector<std::string>& placeholders(const std::vector<std::string>& suggested)
{
    return suggested.empty() ? builtInPlaceholders() : suggested;
}

std::string placeholderAt(const std::vector<std::string>& examples, std::size_t index)
{
    if (examples.empty()) return {};
    return examples[index % examples.size()];
}

std::size_t nextPlaceholderIndex(std::size_t index, const std::string& nudge, std::size_t exampleCount)
{
    if (!nudge.empty() || exampleCount == 0) return index;
    return (index + 1) % exampleCount;
}

std::string nudgeHelp(bool resetEachBatch)
{
    return resetEachBatch ? "goes into every image below. edit one to unlink it."
                          : "goes into every image below, and every batch after. edit one to unlink it.";
}

bool resetShown(bool resetEachBatch, bool hasStandingChanges)
{
    return !resetEachBatch && hasStandingChanges;
}

bool showsColourBand(bool suggestedGradeEnabled, const std::vector<std::shared_ptr<BatchItem>>& items)
{
    return suggestedGradeEnabled && std::any_of(items.begin(), items.end(), [](const auto& item) {
               return item->result() && item->result()->looks;
           });
}

std::shared_ptr<BatchItem> lightOfferItem(const std::vector<std::shared_ptr<BatchItem>>& items)
{
    const auto found = std::find_if(items.begin(), items.end(), [](const auto& item) {
        return item->result() && item->result()->colourOnly && item->source();
    });
    return found == items.end() ? nullptr : *found;
}

bool showsLightOffer(const std::vector<std::shared_ptr<BatchItem>>& items, int inFlightCount)
{
    return inFlightCount == 0 && lightOfferItem(items);
}

} // namespace oxel::bands
