#include "model/AppModel.h"

#include "async/Offload.h"
#include "backend/FunnelEvents.h"
#include "develop/DevelopOrder.h"
#include "ondevice/ColourOnly.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>

namespace oxel {
namespace {

bool gradedHere(const BatchItem& item)
{
    return item.result() && item.result()->colourOnly;
}

// The phase an item returns to when its on-device turn ends without a new result.
ItemPhase settledPhase(const BatchItem& item)
{
    if (item.result()) return phase::Done{};
    return phase::Ready{};
}

void settleWithoutGrade(BatchItem& item)
{
    item.wantsColourOnly = false;
    item.setPhase(settledPhase(item));
}

// The funnel's strength: two decimals, halves away from zero.
double roundedStrength(double strength)
{
    return std::round(strength * 100) / 100;
}

// The developed preview as a picture the cache can make again from the outcome.
std::optional<PictureHandle> previewHandle(const std::optional<Bitmap>& preview,
                                           const std::shared_ptr<const JobOutcome>& outcome,
                                           const DevelopSettings& settings)
{
    if (!preview) return std::nullopt;
    auto again = [outcome, settings] { return renderDeveloped(*outcome, settings); };
    return PictureHandle::seeded(*preview, {preview->width(), preview->height(), std::move(again),
                                            "the colour-only preview could not be made again"});
}

} // namespace

void AppModel::setColourOnlyOn(bool on)
{
    settings_.setColourOnlyOn(on);
    publish(colourOnlyOn_, on, Field::colourOnlyOn);
}

void AppModel::setShowColourExplainer(bool show)
{
    publish(showColourExplainer_, show, Field::showColourExplainer);
}

void AppModel::colourOnlyTapped()
{
    refreshColourOnlyAvailability();
    if (colourOnlyOn_) return setColourOnlyOn(false);
    if (settings_.colourOnlyEverTicked()) return setColourOnlyOn(true);
    presentColourExplainer();
}

void AppModel::presentColourExplainer()
{
    refreshColourOnlyAvailability();
    setShowColourExplainer(true);
    sendFunnelEvent(FunnelEvent::colourOnlyExplainerOpened);
}

void AppModel::confirmColourExplainer()
{
    setShowColourExplainer(false);
    // With a reason shown the button only acknowledges it.
    if (colourOnlyMissing_) return;
    settings_.setColourOnlyEverTicked();
    setColourOnlyOn(true);
}

bool AppModel::colourOnlyInForce() const
{
    return colourOnlyOn_ && colourOnlyModelReady_;
}

std::vector<std::shared_ptr<BatchItem>> AppModel::colourOnlyCandidates() const
{
    return itemsToProcess();
}

bool AppModel::batchUsesLight() const
{
    bool developedHere = false;
    for (const auto& item : items_) {
        const bool inFlight = item->phase().isInFlight();
        if (item->result() && !item->result()->colourOnly) return true;
        if (inFlight && !item->wantsColourOnly) return true;
        developedHere = developedHere || item->result() || inFlight;
    }
    return !developedHere;
}

void AppModel::processOnDevice()
{
    auto candidates = colourOnlyCandidates();
    if (candidates.empty()) return;
    ensureBatchStored();
    saveNow();
    setScreen(Screen::results);
    gradeOnDevice(std::move(candidates), false);
}

void AppModel::gradeOnDevice(std::vector<std::shared_ptr<BatchItem>> items, bool retry)
{
    for (const auto& item : items) {
        item->setPhase(phase::Queued{});
        item->setNote(std::nullopt);
        item->wantsColourOnly = true;
    }
    std::optional<Uuid> batch;
    if (batch_) batch = batch_->id;
    tasks_->spawn(runOnDevice(std::move(items), batch, batchGeneration_, runner_.limits, retry));
}

bool AppModel::stillOpen(const std::optional<Uuid>& batch, uint64_t generation) const
{
    std::optional<Uuid> open;
    if (batch_) open = batch_->id;
    return open == batch && generation == batchGeneration_;
}

Task<void> AppModel::runOnDevice(std::vector<std::shared_ptr<BatchItem>> items, std::optional<Uuid> batch,
                                 uint64_t generation, TransferLimits limits, bool retry)
{
    for (const auto& item : items) {
        if (!stillOpen(batch, generation) || !holds(item) || !item->phase().is<phase::Queued>()) continue;
        // Left queued, an item whose original went away would count as developing for ever.
        if (!item->source()) {
            settleWithoutGrade(*item);
            saving_.mark(*item);
            continue;
        }
        item->setPhase(phase::Processing{gradingStatus, std::nullopt});
        item->setStartedAt(services_.clock.now());
        const DevelopSettings firstLook = ColourOnly::firstLook(colour(*item), grainEnabled());
        // Named, not a temporary of the co_await expression: the compiler destroys such temporaries
        // twice, and this one holds the cancellation's shared state.
        const ColourOnly::Environment grading{&services_.languageModel, &services_.clock, tasks_->token()};
        auto graded = co_await ColourOnly::grade(*item->source(), limits, retry, firstLook, grading);
        if (!stillOpen(batch, generation) || !holds(item)) continue;
        applyGrade(item, std::move(graded), firstLook, retry, items);
    }
    if (!stillOpen(batch, generation)) co_return;
    saveNow();
    nameBatchIfReady();
}

void AppModel::applyGrade(const std::shared_ptr<BatchItem>& item, ColourOnlyGrade graded,
                          const DevelopSettings& firstLook, bool retry,
                          const std::vector<std::shared_ptr<BatchItem>>& run)
{
    item->wantsColourOnly = false;
    if (auto* result = std::get_if<ColourOnlyResult>(&graded))
        return applyColourOnlyResult(item, std::move(*result), firstLook, retry);
    const auto& failure = std::get<ColourOnlyFailure>(graded);
    const bool unavailable = failure.kind == ColourOnlyFailure::Kind::unavailable;
    diagnose("ColourOnly", std::string(unavailable ? "unavailable" : "failed") + ": " + failure.text);
    item->setPhase(settledPhase(*item));
    item->setNote(gradeFailedNote);
    if (unavailable) pauseColourOnly(run);
    saving_.mark(*item);
}

void AppModel::pauseColourOnly(const std::vector<std::shared_ptr<BatchItem>>& run)
{
    refreshColourOnlyAvailability();
    for (const auto& waiting : run)
        if (waiting->phase().is<phase::Queued>() && waiting->wantsColourOnly) {
            settleWithoutGrade(*waiting);
            saving_.mark(*waiting);
        }
    setStatusLine(colourOnlyPausedStatus);
}

void AppModel::applyColourOnlyResult(const std::shared_ptr<BatchItem>& item, ColourOnlyResult result,
                                     const DevelopSettings& firstLook, bool retry)
{
    const auto& outcome = result.outcome;
    item->setJobId(outcome->jobId);
    item->grainBaked = outcome->grainBaked;
    item->setResult(outcome);
    item->setPreviewImage(previewHandle(result.preview, outcome, firstLook));
    item->setOriginalPreview(outcome->picture);
    item->setPhase(phase::Done{});
    const bool leftAsItIs = result.monochrome || !outcome->analysis || !outcome->analysis->grade;
    item->setNote(leftAsItIs ? std::optional<std::string>(ColourOnly::leaveAsIs) : std::nullopt);
    previews_.follow(item);
    const double colourNow = colour(*item);
    if (std::abs(colourNow - firstLook.colour) > amountTolerance) setColour(colourNow, item);
    item->keep = std::move(result.keep);
    auto store = [](AppModel& model, std::shared_ptr<BatchItem> graded) -> Task<void> {
        co_await model.keep(std::move(graded));
    };
    tasks_->spawn(store(*this, item));
    sendFunnelEvent(FunnelEvent::colourOnlyGraded, std::nullopt,
                    Json{{"cell", result.cell},
                         {"strength", roundedStrength(result.strength)},
                         {"ms", result.ms},
                         {"monochrome", result.monochrome},
                         {"platform", "mac"},
                         {"retry", retry}});
}

void AppModel::regradeOnDevice(const std::vector<std::shared_ptr<BatchItem>>& items)
{
    std::vector<std::shared_ptr<BatchItem>> again;
    for (const auto& item : items)
        if (gradedHere(*item) && item->source() && !item->phase().isInFlight()) again.push_back(item);
    if (again.empty()) return;
    refreshColourOnlyAvailability();
    if (!colourOnlyModelReady_) return setStatusLine(colourOnlyPausedStatus);
    // A second grade samples the model at random, so it may differ from the first.
    gradeOnDevice(std::move(again), true);
}

void AppModel::developWithLight(const std::vector<std::shared_ptr<BatchItem>>& items)
{
    std::vector<std::shared_ptr<BatchItem>> taken;
    for (const auto& item : items)
        if ((gradedHere(*item) || item->colourOnly) && !item->phase().isInFlight()) taken.push_back(item);
    if (taken.empty()) return;
    setColourOnlyOn(false);
    for (const auto& item : taken) readyForLight(item);
    saveNow();
    setScreen(Screen::input);
}

void AppModel::readyForLight(const std::shared_ptr<BatchItem>& item)
{
    item->setResult(nullptr);
    item->setPreviewImage(std::nullopt);
    item->setOriginalPreview(std::nullopt);
    item->setJobId(std::nullopt);
    item->setNote(std::nullopt);
    item->colourOnly = false;
    item->setUseAlternative(false);
    item->setPhase(phase::Ready{});
    if (batch_) {
        const auto copy = services_.library.imageFolder(batch_->id, item->id) / "original.jpg";
        if (auto thumbnail = PictureHandle::madeNow(
                [copy] { return SourceImage::thumbnail(copy, SourceImage::intakeThumbnailPixels); }))
            item->setThumbnail(std::move(thumbnail));
    }
    if (item->source()) tasks_->spawn(thumbnailFromSource(item));
    saving_.mark(*item);
}

Task<void> AppModel::thumbnailFromSource(std::shared_ptr<BatchItem> item)
{
    auto make = [source = *item->source()] {
        return std::optional<PictureHandle>(source.thumbnailPicture(SourceImage::intakeThumbnailPixels));
    };
    auto thumbnail = co_await offload(services_.pool, WorkPriority::utility, std::move(make));
    if (!item->result()) item->setThumbnail(std::move(thumbnail));
}

} // namespace oxel
