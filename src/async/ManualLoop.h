#pragma once

#include "async/MainExecutor.h"
#include "async/TimeSource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace oxel {

// The main thread of a test: a main executor and a virtual clock in one. Construct it on the
// test's thread (which becomes the main thread); it installs itself as the main executor until
// it goes away.
//
// `runUntil(done)` runs posted jobs; when none is ready but work elsewhere is pending (offloaded
// jobs, a scripted browser) it waits for that work to post back, up to a real-time guard; when
// nothing is pending it jumps the clock to the next timer. With nothing left, or with only timers
// due more than `virtualTimeGuard` after it began (a wait that renews itself for ever), it reports
// a stall, so a test that cannot finish fails at once instead of spinning through virtual time.
class ManualLoop final : public MainExecutor, public TimeSource {
public:
    ManualLoop();
    ~ManualLoop() override;
    ManualLoop(const ManualLoop&) = delete;
    ManualLoop& operator=(const ManualLoop&) = delete;

    void post(std::function<void()> job) override;
    TimerId postAfter(std::chrono::nanoseconds delay, std::function<void()> job) override;
    void cancelTimer(TimerId timer) override;
    bool onMainThread() const override;
    void workStarted() override;
    void workFinished() override;

    WallTime now() const override;
    SteadyTime steady() const override;

    static constexpr std::chrono::hours virtualTimeGuard{1};

    // True once `done()` holds; false (with a line on stderr) when the loop stalled or work
    // elsewhere took longer than `realTimeGuard` to post back.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds realTimeGuard = std::chrono::seconds(20));
    // Runs everything that becomes due within `span` of virtual time, ending at now + span.
    void advance(std::chrono::nanoseconds span);
    // Blocks, up to 30 s, until every piece of work started elsewhere has ended, so that what it
    // reads (a library, a folder) may go; what it posted back is not run here.
    void waitForPendingWork();
    // Virtual time gone by since the loop was made.
    std::chrono::nanoseconds elapsed() const { return std::chrono::nanoseconds(elapsed_.load()); }

private:
    bool runReadyJobs(const std::function<bool()>& done);
    bool fireNextTimerDueBy(std::chrono::nanoseconds limit);

    std::thread::id mainThread_;
    MainExecutor* previous_;
    std::atomic<std::int64_t> elapsed_{0};
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> jobs_;
    int pendingWork_ = 0;
    TimerId nextTimer_ = 1;
    // Due time, then order of setting: timers due together fire in the order they were set.
    std::map<std::pair<std::int64_t, TimerId>, std::function<void()>> timers_;
};

} // namespace oxel
