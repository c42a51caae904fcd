#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace oxel {

using TimerId = std::uint64_t;

// The main thread's queue. `post` may be called from any thread and runs jobs in order on the
// main thread; timers are set and cancelled on the main thread. The application installs one
// backed by its event loop; tests install a `ManualLoop`.
class MainExecutor {
public:
    virtual ~MainExecutor() = default;

    virtual void post(std::function<void()> job) = 0;
    virtual TimerId postAfter(std::chrono::nanoseconds delay, std::function<void()> job) = 0;
    // Cancelling a timer that fired or was cancelled already does nothing.
    virtual void cancelTimer(TimerId timer) = 0;
    virtual bool onMainThread() const = 0;

    // Work running elsewhere that will post back (see `PendingWork`). A test loop waits for it
    // instead of moving its clock on; a real event loop needs no such bookkeeping.
    virtual void workStarted() {}
    virtual void workFinished() {}
};

// The installed main executor; installing one is the application's (or a test loop's) first step.
MainExecutor& mainExecutor();
bool hasMainExecutor();
// Installs `executor` (null to uninstall) and returns the one installed before.
MainExecutor* installMainExecutor(MainExecutor* executor);

// Marks work in flight on another thread from construction until destruction; hold it until
// after the work posted its result back.
class PendingWork {
public:
    explicit PendingWork(MainExecutor& executor) : executor_(&executor) { executor_->workStarted(); }
    PendingWork(PendingWork&& other) noexcept : executor_(other.executor_) { other.executor_ = nullptr; }
    PendingWork& operator=(PendingWork&&) = delete;
    PendingWork(const PendingWork&) = delete;
    ~PendingWork()
    {
        if (executor_) executor_->workFinished();
    }

private:
    MainExecutor* executor_;
};

} // namespace oxel
