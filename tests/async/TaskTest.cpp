#include "async/Completion.h"
#include "async/ManualLoop.h"
#include "async/Offload.h"
#include "async/Sleep.h"
#include "async/TaskScope.h"

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

namespace oxel {
namespace {

using namespace std::chrono_literals;

Task<int> answer(int value)
{
    co_return value * 2;
}

Task<int> sumOfAnswers()
{
    const int first = co_await answer(1);
    const int second = co_await answer(20);
    co_return first + second;
}

Task<int> failing()
{
    throw std::runtime_error("broken");
    co_return 0;
}

Task<std::string> catching()
{
    try {
        co_await failing();
    } catch (const std::runtime_error& error) {
        co_return error.what();
    }
    co_return "not thrown";
}

template <typename T>
Task<void> storeInto(Task<T> task, std::optional<T>& result)
{
    result = co_await std::move(task);
}

TEST(Task, NestedTasksPassValuesAndExceptionsToTheirCaller)
{
    ManualLoop loop;
    TaskScope scope;
    std::optional<int> sum;
    std::optional<std::string> message;
    scope.spawn(storeInto(sumOfAnswers(), sum));
    scope.spawn(storeInto(catching(), message));
    EXPECT_FALSE(sum) << "a spawned task starts only after the caller returns";
    ASSERT_TRUE(loop.runUntil([&] { return sum && message; }));
    EXPECT_EQ(*sum, 42);
    EXPECT_EQ(*message, "broken");
    EXPECT_EQ(scope.runningCount(), 0u);
}

Task<void> sleepThenMark(std::chrono::nanoseconds delay, CancelToken token, std::vector<std::string>& log,
                         std::string name)
{
    const bool cancelled = co_await sleepFor(delay, token);
    log.push_back(name + (cancelled ? " cancelled" : " woke"));
}

TEST(Sleep, RunsOnTheVirtualClockAndWakesAtOnceWhenCancelled)
{
    ManualLoop loop;
    TaskScope scope;
    CancelSource cancel;
    std::vector<std::string> log;
    scope.spawn(sleepThenMark(10min, {}, log, "long"));
    scope.spawn(sleepThenMark(3s, {}, log, "short"));
    scope.spawn(sleepThenMark(1h, cancel.token(), log, "cancellable"));
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"short woke", "long woke"}));
    EXPECT_EQ(loop.elapsed(), 10min);

    cancel.cancel();
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log.back(), "cancellable cancelled");
    EXPECT_EQ(loop.elapsed(), 10min) << "a cancelled sleep does not wait for its timer";

    scope.spawn(sleepThenMark(1h, cancel.token(), log, "late"));
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 4; }));
    EXPECT_EQ(log.back(), "late cancelled");
}

TEST(TaskScope, DestroyingTheScopeCancelsAndNeverResumesItsTasks)
{
    ManualLoop loop;
    std::vector<std::string> log;
    CancelToken scopeToken;
    {
        TaskScope scope;
        scopeToken = scope.token();
        scope.spawn(sleepThenMark(1s, {}, log, "orphan"));
        loop.advance(0s); // the task starts and sleeps
        EXPECT_EQ(scope.runningCount(), 1u);
    }
    EXPECT_TRUE(scopeToken.cancelled());
    loop.advance(1h);
    EXPECT_TRUE(log.empty());
}

struct OffloadOutcome {
    std::optional<bool> ranOnMain;
    std::optional<bool> resumedOnMain;
    std::optional<std::string> failure;
};

Task<void> offloadTwice(ManualLoop& loop, OffloadOutcome& outcome)
{
    outcome.ranOnMain = co_await offload(WorkPriority::userInitiated, [&loop] {
        std::this_thread::sleep_for(30ms);
        return loop.onMainThread();
    });
    outcome.resumedOnMain = loop.onMainThread();
    try {
        co_await offload(WorkPriority::utility, [] { throw std::runtime_error("disk full"); });
    } catch (const std::runtime_error& error) {
        outcome.failure = error.what();
    }
}

TEST(Offload, RunsOnThePoolAndResumesOnTheMainThread)
{
    ManualLoop loop;
    TaskScope scope;
    OffloadOutcome outcome;
    bool timerFired = false;
    loop.postAfter(1s, [&] { timerFired = true; });
    scope.spawn(offloadTwice(loop, outcome));
    ASSERT_TRUE(loop.runUntil([&] { return outcome.failure.has_value(); }));
    EXPECT_FALSE(*outcome.ranOnMain);
    EXPECT_TRUE(*outcome.resumedOnMain);
    EXPECT_EQ(*outcome.failure, "disk full");
    EXPECT_FALSE(timerFired) << "the loop waited for the pool instead of jumping its clock";
}

// Blocks until asked to stop, two seconds at the most; says whether it was asked.
bool waitForStop(std::stop_token stop, std::atomic<bool>& started)
{
    started = true;
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    return woken.wait_for(lock, stop, 2s, [&] { return stop.stop_requested(); });
}

Task<void> offloadUntilStopped(CancelToken cancel, std::atomic<bool>& started, std::optional<bool>& stopped)
{
    auto work = [&started](std::stop_token stop) { return waitForStop(stop, started); };
    stopped = co_await offload(WorkPriority::utility, cancel, std::move(work));
}

TEST(Offload, CancellingItsTokenAsksTheBlockingWorkToStop)
{
    ManualLoop loop;
    TaskScope scope;
    CancelSource running;
    CancelSource cancelledBefore;
    cancelledBefore.cancel();
    std::atomic<bool> started{false};
    std::atomic<bool> startedLate{false};
    std::optional<bool> stopped;
    std::optional<bool> stoppedAtOnce;
    scope.spawn(offloadUntilStopped(cancelledBefore.token(), startedLate, stoppedAtOnce));
    ASSERT_TRUE(loop.runUntil([&] { return stoppedAtOnce.has_value(); }));
    EXPECT_TRUE(*stoppedAtOnce);

    scope.spawn(offloadUntilStopped(running.token(), started, stopped));
    loop.advance(0s);
    while (!started) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(stopped);
    running.cancel();
    ASSERT_TRUE(loop.runUntil([&] { return stopped.has_value(); }));
    EXPECT_TRUE(*stopped) << "the work ran out its time instead of stopping";
}

TEST(Completion, TheFirstValueWinsAndWakesTheWaitingTask)
{
    ManualLoop loop;
    TaskScope scope;
    Completion<std::string> completion;
    std::optional<std::string> received;
    scope.spawn(storeInto(
        [](Completion<std::string> c) -> Task<std::string> { co_return co_await c.value(); }(completion), received));
    loop.advance(0s);
    EXPECT_FALSE(received);
    EXPECT_TRUE(completion.complete("callback"));
    EXPECT_FALSE(completion.complete("timeout"));
    ASSERT_TRUE(loop.runUntil([&] { return received.has_value(); }));
    EXPECT_EQ(*received, "callback");
}

TEST(Completion, AValueForADestroyedTaskIsDropped)
{
    ManualLoop loop;
    Completion<int> completion;
    bool resumed = false;
    {
        TaskScope scope;
        scope.spawn([](Completion<int> c, bool& flag) -> Task<void> {
            co_await c.value();
            flag = true;
        }(completion, resumed));
        loop.advance(0s);
        completion.complete(1); // resumption is posted, then the task goes away
    }
    loop.advance(1s);
    EXPECT_FALSE(resumed);
}

TEST(ManualLoop, ReportsAStallInsteadOfHanging)
{
    ManualLoop loop;
    EXPECT_FALSE(loop.runUntil([] { return false; }));
    bool ran = false;
    loop.postAfter(5s, [&] { ran = true; });
    loop.advance(4s);
    EXPECT_FALSE(ran);
    loop.advance(1s);
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.elapsed(), 5s);

    // A wait that renews itself (a look for room every few seconds) is a stall too, within an hour
    // of virtual time.
    std::function<void()> look = [&] { loop.postAfter(3s, look); };
    look();
    EXPECT_FALSE(loop.runUntil([] { return false; }));
    EXPECT_LE(loop.elapsed(), 5s + ManualLoop::virtualTimeGuard);
}

} // namespace
} // namespace oxel
