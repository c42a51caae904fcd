#include "ui/window/MainTexts.h"

#include "ondevice/CaptureSpanLabel.h"
#include "platform/Joined.h"

#include <algorithm>
#include <vector>

namespace oxel::maintexts {
namespace {

constexpr std::string_view separator = " · ";

std::string dateText(const BatchRecord& record)
{
    return captureSpanLabel(record.captured, record.createdAt);
}

} // namespace

std::string counted(int64_t count, std::string_view noun)
{
    std::string text = std::to_string(count) + " " + std::string(noun);
    if (count != 1) text += "s";
    return text;
}

std::string batchLine(const std::optional<BatchRecord>& batch, const std::optional<std::string>& source, int items,
                      int withResult)
{
    std::vector<std::string> parts;
    if (batch) {
        parts.push_back(batch->name);
        parts.push_back(dateText(*batch));
    } else if (source) {
        parts.push_back(*source);
    }
    if (items > 0) parts.push_back(counted(items, "image"));
    if (withResult > 0) parts.push_back(std::to_string(withResult) + " back");
    return joined(parts, separator);
}

std::string shotsLabel(const std::optional<int64_t>& balance)
{
    if (!balance) return "…";
    return counted(*balance, "shot") + " in the roll";
}

std::string statusText(const StatusFacts& facts)
{
    if (facts.unreachable) return std::string(unreachableText);
    if (facts.statusLine) return *facts.statusLine;
    const std::string images = counted(facts.items, "image");
    if (!facts.resultsScreen && facts.colourOnlyInForce)
        return images + std::string(separator) + std::to_string(facts.colourOnlyCandidates) +
               " to grade on this computer · no shots";
    if (facts.resultsScreen) {
        std::vector<std::string> parts{std::to_string(facts.withResult) + " of " + std::to_string(facts.items) +
                                       " back"};
        if (facts.inFlight > 0) parts.push_back(std::to_string(facts.inFlight) + " developing");
        if (facts.unsent > 0) parts.push_back(std::to_string(facts.unsent) + " to process");
        if (facts.failed > 0) parts.push_back(std::to_string(facts.failed) + " failed");
        if (facts.withResult > 0) parts.emplace_back("hold space to compare");
        return joined(parts, separator);
    }
    std::string text = images + std::string(separator) + counted(facts.toProcess, "shot");
    if (facts.balance)
        text += std::string(separator) + std::to_string(std::max<int64_t>(*facts.balance - facts.toProcess, 0)) +
                " left after";
    return text;
}

std::string resumeDetail(const BatchRecord& record)
{
    return "· " + dateText(record) + std::string(separator) +
           counted(static_cast<int64_t>(record.images.size()), "image");
}

} // namespace oxel::maintexts
