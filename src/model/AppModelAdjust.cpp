#include "model/AppModel.h"

#include "async/Offload.h"
#include "develop/DevelopOrder.h"
#include "develop/grade/LookName.h"

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

bool hasAlternative(const BatchItem& item)
{
    const auto& result = item.result();
    return result && result->looks && result->looks->alternative;
}

} // namespace

void AppModel::setGlobalStrength(double strength)
{
    if (!std::isfinite(strength)) return;
    publish(globalStrength_, std::clamp(strength, 0.0, 1.0), Field::globalStrength);
    globalLookChanged();
}

void AppModel::setGlobalColour(double colour)
{
    if (!std::isfinite(colour)) return;
    publish(globalColour_, std::clamp(colour, 0.0, 1.0), Field::globalColour);
    globalLookChanged();
}

void AppModel::globalLookChanged()
{
    restartPreviewTask();
    saving_.markBatch();
    if (!restoringBatch_) saveStanding();
}

void AppModel::setAlternativesOn(bool on)
{
    publish(alternativesOn_, on, Field::alternativesOn);
    for (const auto& item : items_) item->setUseAlternative(on && hasAlternative(*item));
    restartPreviewTask();
    saving_.markBatch();
}

bool AppModel::alternativesAvailable() const
{
    return config_.suggestedGradeEnabled &&
           std::any_of(items_.begin(), items_.end(), [](const auto& item) { return hasAlternative(*item); });
}

void AppModel::setStrength(double value, const std::shared_ptr<BatchItem>& item)
{
    if (!std::isfinite(value)) return;
    item->setStrengthOffset(std::clamp(value, 0.0, 1.0) - globalStrength_);
    item->setStrengthTouched(true);
    previews_.request(item);
}

void AppModel::setColour(double value, const std::shared_ptr<BatchItem>& item)
{
    if (!std::isfinite(value)) return;
    item->setColourOffset(std::clamp(value, 0.0, 1.0) - globalColour_);
    item->setColourTouched(true);
    previews_.request(item);
}

void AppModel::resetStrength(const std::shared_ptr<BatchItem>& item)
{
    item->setStrengthOffset(0);
    item->setStrengthTouched(false);
    previews_.request(item);
}

void AppModel::resetColour(const std::shared_ptr<BatchItem>& item)
{
    item->setColourOffset(0);
    item->setColourTouched(false);
    previews_.request(item);
}

void AppModel::setNudge(const std::string& text, const std::shared_ptr<BatchItem>& item)
{
    if (text == item->effectiveNudge(globalNudge_)) return;
    item->setNudge(text, globalNudge_);
}

void AppModel::relinkNudge(const std::shared_ptr<BatchItem>& item)
{
    if (!item->unlinkedNudge()) return;
    item->relinkNudge(globalNudge_);
}

void AppModel::setUseAlternative(bool use, const std::shared_ptr<BatchItem>& item)
{
    item->setUseAlternative(use && hasAlternative(*item));
    // A look at no colour would show no change, so switching the look brings the colour up.
    if (colour(*item) < amountTolerance) {
        item->setColourOffset(1.0 - globalColour_);
        item->setColourTouched(true);
    }
    previews_.request(item);
}

void AppModel::retry(const std::shared_ptr<BatchItem>& item)
{
    auto userId = accountId();
    // A second click while the first retry waits would start a second paid job.
    if (!userId || !holds(item) || item->phase().isInFlight()) return;
    photographerActs();
    if (!libraryTakes({item})) return;
    runner_.enqueue(item, trimmedWhitespace(item->effectiveNudge(globalNudge_)), *userId, strength(*item));
}

Task<std::optional<std::vector<uint8_t>>> AppModel::reportPicture(std::shared_ptr<const JobOutcome> result,
                                                                  DevelopSettings settings) const
{
    if (!result) co_return std::nullopt;
    auto make = [result, settings] { return developedJPEG(*result, settings, reportPictureEdge); };
    co_return co_await offload(services_.pool, WorkPriority::userInitiated, std::move(make));
}

} // namespace oxel
