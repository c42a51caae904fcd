#include "library/JobRunner.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "backend/JobEndpoints.h"
#include "backend/JobId.h"
#include "develop/grade/LookName.h"
#include "library/PhotographJob.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <utility>

namespace oxel {

JobRunner::Environment JobRunner::Environment::standard()
{
    return {&TimeSource::system(), &WorkPool::shared()};
}

JobRunner::JobRunner(Environment environment) : environment_(environment)
{}

JobRunner::~JobRunner()
{
    stopConfirmations();
}

void JobRunner::start(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& userId,
                      const std::string& globalNudge, const StrengthFor& strengthFor)
{
    userId_ = userId;
    setOutOfShots(false);
    endHold();
    for (const auto& item : items) {
        if (item->phase().isInFlight()) continue;
        item->setNote(std::nullopt);
        append(item, trimmedWhitespace(item->effectiveNudge(globalNudge)), strengthFor ? strengthFor(*item) : 1.0);
    }
    countPending();
    pump();
}

void JobRunner::enqueue(const std::shared_ptr<BatchItem>& item, const std::string& nudge, const std::string& userId,
                        double strength)
{
    userId_ = userId;
    append(item, nudge, strength);
    countPending();
    setOutOfShots(false);
    endHold();
    pump();
}

void JobRunner::resume(const std::shared_ptr<BatchItem>& item, const std::string& jobId, const std::string& userId,
                       double strength, const std::string& nudge)
{
    userId_ = userId;
    resumes_[item->id] = jobId;
    append(item, trimmedWhitespace(nudge), strength);
    countPending();
    pump();
}

void JobRunner::append(const std::shared_ptr<BatchItem>& item, std::optional<std::string> nudge, double strength)
{
    if (nudge) nudges_[item->id] = std::move(*nudge);
    strengths_[item->id] = strength;
    item->setPhase(phase::Queued{});
    item->setLastError(std::nullopt);
    pending_.push_back(item);
}

void JobRunner::cancelAll()
{
    auto running = std::move(running_);
    running_.clear();
    for (auto& [id, job] : running) job.cancel.cancel();
    for (auto& [serial, keeping] : std::exchange(keeping_, {})) keeping.cancel();
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& item : pending) item->setPhase(phase::Ready{});
    refusedSerial_.reset();
    endHold();
    setQueuedCount(0);
    setInFlightCount(0);
    statusAnswered();
}

void JobRunner::accountLeft()
{
    userId_.clear();
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& item : pending) {
        resumes_.erase(item->id);
        item->setPhase(phase::Ready{});
    }
    setQueuedCount(0);
    // Not cancelled: a submission on its way may already have paid for a job, whose id it brings.
    for (auto& [id, job] : running_) job.accountLeft = true;
}

void JobRunner::accountArrived(const std::string& userId)
{
    userId_ = userId;
    sendConfirmations();
}

bool JobRunner::confirmableNow(const std::string& account) const
{
    return !account.empty() && account == userId_;
}

void JobRunner::confirmDelivery(const std::string& jobId, const std::string& account)
{
    if (keepUnconfirmed(jobId, account, true)) tellWaitingConfirmations();
    sendConfirmations();
}

void JobRunner::handBack(const Confirmations& waiting)
{
    for (const auto& [jobId, account, stored] : waiting)
        if (keepUnconfirmed(jobId, account, stored) && !stored) unsureFromLastRun_.insert(jobId);
    sendConfirmations();
}

void JobRunner::lastRunStored(const std::set<std::string>& stored)
{
    const auto unsure = std::exchange(unsureFromLastRun_, {});
    const auto stillUnsure = [&unsure](const WaitingConfirmation& delivery) {
        return !delivery.stored && unsure.contains(delivery.jobId);
    };
    for (auto& delivery : unconfirmed_)
        if (stillUnsure(delivery) && stored.contains(delivery.jobId)) delivery.stored = true;
    std::erase_if(unconfirmed_, stillUnsure);
    tellWaitingConfirmations();
    sendConfirmations();
}

void JobRunner::keepUntilStored(const std::string& jobId, const std::string& account)
{
    // The job of this run stores it, and confirms it or lets it go.
    unsureFromLastRun_.erase(jobId);
    if (keepUnconfirmed(jobId, account, false)) tellWaitingConfirmations();
}

void JobRunner::notStored(BatchItem& item, const std::string& jobId)
{
    if (!item.unconfirmed || item.unconfirmed->jobId != jobId) return;
    item.unconfirmed.reset();
    forgetUnconfirmed(jobId);
}

void JobRunner::confirm(BatchItem& item, const std::string& jobId)
{
    if (!item.unconfirmed || item.unconfirmed->jobId != jobId) return;
    const auto delivery = *std::exchange(item.unconfirmed, std::nullopt);
    confirmDelivery(delivery.jobId, delivery.account);
}

bool JobRunner::keepUnconfirmed(const std::string& jobId, const std::string& account, bool stored)
{
    const auto kept = std::find_if(unconfirmed_.begin(), unconfirmed_.end(),
                                   [&](const auto& delivery) { return delivery.jobId == jobId; });
    if (kept != unconfirmed_.end()) {
        if (!stored || kept->stored) return false;
        kept->stored = true;
        return true;
    }
    if (!isJobId(jobId)) {
        diagnose("confirm", refusedJobId(jobId, "a delivery to confirm"));
        return false;
    }
    if (unconfirmed_.size() >= mostWaitingConfirmations) {
        diagnose("confirm", "more than " + std::to_string(mostWaitingConfirmations) +
                                " deliveries wait to be confirmed: the oldest, " + unconfirmed_.front().jobId +
                                ", is let go");
        unconfirmed_.erase(unconfirmed_.begin());
    }
    unconfirmed_.push_back({jobId, account, stored});
    return true;
}

void JobRunner::forgetUnconfirmed(const std::string& jobId)
{
    unanswered_.erase(jobId);
    const auto removed = std::erase_if(unconfirmed_, [&](const auto& delivery) { return delivery.jobId == jobId; });
    if (removed > 0) tellWaitingConfirmations();
}

void JobRunner::tellWaitingConfirmations()
{
    if (onWaitingConfirmationsChanged) onWaitingConfirmationsChanged();
}

void JobRunner::stopConfirmations()
{
    confirmationsStopped_ = true;
    confirmationStop_.cancel();
}

void JobRunner::sendConfirmations()
{
    if (confirming_ || confirmationsStopped_ || !nextConfirmation()) return;
    confirming_ = true;
    scope_.spawn(sendEachConfirmation());
}

std::optional<WaitingConfirmation> JobRunner::nextConfirmation() const
{
    for (const auto& delivery : unconfirmed_)
        if (delivery.stored && confirmableNow(delivery.account) && !unanswered_.contains(delivery.jobId))
            return delivery;
    return std::nullopt;
}

Task<void> JobRunner::sendEachConfirmation()
{
    // Nobody waits for a confirmation; the owner hears when the backend took one.
    while (auto next = nextConfirmation()) {
        auto send = [delivery = *next](std::stop_token stop) {
            return oxel::confirmDelivery(delivery.jobId, delivery.account, stop);
        };
        const auto sent =
            co_await offload(confirmationLine_, WorkPriority::utility, confirmationStop_.token(), std::move(send));
        if (sent == DeliveryConfirmation::stopped) break;
        if (sent == DeliveryConfirmation::unanswered) {
            unanswered_.insert(next->jobId);
            continue;
        }
        forgetUnconfirmed(next->jobId);
        if (sent == DeliveryConfirmation::confirmed && onConfirmed) onConfirmed();
    }
    confirming_ = false;
}

void JobRunner::shotsArrived()
{
    setOutOfShots(false);
    pump();
}

void JobRunner::pump()
{
    while (int(running_.size()) < maxInFlight && !hold_) {
        auto next = nextToStart();
        if (next == pending_.end()) return;
        auto item = *next;
        pending_.erase(next);
        countPending();
        const uint64_t serial = nextSerial_++;
        auto& entry = running_[item->id] = Running{serial, CancelSource()};
        scope_.spawn(runItem(item, serial, entry.cancel.token(), userId_));
        countRunning();
    }
}

std::deque<std::shared_ptr<BatchItem>>::iterator JobRunner::nextToStart()
{
    if (!outOfShots_) return pending_.begin();
    // Polling a job that was submitted before spends no shot.
    return std::find_if(pending_.begin(), pending_.end(),
                        [this](const auto& item) { return resumes_.contains(item->id); });
}

Task<void> JobRunner::runItem(std::shared_ptr<BatchItem> item, uint64_t serial, CancelToken cancel, std::string account)
{
    PhotographJob job(*this, item, serial, std::move(cancel), std::move(account));
    co_await job.run();
    settle(item, serial);
    // Only a job that stopped for its account waits with its job id; any later run ends the wait.
    if (item->jobAwaitsCollection) notify(onParked, item);
    // A result the library cannot take yet waits without the slot, which the next item has now.
    co_await job.keepDelivered();
    keeping_.erase(serial);
}

void JobRunner::settle(const std::shared_ptr<BatchItem>& item, uint64_t serial)
{
    notify(onSettled, item);
    const bool refused = refusedSerial_ == serial;
    if (refused) refusedSerial_.reset();
    if (!runs(item->id, serial)) return;
    auto ended = running_.extract(item->id);
    keeping_.emplace(serial, std::move(ended.mapped().cancel));
    countRunning();
    // Nobody asks any more.
    if (running_.empty()) statusAnswered();
    if (refused) {
        hold_ = nextHold_++;
        scope_.spawn(endHoldLater(*hold_));
    } else {
        endHold();
    }
    pump();
}

Task<void> JobRunner::endHoldLater(uint64_t hold)
{
    co_await sleepFor(tooManyInFlightHold, scope_.token());
    if (hold_ != hold) co_return;
    hold_.reset();
    pump();
}

void JobRunner::endHold()
{
    hold_.reset();
}

void JobRunner::notify(ItemCallback& callback, const std::shared_ptr<BatchItem>& item)
{
    if (callback) callback(item);
}

std::optional<std::string> JobRunner::takeResume(const Uuid& id)
{
    auto found = resumes_.find(id);
    if (found == resumes_.end()) return std::nullopt;
    auto jobId = std::move(found->second);
    resumes_.erase(found);
    return jobId;
}

bool JobRunner::runs(const Uuid& id, uint64_t serial) const
{
    auto found = running_.find(id);
    return found != running_.end() && found->second.serial == serial;
}

bool JobRunner::accountLeft(const Uuid& id, uint64_t serial) const
{
    auto found = running_.find(id);
    return found != running_.end() && found->second.serial == serial && found->second.accountLeft;
}

void JobRunner::failEveryPending(const phase::Failed& failed)
{
    auto pending = std::move(pending_);
    pending_.clear();
    for (const auto& item : pending) item->setPhase(failed);
    setQueuedCount(0);
}

void JobRunner::holdBackUnsent(const std::shared_ptr<BatchItem>& item)
{
    item->setPhase(phase::Ready{});
    // Jobs submitted before a relaunch are polled all the same: their records are on disk.
    std::erase_if(pending_, [this](const auto& queued) {
        if (resumes_.contains(queued->id)) return false;
        queued->setPhase(phase::Ready{});
        return true;
    });
    countPending();
}

void JobRunner::putBackFirst(const std::shared_ptr<BatchItem>& item, uint64_t serial)
{
    refusedSerial_ = serial;
    pending_.push_front(item);
    countPending();
    item->setPhase(phase::Queued{});
}

void JobRunner::updateRequired()
{
    if (onUpdateRequired) onUpdateRequired();
}

void JobRunner::statusAnswered()
{
    unansweredSince_.reset();
    setUnreachable(false);
}

void JobRunner::statusUnanswered(std::chrono::steady_clock::time_point asked)
{
    if (!unansweredSince_) unansweredSince_ = asked;
    if (environment_.clock->steady() - *unansweredSince_ >= unreachableAfter) setUnreachable(true);
}

bool JobRunner::isPending(const Uuid& id) const
{
    return std::any_of(pending_.begin(), pending_.end(), [&](const auto& item) { return item->id == id; });
}

std::optional<std::string> JobRunner::nudgeFor(const Uuid& id) const
{
    auto found = nudges_.find(id);
    if (found == nudges_.end()) return std::nullopt;
    return found->second;
}

std::optional<double> JobRunner::strengthFor(const Uuid& id) const
{
    auto found = strengths_.find(id);
    if (found == strengths_.end()) return std::nullopt;
    return found->second;
}

DevelopSettings JobRunner::firstPreview(const BatchItem& item) const
{
    return {.alternative = false,
            .strength = strengthFor(item.id).value_or(1.0),
            .colour = 0,
            .grain = settingsFor(item).grain};
}

void JobRunner::setInFlightCount(int count)
{
    if (count == inFlightCount_) return;
    inFlightCount_ = count;
    changed.emit(Field::inFlightCount);
}

void JobRunner::setQueuedCount(int count)
{
    if (count == queuedCount_) return;
    queuedCount_ = count;
    changed.emit(Field::queuedCount);
}

void JobRunner::setOutOfShots(bool outOfShots)
{
    if (outOfShots == outOfShots_) return;
    outOfShots_ = outOfShots;
    changed.emit(Field::outOfShots);
}

void JobRunner::setUnreachable(bool unreachable)
{
    if (unreachable == unreachable_) return;
    unreachable_ = unreachable;
    changed.emit(Field::unreachable);
}

} // namespace oxel
