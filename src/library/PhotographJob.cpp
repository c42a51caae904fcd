#include "library/PhotographJob.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "backend/BackendErrorCategory.h"
#include "backend/BackendRequest.h"
#include "backend/Base64.h"
#include "backend/FunnelEvents.h"
#include "backend/JobEndpoints.h"
#include "library/InternetDate.h"
#include "library/JobRunner.h"
#include "library/TransferNote.h"

#include <cmath>

namespace oxel {
namespace {

constexpr const char* resumedStatus = "picking up where it left off";
constexpr const char* submittedStatus = "getting ready";
constexpr const char* resubmittedStatus = "ran into a delay · trying again";

// Statuses after which the backend no longer updates a job: their age says nothing.
bool isFinished(const std::string& status)
{
    return status == "succeeded" || status == "failed" || status == "blocked_policy" || status == "delivered" ||
           status == "expired";
}

bool isBackendError(const BackendFailure& failure, BackendError::Case which)
{
    auto* error = std::get_if<BackendError>(&failure);
    return error && error->which() == which;
}

double roundedTo(double value, double steps)
{
    return std::round(value * steps) / steps;
}

// The full-send picture, else the refined one, decoded leniently; nothing when neither decodes.
// An empty text decodes to no bytes, which fail to read as a picture.
std::optional<std::vector<uint8_t>> resultPicture(const JobResultResponse& answer)
{
    const auto& text = answer.fullSendImage ? answer.fullSendImage : answer.refinedImage;
    if (!text) return std::nullopt;
    auto bytes = base64Decoded(*text);
    if (!bytes) return std::nullopt;
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

} // namespace

PhotographJob::PhotographJob(JobRunner& runner, std::shared_ptr<BatchItem> item, uint64_t serial, CancelToken cancel,
                             std::string account)
    : runner_(runner), item_(std::move(item)), serial_(serial), cancel_(std::move(cancel)), account_(std::move(account))
{}

Task<void> PhotographJob::run()
{
    nudge_ = runner_.nudgeFor(item_->id).value_or("");
    if (!item_->source()) {
        fail(JobFailure::originalMissing);
        co_return;
    }
    if (!item_->startedAt()) item_->setStartedAt(now());
    const Next next = co_await begin();
    if (next == Next::poll) co_await poll();
    if (accountLeft()) awaitAccount();
}

Task<PhotographJob::Next> PhotographJob::begin()
{
    if (auto resumed = runner_.takeResume(item_->id)) {
        jobId_ = *resumed;
        item_->setJobId(jobId_);
        item_->setPhase(phase::Processing{resumedStatus, std::nullopt});
        co_return Next::poll;
    }
    item_->setPhase(phase::Uploading{});
    std::optional<std::string> noRetry;
    std::optional<phase::Processing> submittedPhase = phase::Processing{submittedStatus, std::nullopt};
    const bool accepted = co_await send(std::move(noRetry), std::move(submittedPhase));
    co_return accepted ? Next::poll : Next::end;
}

Task<bool> PhotographJob::send(std::optional<std::string> retryOf, std::optional<phase::Processing> shown)
{
    bool encoded = upload_ != nullptr;
    if (!encoded) encoded = co_await makeUploadBytes();
    if (!encoded) {
        fail(JobFailure::encode);
        co_return false;
    }
    if (accountLeft()) co_return false;
    if (runner_.libraryTakes && !co_await runner_.libraryTakes(item_)) {
        runner_.holdBackUnsent(item_);
        co_return false;
    }
    if (accountLeft()) co_return false;
    auto submitted = co_await submit(std::move(retryOf));
    if (!submitted) {
        if (accountLeft() || accountUnknown(submitted.failure())) co_return false;
        submissionFailed(submitted.failure());
        co_return false;
    }
    jobId_ = *submitted;
    item_->setJobId(jobId_);
    item_->jobAccount = account_;
    if (shown) item_->setPhase(std::move(*shown));
    runner_.notify(runner_.onSubmitted, item_);
    co_return true;
}

Task<bool> PhotographJob::makeUploadBytes()
{
    if (!item_->source()) co_return false;
    auto encode = [source = *item_->source()] { return source.jpegData(); };
    auto bytes = co_await offload(*runner_.environment_.pool, WorkPriority::userInitiated, std::move(encode));
    if (!bytes) co_return false;
    upload_ = std::make_shared<const std::vector<uint8_t>>(std::move(*bytes));
    co_return true;
}

Task<BackendResult<std::string>> PhotographJob::submit(std::optional<std::string> retryOf)
{
    auto nudge = nudge_.empty() ? std::nullopt : std::optional(nudge_);
    auto send = [upload = upload_, userId = account_, nudge, retryOf,
                 wearsGrade = runner_.asksForGrade](std::stop_token stop) {
        std::string_view jpeg(reinterpret_cast<const char*>(upload->data()), upload->size());
        return submitJob(jpeg, userId, nudge, retryOf, wearsGrade, stop);
    };
    auto result = co_await offload(*runner_.environment_.pool, WorkPriority::userInitiated, cancel_, std::move(send));
    co_return result;
}

Task<void> PhotographJob::poll()
{
    lastAnswer_ = steadyNow();
    for (;;) {
        if (cancelled() || accountLeft()) co_return;
        const SteadyTime asked = steadyNow();
        auto request = [jobId = jobId_](std::stop_token stop) { return jobStatus(jobId, stop); };
        auto answer =
            co_await offload(*runner_.environment_.pool, WorkPriority::userInitiated, cancel_, std::move(request));
        noteClockGap(asked, backendRequestTimeout);
        if (accountLeft()) co_return;
        if (!answer) {
            if (accountUnknown(answer.failure())) co_return;
            if (backendErrorCategory(answer.failure()) == BackendErrorCategory::userCancelled) co_return;
            if (isBackendError(answer.failure(), BackendError::Case::updateRequired)) {
                runner_.updateRequired();
                co_return;
            }
            if (isUnknownJob(answer.failure())) {
                item_->dropForgottenJob();
                co_return;
            }
            tellReach(asked, answer.failure());
            // Only a request asked past the limit and left unanswered gives up: the server always
            // gets one more chance, a suspended computer's sleep does not count, and after a gap
            // in the clock the job asks on for a while.
            if (asked - lastAnswer_ > JobRunner::staleAfter && mayBeLost()) {
                fail(JobFailure::stale);
                co_return;
            }
            co_await pause(JobRunner::failedStatusRetry);
            continue;
        }
        if (cancelled()) co_return;
        lastAnswer_ = steadyNow();
        runner_.statusAnswered();
        showStatus(*answer);
        if (updateStoodStill(*answer)) {
            fail(JobFailure::staleJob);
            co_return;
        }
        const std::string& status = answer->status;
        // A result the backend counts as delivered may still be there to collect: a run that
        // confirmed it may have ended before it was stored.
        if (status == "succeeded" || status == "delivered" || status == "expired") {
            co_await collect(status);
            co_return;
        }
        if (status == "failed") {
            const Next next = co_await resubmit(*answer);
            if (next == Next::end) co_return;
            continue;
        }
        if (status == "blocked_policy") {
            fail(JobFailure::blockedPolicy);
            co_return;
        }
        const bool interrupted = co_await pause(JobRunner::pollInterval);
        if (interrupted) co_return;
    }
}

void PhotographJob::tellReach(SteadyTime asked, const BackendFailure& failure)
{
    // A server that answered with an error was reached all the same.
    if (isOutOfReach(backendErrorCategory(failure)))
        runner_.statusUnanswered(asked);
    else
        runner_.statusAnswered();
}

Task<bool> PhotographJob::pause(std::chrono::seconds delay)
{
    const SteadyTime from = steadyNow();
    const bool interrupted = co_await sleepFor(delay, cancel_);
    noteClockGap(from, delay);
    co_return interrupted;
}

void PhotographJob::noteClockGap(SteadyTime since, std::chrono::nanoseconds longest)
{
    const SteadyTime now = steadyNow();
    if (now - since > longest + JobRunner::clockGap) graceUntil_ = now + JobRunner::gapGrace;
}

bool PhotographJob::mayBeLost() const
{
    return !graceUntil_ || steadyNow() >= *graceUntil_;
}

void PhotographJob::showStatus(const JobStatusResponse& answer)
{
    phase::Processing shown{statusNarration(answer.status), answer.narration};
    if (item_->phase() != ItemPhase(shown)) item_->setPhase(std::move(shown));
}

bool PhotographJob::updateStoodStill(const JobStatusResponse& answer)
{
    if (isFinished(answer.status) || !answer.updatedAt) return false;
    auto updated = InternetDate::parse(*answer.updatedAt);
    if (!updated) return false;
    const SteadyTime seen = steadyNow();
    if (updated != lastUpdate_) {
        lastUpdate_ = updated;
        lastUpdateSeenAt_ = seen;
        return false;
    }
    return seen - lastUpdateSeenAt_ > JobRunner::staleAfter && mayBeLost();
}

Task<PhotographJob::Next> PhotographJob::resubmit(const JobStatusResponse& answer)
{
    if (retried_ || answer.failureCode == contentPolicyCode) {
        fail(JobFailure::backendFailed(answer.failureCode, answer.debugError));
        co_return Next::end;
    }
    item_->setPhase(phase::Processing{resubmittedStatus, std::nullopt});
    std::optional<std::string> retryOf = jobId_;
    std::optional<phase::Processing> unchanged;
    const bool accepted = co_await send(std::move(retryOf), std::move(unchanged));
    if (!accepted) co_return Next::end;
    lastAnswer_ = steadyNow();
    if (cancelled()) co_return Next::end;
    retried_ = true;
    co_return Next::poll;
}

void PhotographJob::submissionFailed(const BackendFailure& failure)
{
    if (auto* error = std::get_if<BackendError>(&failure)) {
        switch (error->which()) {
        case BackendError::Case::insufficientCredits:
            fail(JobFailure::insufficientCredits);
            runner_.setOutOfShots(true);
            runner_.failEveryPending(JobFailure::insufficientCredits.phase());
            return;
        case BackendError::Case::updateRequired: runner_.updateRequired(); return fail(JobFailure::updateRequired);
        case BackendError::Case::aspectUnsupported: return fail(JobFailure::aspectUnsupported);
        case BackendError::Case::tooManyInFlight:
            // A job that was cancelled meanwhile is not queued again.
            if (runner_.runs(item_->id, serial_)) return runner_.putBackFirst(item_, serial_);
            return item_->setPhase(phase::Ready{});
        default: break;
        }
    }
    const auto category = backendErrorCategory(failure);
    fail(JobFailure::submissionFailed(name(category), isOutOfReach(category)));
    item_->setLastError(describe(failure));
}

Task<void> PhotographJob::collect(std::string status)
{
    item_->setPhase(phase::Finishing{});
    auto fetch = [jobId = jobId_](std::stop_token stop) { return jobResult(jobId, stop); };
    auto answer = co_await offload(*runner_.environment_.pool, WorkPriority::userInitiated, cancel_, std::move(fetch));
    if (!answer) {
        if (accountLeft() || accountUnknown(answer.failure())) co_return;
        if (isBackendError(answer.failure(), BackendError::Case::updateRequired)) {
            runner_.updateRequired();
            co_return;
        }
        if (isUnknownJob(answer.failure())) {
            item_->dropForgottenJob();
            co_return;
        }
        const bool awaited = status == "succeeded";
        if (!awaited) {
            fail(JobFailure::collectedTooLate(status));
            co_return;
        }
        fail(JobFailure::fetchFailed(name(backendErrorCategory(answer.failure()))));
        {
            item_->setLastError(describe(answer.failure()));
            co_return;
        }
    }
    auto picture = resultPicture(answer->response);
    if (!picture) {
        fail(JobFailure::noImage);
        co_return;
    }
    if (!item_->source()) {
        fail(JobFailure::originalWentAway);
        co_return;
    }
    ResultToBuild request{jobId_,
                          std::make_shared<const std::vector<uint8_t>>(std::move(*picture)),
                          std::make_shared<const AnalysisResponse>(answer->response.analysis),
                          std::make_shared<const std::string>(std::move(answer.value().body)),
                          *item_->source(),
                          runner_.limits,
                          runner_.firstPreview(*item_),
                          answer->response.postProcessed == true};
    auto build = [request](std::stop_token stop) { return buildResult(request, stop); };
    auto built = co_await offload(*runner_.environment_.pool, WorkPriority::userInitiated, cancel_, std::move(build));
    // A job cancelled meanwhile leaves its result with the backend, to be collected another time;
    // so does a job whose account left, to be collected and confirmed when it is back.
    if (cancelled() || !runner_.runs(item_->id, serial_) || accountLeft()) co_return;
    if (!built) {
        fail(JobFailure::decode);
        co_return;
    }
    deliver(std::move(*built), request, status == "succeeded");
}

void PhotographJob::deliver(BuiltResult built, const ResultToBuild& request, bool confirm)
{
    item_->keep = std::move(built.keep);
    item_->unconfirmed.reset();
    if (confirm) {
        item_->unconfirmed = BatchItem::Unconfirmed{jobId_, account_};
        // Kept, not stored yet, before the store begins: after a quit while it runs, the next start
        // confirms it only once it finds the render whole in the library, and otherwise leaves it to
        // the batch to collect again.
        runner_.keepUntilStored(jobId_, account_);
    }
    item_->grainBaked = built.outcome->grainBaked;
    item_->planVerdict = built.outcome->previewPlan.verdict();
    item_->setResult(built.outcome);
    if (built.tilePicture && built.preview)
        item_->setDevelopedCopy(
            BatchItem::DevelopedCopy::counting(std::move(*built.tilePicture), *built.preview, request.preview));
    item_->setPreviewImage(std::move(built.preview));
    item_->setOriginalPreview(std::move(built.base));
    reportDetailTransfer(*built.outcome, request);
    item_->setPhase(phase::Done{});
    runner_.notify(runner_.onDelivered, item_);
    delivered_ = true;
}

Task<void> PhotographJob::keepDelivered()
{
    if (!delivered_) co_return;
    const bool kept = co_await stored();
    if (kept)
        runner_.confirm(*item_, jobId_);
    else
        runner_.notStored(*item_, jobId_);
}

Task<bool> PhotographJob::stored()
{
    if (!runner_.keepDelivered) co_return true;
    for (;;) {
        const auto kept = co_await runner_.keepDelivered(item_);
        if (kept != JobRunner::Kept::unsaved) co_return kept == JobRunner::Kept::stored;
        // Until it is stored the backend keeps the job unconfirmed, to be collected another time.
        const bool interrupted = co_await sleepFor(JobRunner::keepRetry, cancel_);
        if (interrupted) co_return false;
    }
}

void PhotographJob::reportDetailTransfer(const JobOutcome& outcome, const ResultToBuild& request)
{
    const auto note = transferNote(outcome);
    if (note) item_->setNote(*note);
    const TransferPlan* made = outcome.previewPlan.made();
    if (!made) {
        sendFunnelEvent(FunnelEvent::detailTransfer, std::nullopt,
                        Json{{"bail", outcome.planDecline.value_or("unknown")}});
        return;
    }
    const auto& plan = *made;
    // With a plan, the only note is the one that declines the blend.
    const bool declined = note.has_value();
    const double pixels = double(request.original.pixelWidth) * double(request.original.pixelHeight);
    sendFunnelEvent(FunnelEvent::detailTransfer, std::nullopt,
                    Json{{"structure", roundedTo(plan.structure, 1000)},
                         {"correlation", roundedTo(plan.correlation, 1000)},
                         {"divergence", roundedTo(plan.divergence, 1000)},
                         {"limit", roundedTo(request.limits.refineDivergenceLimit, 1e6)},
                         {"declined", declined},
                         {"megapixels", roundedTo(pixels / 1e6, 10)},
                         {"profile", request.original.profileLabel()}});
}

void PhotographJob::awaitAccount()
{
    if (item_->result()) return;
    item_->setPhase(phase::Ready{});
    // Set after the job id, which ends any earlier wait.
    if (!jobId_.empty()) item_->jobAwaitsCollection = true;
}

void PhotographJob::fail(const JobFailure& failure)
{
    item_->setPhase(failure.phase());
}

bool PhotographJob::accountLeft() const
{
    return runner_.accountLeft(item_->id, serial_);
}

bool PhotographJob::accountUnknown(const BackendFailure& failure)
{
    if (!isUnknownAccount(failure) || !runner_.onUnknownAccount) return false;
    runner_.onUnknownAccount(runner_.userId());
    return accountLeft();
}

PhotographJob::WallTime PhotographJob::now() const
{
    return runner_.environment_.clock->now();
}

PhotographJob::SteadyTime PhotographJob::steadyNow() const
{
    return runner_.environment_.clock->steady();
}

} // namespace oxel
