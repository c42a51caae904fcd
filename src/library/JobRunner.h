#pragma once

#include "async/CancelToken.h"
#include "async/Signal.h"
#include "async/Task.h"
#include "async/TaskScope.h"
#include "async/TimeSource.h"
#include "async/WorkPool.h"
#include "develop/DevelopSettings.h"
#include "develop/transfer/TransferLimits.h"
#include "library/BatchItem.h"
#include "library/WaitingConfirmation.h"
#include "platform/Uuid.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace oxel {

class PhotographJob;

// The queue of backend jobs for the open batch. Items handed to it wait in `pending` until a slot
// is free; at most `maxInFlight` jobs run at once, each as one task that uploads the photograph
// (or picks up a job submitted before a relaunch), polls the job, collects and builds the result
// and delivers it to the item (`PhotographJob`). The runner tells its owner through four
// callbacks and publishes three counters. Main thread only.
//
// Each item's task has a cancel source of its own and lives in the runner's task scope, so a
// runner that goes away cancels its tasks and never resumes them.
class JobRunner {
public:
    using ItemCallback = std::function<void(const std::shared_ptr<BatchItem>&)>;
    using StrengthFor = std::function<double(const BatchItem&)>;

    enum class Field { inFlightCount, queuedCount, outOfShots, unreachable };

    // What the runner works with; `standard()` is the application's.
    struct Environment {
        const TimeSource* clock; // the monotonic clock of the two 360 s limits, the wall clock of start dates
        WorkPool* pool;          // the backend's blocking calls and the result build

        static Environment standard();
    };

    // How long a job may go without a status answer, and how old its last update may be.
    static constexpr std::chrono::seconds staleAfter{360};
    static constexpr std::chrono::seconds pollInterval{3};
    static constexpr std::chrono::seconds failedStatusRetry{5};
    // A step of a job that ends this much later than it can means the clock jumped (a paused
    // virtual machine, a stopped process): the job then asks on for `gapGrace` before it calls
    // itself lost, however long ago the last answer or update came.
    static constexpr std::chrono::seconds clockGap{30};
    static constexpr std::chrono::seconds gapGrace{60};
    // How long status requests go unanswered before the runner says it cannot reach the backend.
    static constexpr std::chrono::seconds unreachableAfter{20};
    // How long nothing starts after the backend said it has too many jobs in flight.
    static constexpr std::chrono::seconds tooManyInFlightHold{5};
    static constexpr int defaultMaxInFlight = 4;

    explicit JobRunner(Environment environment = Environment::standard());
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Published; each change is announced after it is stored.
    int inFlightCount() const { return inFlightCount_; }
    int queuedCount() const { return queuedCount_; }
    bool outOfShots() const { return outOfShots_; }
    // Status requests have gone unanswered for `unreachableAfter`; cleared by the next answer, or
    // once no job runs.
    bool unreachable() const { return unreachable_; }
    Signal<Field> changed;

    // Written by the owner when a remote configuration is accepted.
    int maxInFlight = defaultMaxInFlight;
    TransferLimits limits;
    bool asksForGrade = true;

    ItemCallback onSubmitted; // the backend accepted a job for the item; its job id is set
    ItemCallback onDelivered; // a result was put on the item
    ItemCallback onSettled;   // the item's job ended, however it ended
    // The item's job stopped, after its settling, to wait for the account that left; the owner
    // resumes it at once when that account is already signed in again.
    ItemCallback onParked;
    std::function<void()> onUpdateRequired;
    // The backend answered that the account `userId` the jobs run for does not exist.
    std::function<void(const std::string& userId)> onUnknownAccount;
    // The backend took the confirmation of a delivered result: a shot was spent.
    std::function<void()> onConfirmed;
    // The deliveries not confirmed yet changed (see `waitingConfirmations`).
    std::function<void()> onWaitingConfirmationsChanged;
    // How the owner develops an item now, asked as each result is built; required. The first
    // preview of a delivered result takes its grain from it.
    std::function<DevelopSettings(const BatchItem&)> settingsFor;

    // How a delivered result fared on disk: stored, not stored yet (asked again later), or no
    // longer wanted there (the item left the batch).
    enum class Kept { stored, unsaved, dropped };
    // Stores a delivered result for good. The job confirms the delivery, and so spends the shot,
    // once it is stored, unless the result left the program before (see `confirm`); while it is unsaved the job asks again every `keepRetry`, its slot
    // already free for the next item. Without one, a delivered result counts as stored.
    std::function<Task<Kept>(std::shared_ptr<BatchItem>)> keepDelivered;
    static constexpr std::chrono::seconds keepRetry{15};
    // Asked just before a picture is sent: whether the library took the item's record and has room
    // for its result. A job the library never heard of could not be collected after a quit, so
    // when it did not, the picture and those queued behind it go back to ready, none of them sent.
    // Without one, every picture is sent.
    std::function<Task<bool>(std::shared_ptr<BatchItem>)> libraryTakes;

    // Queues the items that are not in flight, each with its effective nudge (trimmed) and the
    // strength `strengthFor` gives it.
    void start(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& userId,
               const std::string& globalNudge, const StrengthFor& strengthFor);
    // Queues one item again with its nudge as given.
    void enqueue(const std::shared_ptr<BatchItem>& item, const std::string& nudge, const std::string& userId,
                 double strength);
    // Queues an item whose job was submitted before a relaunch: it is polled, not uploaded again,
    // and a resubmission sends `nudge` (trimmed).
    void resume(const std::shared_ptr<BatchItem>& item, const std::string& jobId, const std::string& userId,
                double strength, const std::string& nudge);
    // Cancels every running job and returns the queued items to ready.
    void cancelAll();
    // The account signed out, or another one signed in: the queued items go back to ready, and
    // each running job stops at its next step, after any request on its way was answered. A job
    // the backend accepted then waits, paid for, to be collected when its account signs in again.
    void accountLeft();
    // An account is signed in: jobs start and deliveries are confirmed for it, the confirmations
    // that waited for it among them.
    void accountArrived(const std::string& userId);
    // Tells the backend the job's result arrived, which spends the shot, once `account`, the job's,
    // is the runner's. Confirmations go one at a time, on a thread of their own.
    void confirmDelivery(const std::string& jobId, const std::string& account);
    // Every delivery not confirmed yet, oldest first. A delivered result joins them, not stored,
    // before its store begins; it is sent once stored, and leaves once the backend took its
    // confirmation, or refused it for a job it does not have. The owner keeps them over a restart
    // and hands the stored ones to `confirmDelivery` again; one that went unanswered in this run is
    // tried again then.
    using Confirmations = std::vector<WaitingConfirmation>;
    const Confirmations& waitingConfirmations() const { return unconfirmed_; }
    // Takes back the deliveries the last run left unconfirmed, oldest first, without telling of a
    // change. The stored ones are confirmed as their accounts sign in; the others wait, unsent,
    // until `lastRunStored` says which of them the library keeps.
    void handBack(const Confirmations& waiting);
    // Of the deliveries handed back not known to be stored, those whose results the library keeps:
    // they are confirmed. The others are let go unconfirmed, as the backend keeps their jobs for
    // their batches to collect again, unless a job of this run took one on meanwhile.
    void lastRunStored(const std::set<std::string>& stored);
    // At most this many are kept: a few full batches confirmed while the backend did not answer.
    // Past it the oldest, the likeliest to have expired with the backend anyway, are let go.
    static constexpr size_t mostWaitingConfirmations = 1000;
    // Confirms the delivery of the item's result of job `jobId` unless that was done already: when
    // it is stored, or when it first leaves the program (exported, sent back, reported), stored or not.
    void confirm(BatchItem& item, const std::string& jobId);
    // The balance rose after a refusal for lack of shots: new jobs may start again.
    void shotsArrived();
    // Starts jobs while there is room.
    void pump();

    const std::string& userId() const { return userId_; }
    std::optional<std::string> nudgeFor(const Uuid& id) const;
    std::optional<double> strengthFor(const Uuid& id) const;
    // How an item's delivered result is first previewed: the chosen look at the item's queued
    // strength, no colour, grain as the owner develops the item.
    DevelopSettings firstPreview(const BatchItem& item) const;
    bool isRunning(const Uuid& id) const { return running_.count(id) > 0; }
    bool isPending(const Uuid& id) const;
    // Delivered results are still being stored, each to be confirmed once it is.
    bool storing() const { return !keeping_.empty(); }

private:
    friend class PhotographJob;

    struct Running {
        uint64_t serial = 0;
        CancelSource cancel;
        bool accountLeft = false;
    };

    void append(const std::shared_ptr<BatchItem>& item, std::optional<std::string> nudge, double strength);
    // The first pending item that may start now: while out of shots, only jobs already submitted.
    std::deque<std::shared_ptr<BatchItem>>::iterator nextToStart();
    Task<void> runItem(std::shared_ptr<BatchItem> item, uint64_t serial, CancelToken cancel, std::string account);
    void settle(const std::shared_ptr<BatchItem>& item, uint64_t serial);
    // Keeps a delivery among those not confirmed yet, once, and notes when its result is stored;
    // false when nothing changed.
    bool keepUnconfirmed(const std::string& jobId, const std::string& account, bool stored);
    void forgetUnconfirmed(const std::string& jobId);
    void tellWaitingConfirmations();
    // Stops the confirmation on its way at once and sends no more; every delivery not confirmed
    // stays in `waitingConfirmations`, as the owner keeps it, for the next run. For the runner's
    // end, which is the program's: nothing waits on the backend then.
    void stopConfirmations();
    // Starts sending the confirmations that may go now, unless they are going already.
    void sendConfirmations();
    Task<void> sendEachConfirmation();
    std::optional<WaitingConfirmation> nextConfirmation() const;
    // A confirmation goes only with its own account signed in, never with an empty one.
    bool confirmableNow(const std::string& account) const;
    Task<void> endHoldLater(uint64_t hold);
    void endHold();
    void notify(ItemCallback& callback, const std::shared_ptr<BatchItem>& item);

    // For the job of one photograph.
    // A delivered result's confirmation is kept before its store begins, and sent once it is stored.
    void keepUntilStored(const std::string& jobId, const std::string& account);
    // The item's result of job `jobId` was not stored (the item left, or its job was cancelled):
    // unless it left the program before, its confirmation is let go, as the backend keeps the job.
    void notStored(BatchItem& item, const std::string& jobId);
    std::optional<std::string> takeResume(const Uuid& id);
    bool runs(const Uuid& id, uint64_t serial) const;
    bool accountLeft(const Uuid& id, uint64_t serial) const;
    void failEveryPending(const phase::Failed& failed);
    // Back to ready, unsent: the item and the queued pictures not submitted yet.
    void holdBackUnsent(const std::shared_ptr<BatchItem>& item);
    void putBackFirst(const std::shared_ptr<BatchItem>& item, uint64_t serial);
    void updateRequired();
    void statusAnswered();
    void statusUnanswered(std::chrono::steady_clock::time_point asked);

    void setInFlightCount(int count);
    void setQueuedCount(int count);
    void setOutOfShots(bool outOfShots);
    void setUnreachable(bool unreachable);
    void countPending() { setQueuedCount(int(pending_.size())); }
    void countRunning() { setInFlightCount(int(running_.size())); }

    Environment environment_;
    int inFlightCount_ = 0;
    int queuedCount_ = 0;
    bool outOfShots_ = false;
    bool unreachable_ = false;
    // When the first status request that is still unanswered was asked.
    std::optional<std::chrono::steady_clock::time_point> unansweredSince_;
    std::string userId_;
    std::deque<std::shared_ptr<BatchItem>> pending_;
    std::map<Uuid, Running> running_;
    std::map<Uuid, std::string> nudges_;
    std::map<Uuid, double> strengths_;
    std::map<Uuid, std::string> resumes_;
    Confirmations unconfirmed_;
    // Of those, the ones that went unanswered in this run.
    std::set<std::string> unanswered_;
    // Of those, the ones handed back not known to be stored, until `lastRunStored`.
    std::set<std::string> unsureFromLastRun_;
    bool confirming_ = false;
    bool confirmationsStopped_ = false;
    CancelSource confirmationStop_;
    // The confirmations' own thread: one at a time, never in the way of pictures being made.
    WorkPool confirmationLine_{1};
    // Delivered results still being stored, by their job's serial: cancelled with the running ones.
    std::map<uint64_t, CancelSource> keeping_;
    uint64_t nextSerial_ = 1;
    // Set while nothing starts after a "too many in flight" refusal: the refused task's serial.
    std::optional<uint64_t> hold_;
    uint64_t nextHold_ = 1;
    std::optional<uint64_t> refusedSerial_;
    // Last, so that tasks go before the state they use.
    TaskScope scope_;
};

} // namespace oxel
