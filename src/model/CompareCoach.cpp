#include "model/CompareCoach.h"

#include "model/ModelSettings.h"

namespace oxel {

CompareCoach::Environment CompareCoach::Environment::standard()
{
    return {&SettingsStore::shared(), &TimeSource::system()};
}

CompareCoach::CompareCoach(Environment environment) : environment_(environment)
{}

std::optional<Date> CompareCoach::compareLastUsed() const
{
    return ModelSettings(*environment_.settings).compareLastUsed();
}

bool CompareCoach::comparedRecently() const
{
    auto last = compareLastUsed();
    return last && now() - *last < compareWindow;
}

void CompareCoach::batchChanged(std::optional<Uuid> batch)
{
    if (batch == batchKey_) return;
    batchKey_ = batch;
    comparedThisBatch_ = spokeOnResults_ = spokeInLightbox_ = false;
    seenLarge_.clear();
    hide();
}

void CompareCoach::resultsShown()
{
    if (spokeOnResults_ || comparedRecently() || comparedThisBatch_) return;
    auto lastShown = ModelSettings(*environment_.settings).compareHintLastShown();
    if (lastShown && now() - *lastShown < resultsHintWindow) return;
    spokeOnResults_ = true;
    show();
}

void CompareCoach::lightboxShowed(const Uuid& picture)
{
    if (spokeInLightbox_ || comparedRecently() || comparedThisBatch_) return;
    seenLarge_.insert(picture);
    if (seenLarge_.size() < lightboxCount) return;
    spokeInLightbox_ = true;
    show();
}

void CompareCoach::compared()
{
    ModelSettings(*environment_.settings).setCompareLastUsed(now());
    comparedThisBatch_ = true;
    hide();
}

void CompareCoach::show()
{
    ModelSettings(*environment_.settings).setCompareHintLastShown(now());
    setShowing(true);
    hideTimer_.schedule([this] { hide(); });
}

void CompareCoach::hide()
{
    hideTimer_.cancel();
    if (showing_) setShowing(false);
}

void CompareCoach::setShowing(bool showing)
{
    showing_ = showing;
    showingChanged.emit(showing);
}

} // namespace oxel
