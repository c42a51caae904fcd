#include "async/AsyncGate.h"
#include "async/CancelToken.h"
#include "async/Completion.h"
#include "async/Debounce.h"
#include "async/ManualLoop.h"
#include "async/NewestFirst.h"
#include "async/Signal.h"
#include "async/Sleep.h"
#include "async/TaskScope.h"
#include "async/WorkPool.h"

#include <future>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace oxel {
namespace {

using namespace std::chrono_literals;

Task<void> holdTurn(AsyncGate& gate, std::vector<std::string>& log, std::string name, std::chrono::seconds hold)
{
    auto turn = co_await gate.enter();
    log.push_back(name + " in");
    co_await sleepFor(hold);
    log.push_back(name + " out");
}

TEST(AsyncGate, AdmitsUpToItsLimitInArrivalOrder)
{
    ManualLoop loop;
    TaskScope scope;
    AsyncGate gate(2);
    std::vector<std::string> log;
    scope.spawn(holdTurn(gate, log, "a", 3s));
    scope.spawn(holdTurn(gate, log, "b", 1s));
    scope.spawn(holdTurn(gate, log, "c", 1s));
    scope.spawn(holdTurn(gate, log, "d", 1s));
    loop.advance(0s);
    EXPECT_EQ(gate.holders(), 2);
    EXPECT_EQ(gate.waiting(), 2u);
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 8; }));
    EXPECT_EQ(log, (std::vector<std::string>{"a in", "b in", "b out", "c in", "c out", "d in", "a out", "d out"}));
    EXPECT_EQ(gate.holders(), 0);
}

TEST(AsyncGate, AWaiterThatGoesAwayPassesItsTurnOn)
{
    ManualLoop loop;
    TaskScope scope;
    AsyncGate gate(1);
    std::vector<std::string> log;
    scope.spawn(holdTurn(gate, log, "a", 1s));
    {
        TaskScope leaving;
        leaving.spawn(holdTurn(gate, log, "gone", 1s));
        loop.advance(0s);
    }
    scope.spawn(holdTurn(gate, log, "c", 1s));
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 4; }));
    EXPECT_EQ(log, (std::vector<std::string>{"a in", "a out", "c in", "c out"}));
}

TEST(AsyncGate, ATurnGivenToATaskThatGoesAwayBeforeItRunsPassesOn)
{
    ManualLoop loop;
    TaskScope scope;
    AsyncGate gate(1);
    std::vector<std::string> log;
    Completion<bool> release;
    bool firstOut = false;
    scope.spawn([](AsyncGate& g, Completion<bool> done, bool& out) -> Task<void> {
        auto turn = co_await g.enter();
        co_await done.value();
        out = true;
    }(gate, release, firstOut));
    auto leaving = std::make_unique<TaskScope>();
    leaving->spawn(holdTurn(gate, log, "gone", 1s));
    loop.advance(0s);
    ASSERT_EQ(gate.waiting(), 1u);

    release.complete(true);
    // Stops right after the first holder left, while the turn it handed on is not yet taken.
    ASSERT_TRUE(loop.runUntil([&] { return firstOut; }));
    leaving.reset();
    scope.spawn(holdTurn(gate, log, "next", 1s));
    ASSERT_TRUE(loop.runUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"next in", "next out"}));
    EXPECT_EQ(gate.holders(), 0);
}

TEST(Debounce, RunsTheLastActionOnceAfterTheLastCall)
{
    ManualLoop loop;
    Debounce save(500ms);
    std::vector<int> saved;
    for (int i = 1; i <= 3; ++i) {
        save.schedule([&saved, i] { saved.push_back(i); });
        loop.advance(300ms);
    }
    EXPECT_TRUE(saved.empty());
    loop.advance(200ms);
    EXPECT_EQ(saved, std::vector<int>{3});
    EXPECT_FALSE(save.pending());

    save.schedule([&saved] { saved.push_back(4); });
    save.flush();
    save.schedule([&saved] { saved.push_back(5); });
    save.cancel();
    loop.advance(1s);
    EXPECT_EQ(saved, (std::vector<int>{3, 4}));
}

TEST(Signal, CallsConnectedObserversInOrderUntilTheyDisconnect)
{
    Signal<int> changed;
    std::vector<std::string> log;
    Connection second;
    Connection first = changed.connect([&](int v) {
        log.push_back("first " + std::to_string(v));
        second.disconnect(); // during an emission
    });
    second = changed.connect([&](int v) { log.push_back("second " + std::to_string(v)); });
    {
        Connection scoped = changed.connect([&](int v) { log.push_back("scoped " + std::to_string(v)); });
        changed.emit(1);
    }
    changed.emit(2);
    EXPECT_EQ(log, (std::vector<std::string>{"first 1", "scoped 1", "first 2"}));
}

TEST(CancelToken, RunsEachRegisteredCallbackOnceAndLateOnesAtOnce)
{
    CancelSource source;
    int kept = 0, dropped = 0, late = 0;
    auto keep = source.token().onCancel([&] { ++kept; });
    {
        auto drop = source.token().onCancel([&] { ++dropped; });
    }
    source.cancel();
    source.cancel();
    auto after = source.token().onCancel([&] { ++late; });
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(late, 1);
    EXPECT_TRUE(source.token().cancelled());
    EXPECT_FALSE(CancelToken().cancelled());
}

TEST(WorkPool, StartsWaitingUserInitiatedJobsBeforeUtilityJobs)
{
    std::vector<std::string> order;
    std::promise<void> release;
    {
        WorkPool pool(1);
        std::promise<void> started;
        pool.submit(WorkPriority::utility, [&, gate = release.get_future().share()] {
            started.set_value();
            gate.wait();
        });
        started.get_future().wait();
        pool.submit(WorkPriority::utility, [&] { order.push_back("utility"); });
        pool.submit(WorkPriority::userInitiated, [&] { order.push_back("user"); });
        release.set_value();
    } // the pool finishes its jobs before it goes away
    EXPECT_EQ(order, (std::vector<std::string>{"user", "utility"}));
}

TEST(NewestFirst, RunsTheNewestWaitingJobFirst)
{
    std::vector<std::string> order;
    std::promise<void> release;
    {
        WorkPool pool(1);
        NewestFirst jobs(pool, WorkPriority::userInitiated);
        std::promise<void> started;
        pool.submit(WorkPriority::userInitiated, [&, gate = release.get_future().share()] {
            started.set_value();
            gate.wait();
        });
        started.get_future().wait();
        for (const char* name : {"first", "second", "third"}) jobs.submit([&order, name] { order.push_back(name); });
        release.set_value();
    } // the pool finishes its jobs before it goes away
    EXPECT_EQ(order, (std::vector<std::string>{"third", "second", "first"}));
}

} // namespace
} // namespace oxel
