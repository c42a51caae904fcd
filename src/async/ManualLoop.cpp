#include "async/ManualLoop.h"

#include "platform/Diagnostics.h"

#include <cassert>

namespace oxel {

namespace {
// A fixed start keeps dates in tests the same from run to run: 2026-01-01T00:00:00Z.
constexpr std::chrono::seconds virtualEpoch{1767225600};
} // namespace

ManualLoop::ManualLoop() : mainThread_(std::this_thread::get_id()), previous_(installMainExecutor(this))
{}

ManualLoop::~ManualLoop()
{
    // Work still in flight may post back; it must find no dangling loop.
    waitForPendingWork();
    installMainExecutor(previous_);
}

void ManualLoop::waitForPendingWork()
{
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, std::chrono::seconds(30), [this] { return pendingWork_ == 0; });
}

void ManualLoop::post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    posted_.notify_all();
}

TimerId ManualLoop::postAfter(std::chrono::nanoseconds delay, std::function<void()> job)
{
    assert(onMainThread());
    std::lock_guard lock(mutex_);
    const TimerId id = nextTimer_++;
    const auto due = elapsed_.load() + std::max<std::int64_t>(delay.count(), 0);
    timers_.emplace(std::make_pair(due, id), std::move(job));
    return id;
}

void ManualLoop::cancelTimer(TimerId timer)
{
    assert(onMainThread());
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [timer](const auto& entry) { return entry.first.second == timer; });
}

bool ManualLoop::onMainThread() const
{
    return std::this_thread::get_id() == mainThread_;
}

void ManualLoop::workStarted()
{
    std::lock_guard lock(mutex_);
    ++pendingWork_;
}

void ManualLoop::workFinished()
{
    {
        std::lock_guard lock(mutex_);
        --pendingWork_;
    }
    posted_.notify_all();
}

TimeSource::WallTime ManualLoop::now() const
{
    return WallTime(std::chrono::duration_cast<WallTime::duration>(virtualEpoch + elapsed()));
}

TimeSource::SteadyTime ManualLoop::steady() const
{
    return SteadyTime(std::chrono::duration_cast<SteadyTime::duration>(virtualEpoch + elapsed()));
}

bool ManualLoop::runReadyJobs(const std::function<bool()>& done)
{
    bool ranAny = false;
    while (!done()) {
        std::function<void()> job;
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty()) break;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
        ranAny = true;
    }
    return ranAny;
}

bool ManualLoop::fireNextTimerDueBy(std::chrono::nanoseconds limit)
{
    std::function<void()> job;
    {
        std::lock_guard lock(mutex_);
        if (timers_.empty() || timers_.begin()->first.first > limit.count()) return false;
        auto first = timers_.begin();
        elapsed_ = std::max(elapsed_.load(), first->first.first);
        job = std::move(first->second);
        timers_.erase(first);
    }
    job();
    return true;
}

bool ManualLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeGuard)
{
    assert(onMainThread());
    const auto timeLimit = elapsed() + virtualTimeGuard;
    for (;;) {
        runReadyJobs(done);
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!jobs_.empty()) continue;
        if (pendingWork_ > 0) {
            const bool postedBack =
                posted_.wait_for(lock, realTimeGuard, [this] { return !jobs_.empty() || pendingWork_ == 0; });
            if (!postedBack) {
                diagnose("manual-loop", "work elsewhere did not post back within the guard");
                return false;
            }
            continue;
        }
        if (timers_.empty()) {
            diagnose("manual-loop", "stalled: nothing left to run");
            return false;
        }
        lock.unlock();
        if (!fireNextTimerDueBy(timeLimit)) {
            diagnose("manual-loop", "stalled: nothing left to run but timers due over an hour from the start");
            return false;
        }
    }
}

void ManualLoop::advance(std::chrono::nanoseconds span)
{
    assert(onMainThread());
    const auto end = elapsed() + span;
    const auto never = [] { return false; };
    do runReadyJobs(never);
    while (fireNextTimerDueBy(end));
    elapsed_ = std::max(elapsed_.load(), static_cast<std::int64_t>(end.count()));
    runReadyJobs(never);
}

} // namespace oxel
