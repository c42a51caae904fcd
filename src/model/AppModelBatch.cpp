#include "model/AppModel.h"

#include "library/ItemPhase.h"

#include <algorithm>
#include <cctype>

namespace oxel {

namespace {

// A job that waits to be collected was paid for: it is collected, never submitted again.
bool readyToDevelop(const BatchItem& item)
{
    const auto& phase = item.phase();
    return !item.result() && !phase.isInFlight() && !phase.is<phase::Restoring>() && !item.renderFile &&
           !item.colourOnly && !item.jobAwaitsCollection && item.source();
}

} // namespace

void AppModel::newBatch()
{
    saveNow();
    services_.library.drain();
    const int inFlight = inFlightCount();
    runner_.cancelAll();
    forgetRoomWait();
    nextBatchGeneration();
    previews_.dropWanted();
    setItems({});
    setLightbox(nullptr);
    setBatch(std::nullopt);
    restoringBatch_ = true;
    applyStartLook();
    setAlternativesOn(false);
    restoringBatch_ = false;
    setScreen(Screen::input);
    setLastBatchSource(std::nullopt);
    if (inFlight >= 1)
        setStatusLine(std::to_string(inFlight) + " still developing · they'll be collected when you reopen that batch",
                      StatusKind::passing);
    else
        setStatusLine(std::nullopt);
    tasks_->spawn(refreshRecent());
}

uint64_t AppModel::nextBatchGeneration()
{
    pendingImports_.clear();
    return ++batchGeneration_;
}

void AppModel::requestNewBatch()
{
    askBeforeDropping("a new batch", "new batch", [this] { newBatch(); });
}

void AppModel::requestOpenBatch(const Uuid& id)
{
    if (batch_ && batch_->id == id) return;
    askBeforeDropping("another batch", "open batch", [this, id] { openBatch(id); });
}

int AppModel::unprocessedCount() const
{
    return batch_ ? 0 : int(items_.size());
}

Alert AppModel::unprocessedQuestion(int count, const std::string& dropping, std::string keep, std::string drop)
{
    return {std::to_string(count) + (count == 1 ? " picture" : " pictures") + " not processed yet · " + dropping +
                " drops " + (count == 1 ? "it" : "them"),
            "pictures and their nudges are kept in the library once they are processed.",
            {std::move(keep), std::move(drop)},
            0};
}

void AppModel::askBeforeDropping(const std::string& dropping, std::string drop, std::function<void()> then)
{
    if (unprocessedCount() == 0) return then();
    // Photographs handed over while the question is up join the batch: the answer holds only for
    // as many as it was asked about, so more are asked about again.
    auto ask = [](AppModel& model, std::string dropping, std::string drop, std::function<void()> then) -> Task<void> {
        for (int agreed = 0, count; (count = model.unprocessedCount()) > agreed; agreed = count) {
            const int answer =
                co_await model.services_.panels.ask(unprocessedQuestion(count, dropping, "keep them", drop));
            if (answer != 1) co_return;
        }
        then();
    };
    tasks_->spawn(ask(*this, dropping, std::move(drop), std::move(then)));
}

void AppModel::applyStartLook()
{
    const bool reset = resetSettingsEachBatch();
    auto nudge = reset ? std::string() : settings_.standingNudge();
    setGlobalNudge(nudge);
    setGlobalStrength(reset ? 1.0 : standingValue("Light"));
    setGlobalColour(reset ? 1.0 : standingValue("Colour"));
}

void AppModel::openFiles()
{
    launchedByHandoff = false;
    OpenPanel panel{"import images", true, true, {}, "open"};
    for (auto extension : pictureExtensions()) panel.extensions.emplace_back(extension);
    services_.control.comeToFront();
    auto choose = [](AppModel& model, OpenPanel panel) -> Task<void> {
        auto chosen = co_await model.services_.panels.choose(std::move(panel));
        if (!chosen) co_return;
        model.addDropped(*chosen);
        model.setLastBatchSource("opened");
    };
    tasks_->spawn(choose(*this, std::move(panel)));
}

void AppModel::process()
{
    photographerActs();
    if (colourOnlyInForce()) return processOnDevice();
    auto userId = accountId();
    if (!userId) return;
    const auto ready = itemsToProcess();
    if (ready.empty()) return;
    sendAsRoomAllows(ready, *userId, true);
}

void AppModel::startDeveloping(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& userId)
{
    ensureBatchStored();
    saveNow();
    setScreen(Screen::results);
    runner_.start(items, userId, globalNudge_, [this](const BatchItem& item) { return strength(item); });
}

void AppModel::receiveHandoff(const std::vector<std::filesystem::path>& urls, const std::optional<std::string>& sender)
{
    std::string label = "handed over";
    if (sender) {
        std::string lower = *sender;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        label = "from " + lower;
    }
    if (batch_ || inFlightCount() >= 1) newBatch();
    if (auto host = handoffAppFromHostName(sender)) settings_.setHandoffSeen(rawValue(*host));
    add(urls, Origin::handoff, label, sender);
}

double AppModel::strength(const BatchItem& item) const
{
    return std::max(std::min(globalStrength_ + item.strengthOffset(), 1.0), 0.0);
}

double AppModel::colour(const BatchItem& item) const
{
    return std::max(std::min(globalColour_ + item.colourOffset(), 1.0), 0.0);
}

DevelopSettings AppModel::developSettings(const BatchItem& item) const
{
    return {item.useAlternative(), strength(item), colour(item), grainEnabled()};
}

std::vector<std::shared_ptr<BatchItem>> AppModel::itemsToProcess() const
{
    std::vector<std::shared_ptr<BatchItem>> ready;
    for (const auto& item : items_)
        if (readyToDevelop(*item)) ready.push_back(item);
    return ready;
}

std::vector<std::shared_ptr<BatchItem>> AppModel::itemsWithResult() const
{
    std::vector<std::shared_ptr<BatchItem>> developed;
    for (const auto& item : items_)
        if (item->result()) developed.push_back(item);
    return developed;
}

int AppModel::inFlightCount() const
{
    return int(
        std::count_if(items_.begin(), items_.end(), [](const auto& item) { return item->phase().isInFlight(); }));
}

int AppModel::waitingCount() const
{
    return int(std::count_if(items_.begin(), items_.end(),
                             [](const auto& item) { return item->phase().template is<phase::Queued>(); }));
}

int AppModel::unsavedResultCount() const
{
    return int(std::count_if(items_.begin(), items_.end(), [this](const auto& item) {
        return item->result() && item->keep && !saving_.isStoring(item->id);
    }));
}

int AppModel::failedCount() const
{
    return int(std::count_if(items_.begin(), items_.end(),
                             [](const auto& item) { return item->phase().template is<phase::Failed>(); }));
}

void AppModel::setStatusLine(std::optional<std::string> text, StatusKind kind)
{
    statusProgress_ = progress();
    statusKind_ = text ? kind : StatusKind::standing;
    publish(statusLine_, text ? std::move(text) : lastingStatus(), Field::statusLine);
}

const char* AppModel::unsavedChangesStatus() const
{
    return services_.library.folderReplaced() ? folderReplacedStatus : changesUnsavedStatus;
}

std::optional<std::string> AppModel::libraryNotice() const
{
    if (services_.library.refusal()) return libraryNotLockedStatus;
    if (services_.library.unlocked()) return libraryUnlockedStatus;
    return std::nullopt;
}

// Said whatever comes and goes meanwhile: a library this program may not write, changes the disk
// refused until they are written, and a library written without a lock.
std::optional<std::string> AppModel::lastingStatus() const
{
    // A library that may not be written says so before anything it could not save.
    if (saving_.unsaved() && !services_.library.refusal()) return unsavedChangesStatus();
    return libraryNotice();
}

void AppModel::photographerActs()
{
    if (statusLine_ && statusKind_ == StatusKind::standing && statusLine_ != lastingStatus())
        setStatusLine(std::nullopt);
}

AppModel::Progress AppModel::progress() const
{
    return {int(itemsWithResult().size()), inFlightCount(), failedCount()};
}

void AppModel::progressMoved()
{
    if (statusLine_ && statusKind_ == StatusKind::passing && progress() != statusProgress_) setStatusLine(std::nullopt);
}

void AppModel::setLastBatchSource(std::optional<std::string> source)
{
    publish(lastBatchSource_, std::move(source), Field::lastBatchSource);
}

void AppModel::setBatch(std::optional<BatchRecord> record)
{
    publish(batch_, std::move(record), Field::batch);
}

void AppModel::setItems(std::vector<std::shared_ptr<BatchItem>> items)
{
    itemsProgress_.clear();
    for (const auto& item : items)
        itemsProgress_.push_back(item->changed.connect([this](BatchItem::Field field) {
            if (field == BatchItem::Field::phase || field == BatchItem::Field::result) progressMoved();
        }));
    saving_.follow(items);
    publish(items_, std::move(items), Field::items);
}

} // namespace oxel
