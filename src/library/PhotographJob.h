#pragma once

#include "async/CancelToken.h"
#include "async/Task.h"
#include "backend/BackendFailure.h"
#include "backend/JobStatusResponse.h"
#include "library/BatchItem.h"
#include "library/JobFailure.h"
#include "library/OutcomeBuild.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel {

class JobRunner;

// The job of one photograph, run inside its item's task: upload the photograph and submit a
// backend job (or pick up one submitted before a relaunch), poll it until it ends, send it once
// more after a server-side failure, collect the result, build the outcome off the main thread and
// deliver it to the item. Every failure ends in the item's failed phase; a cancelled job ends
// without a result and without confirming the delivery.
class PhotographJob {
public:
    // `account` is the user id the job runs for.
    PhotographJob(JobRunner& runner, std::shared_ptr<BatchItem> item, uint64_t serial, CancelToken cancel,
                  std::string account);

    Task<void> run();
    // After `run()`: stores the delivered result, asking the owner again while it cannot, and
    // confirms the delivery once it is stored, unless that was done when the result first left
    // the program. Nothing for a job that delivered nothing.
    Task<void> keepDelivered();

private:
    using WallTime = std::chrono::system_clock::time_point;
    using SteadyTime = std::chrono::steady_clock::time_point;
    enum class Next { poll, end };

    // A. Beginning: upload and submit, or take the resumed job.
    Task<Next> begin();
    Task<bool> makeUploadBytes();
    // Sends the upload picture (made first when there is none yet): the new job's id is taken, the
    // phase shown and the owner told; or the item fails. False when no job was accepted.
    Task<bool> send(std::optional<std::string> retryOf, std::optional<phase::Processing> shown);
    Task<BackendResult<std::string>> submit(std::optional<std::string> retryOf);
    // B. Polling until the job ends.
    Task<void> poll();
    void showStatus(const JobStatusResponse& answer);
    // Tells the runner whether a failed status request reached the backend: only one that got no
    // answer counts towards "can't reach".
    void tellReach(SteadyTime asked, const BackendFailure& failure);
    // The job's `updated_at` has not moved for the limit, timed on our own monotonic clock: the
    // server's clock is compared only with itself, so a skewed or jumping wall clock never counts.
    bool updateStoodStill(const JobStatusResponse& answer);
    // Waits between polls, noting a gap in the clock; true when the job was cancelled meanwhile.
    Task<bool> pause(std::chrono::seconds delay);
    // A step that began at `since` and can take `longest` ended far later: the clock jumped.
    void noteClockGap(SteadyTime since, std::chrono::nanoseconds longest);
    // Whether the job may be called lost now: not within the grace after a gap in the clock.
    bool mayBeLost() const;
    // C. Collecting and delivering a result.
    // `status` is the job's last: "succeeded", or "delivered" or "expired" for a result the
    // backend no longer waits to hand over, which is tried all the same and never confirmed again.
    Task<void> collect(std::string status);
    void deliver(BuiltResult built, const ResultToBuild& request, bool confirm);
    // Whether the owner stored the delivered result; asked again while it could not.
    Task<bool> stored();
    void reportDetailTransfer(const JobOutcome& outcome, const ResultToBuild& request);
    // D. A failed job: sent once more, or failed.
    Task<Next> resubmit(const JobStatusResponse& answer);
    // E. Submission failures.
    void submissionFailed(const BackendFailure& failure);

    // The account left while the job ran: a job the backend accepted waits for it to come back.
    void awaitAccount();

    void fail(const JobFailure& failure);
    bool cancelled() const { return cancel_.cancelled(); }
    bool accountLeft() const;
    // The failure says the backend no longer knows the job's account: the owner signs it out, and
    // the job stops as for any account that left.
    bool accountUnknown(const BackendFailure& failure);
    WallTime now() const;
    SteadyTime steadyNow() const;

    JobRunner& runner_;
    std::shared_ptr<BatchItem> item_;
    uint64_t serial_;
    CancelToken cancel_;
    std::string account_;
    std::string nudge_;
    std::string jobId_;
    std::shared_ptr<const std::vector<uint8_t>> upload_;
    bool retried_ = false;
    bool delivered_ = false;
    // Monotonic: it stands still while the computer sleeps.
    SteadyTime lastAnswer_;
    std::optional<WallTime> lastUpdate_;
    SteadyTime lastUpdateSeenAt_;
    std::optional<SteadyTime> graceUntil_;
};

} // namespace oxel
