#include "model/AppModel.h"

#include "async/MainExecutor.h"
#include "async/Offload.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace oxel {

AppModel::AppModel(ModelServices services)
    : services_(std::move(services)),
      settings_(services_.settings),
      auth_(services_.auth),
      runner_(JobRunner::Environment{&services_.clock, &services_.pool}),
      tasks_(std::make_unique<TaskScope>())
{
    assert(mainExecutor().onMainThread());
    colourOnlyOn_ = settings_.colourOnlyOn();
    if (auto cached = settings_.appConfigCache())
        if (auto config = AppConfig::parse(*cached)) {
            config_ = *config;
            applyTransferSettings(config_);
        }
    if (resetSettingsEachBatch()) {
        globalNudge_ = "";
    } else {
        globalNudge_ = settings_.standingNudge();
        globalStrength_ = standingValue("Light");
        globalColour_ = standingValue("Colour");
    }
    installRunnerCallbacks();
    installSavingCallbacks();
    installExportCallbacks();
    installPreviewCallbacks();
    availabilityConnection_ =
        services_.languageModel.availabilityChanged.connect([this] { refreshColourOnlyAvailability(); });
    authConnection_ = auth_.stateChanged.connect([this](const AuthState&) { accountChanged(); });
    statusLine_ = lastingStatus();
    runnerConnection_ = runner_.changed.connect([this](JobRunner::Field field) {
        if (field == JobRunner::Field::unreachable) changed.emit(Field::backendUnreachable);
    });
    // An account already signed in: the confirmations kept for it go now.
    accountChanged();
}

AppModel::~AppModel()
{
    tasks_.reset();
    settings_.flush();
}

void AppModel::setScreen(Screen screen)
{
    publish(screen_, screen, Field::screen);
}

void AppModel::setGlobalNudge(std::string nudge)
{
    auto previous = std::exchange(globalNudge_, std::move(nudge));
    changed.emit(Field::globalNudge);
    applyGlobalNudge(previous);
}

void AppModel::applyGlobalNudge(const std::string& previous)
{
    if (globalNudge_ == previous) return;
    saving_.markBatch();
    if (!restoringBatch_) saveStanding();
}

void AppModel::setShowConfirm(bool show)
{
    publish(showConfirm_, show, Field::showConfirm);
}

void AppModel::setShowExport(bool show)
{
    publish(showExport_, show, Field::showExport);
}

void AppModel::setShowCredits(bool show)
{
    publish(showCredits_, show, Field::showCredits);
}

void AppModel::setShowAccount(bool show)
{
    publish(showAccount_, show, Field::showAccount);
}

void AppModel::setLightbox(std::shared_ptr<BatchItem> item)
{
    publish(lightbox_, std::move(item), Field::lightbox);
}

void AppModel::setShowBatches(bool show)
{
    publish(showBatches_, show, Field::showBatches);
}

void AppModel::setShowRename(bool show)
{
    publish(showRename_, show, Field::showRename);
}

void AppModel::setSetupGuide(std::optional<HandoffApp> app)
{
    publish(setupGuide_, app, Field::setupGuide);
}

void AppModel::saveStanding()
{
    // The batch sliders call this on every move: the values are read at once, and the file is
    // written once the control rests, or by the next save, whichever comes first.
    settings_.saveStanding(globalNudge_, globalStrength_, globalColour_);
    standingDebounce_.schedule([this] { settings_.flush(); });
}

void AppModel::setResetSettingsEachBatch(bool reset)
{
    if (reset == resetSettingsEachBatch()) return;
    settings_.setResetSettingsEachBatch(reset);
    changed.emit(Field::resetSettingsEachBatch);
}

void AppModel::setGrainEnabled(bool on)
{
    if (on == grainEnabled()) return;
    settings_.setGrainEnabled(on);
    restartPreviewTask();
}

bool AppModel::hasStandingChanges() const
{
    return !globalNudge_.empty() || std::abs(globalStrength_ - 1) > amountTolerance ||
           std::abs(globalColour_ - 1) > amountTolerance;
}

void AppModel::resetStanding()
{
    setGlobalNudge("");
    setGlobalStrength(1.0);
    setGlobalColour(1.0);
    saveStanding();
}

bool AppModel::holds(const std::shared_ptr<BatchItem>& item) const
{
    return std::find(items_.begin(), items_.end(), item) != items_.end();
}

void AppModel::installRunnerCallbacks()
{
    // The runner is a member, so its callbacks cannot outlive the model; an item of a batch that
    // was replaced meanwhile is left alone, so a late job never writes into another batch.
    runner_.onDelivered = [this](const std::shared_ptr<BatchItem>& item) {
        if (holds(item)) jobFinished(item);
    };
    runner_.onSubmitted = [this](const std::shared_ptr<BatchItem>& item) {
        if (holds(item)) jobSubmitted(item);
    };
    runner_.onSettled = [this](const std::shared_ptr<BatchItem>& item) {
        if (holds(item)) jobSettled(item);
    };
    runner_.onParked = [this](const std::shared_ptr<BatchItem>& item) {
        if (holds(item)) resumeJobs(item, strength(*item));
    };
    runner_.onUpdateRequired = [this] { setUpdateRequired(); };
    runner_.onUnknownAccount = [this](const std::string& userId) { accountUnknown(userId); };
    // The shot is spent when the backend takes the confirmation, not when the result arrives.
    runner_.onConfirmed = [this] { refreshBalanceSoon(); };
    // Kept in the user defaults, so that a quit before they are confirmed loses none; handed back
    // before the runner tells of changes, as the defaults hold them already.
    handBackWaitingConfirmations();
    runner_.onWaitingConfirmationsChanged = [this] {
        settings_.setWaitingConfirmations(runner_.waitingConfirmations());
    };
    runner_.settingsFor = [this](const BatchItem& item) { return developSettings(item); };
    runner_.keepDelivered = [this](std::shared_ptr<BatchItem> item) { return keepDelivered(std::move(item)); };
    runner_.libraryTakes = [this](std::shared_ptr<BatchItem> item) { return libraryTakesJob(std::move(item)); };
}

void AppModel::handBackWaitingConfirmations()
{
    const auto waiting = settings_.waitingConfirmations();
    runner_.handBack(waiting);
    std::set<std::string> unsure;
    for (const auto& delivery : waiting)
        if (!delivery.stored) unsure.insert(delivery.jobId);
    if (!unsure.empty()) tasks_->spawn(confirmStoredAtLastEnd(std::move(unsure)));
}

Task<void> AppModel::confirmStoredAtLastEnd(std::set<std::string> unsure)
{
    // A result stored as the last run ended is in the library, whatever that run could note. A large
    // library takes a while to read, which the window does not wait for.
    auto read = [&library = services_.library, unsure](std::stop_token stop) {
        return library.storedResults(unsure, stop);
    };
    const auto stored = co_await offload(services_.pool, WorkPriority::utility, tasks_->token(), std::move(read));
    runner_.lastRunStored(stored);
    if (stored.size() == unsure.size()) co_return;
    diagnose("confirm", std::to_string(unsure.size() - stored.size()) +
                            " deliveries whose results the library does not keep are not confirmed");
}

void AppModel::jobFinished(const std::shared_ptr<BatchItem>& item)
{
    if (alternativesOn_ && item->result() && item->result()->looks && item->result()->looks->alternative)
        item->setUseAlternative(true);
    // The picture that came with the result is the tile's, and its thumbnail's, until one at the
    // settings as they are now replaces it.
    previews_.tookPicture(item);
    saving_.markThumbnail(*item);
    previews_.follow(item);
}

void AppModel::jobSubmitted(const std::shared_ptr<BatchItem>& item)
{
    saving_.mark(*item);
    saveNow();
}

void AppModel::jobSettled(const std::shared_ptr<BatchItem>& item)
{
    saving_.mark(*item);
    saveNow();
    nameBatchIfReady();
}

void AppModel::setUpdateRequired()
{
    publish(updateRequired_, true, Field::updateRequired);
}

} // namespace oxel
