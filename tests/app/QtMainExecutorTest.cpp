#include "app/QtMainExecutor.h"
#include "support/ui/SpinUntil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace oxel {
namespace {

using testing::spinUntil;

TEST(QtMainExecutor, RunsPostedJobsInOrderOnTheMainThread)
{
    QtMainExecutor executor;
    std::vector<int> order;
    std::atomic<bool> offMainThreadSaysSo{false};
    std::thread worker([&] {
        offMainThreadSaysSo = !executor.onMainThread();
        for (int i = 0; i < 100; ++i) {
            executor.post([&order, &executor, i] {
                EXPECT_TRUE(executor.onMainThread());
                order.push_back(i);
            });
        }
    });
    worker.join();
    EXPECT_TRUE(offMainThreadSaysSo);
    EXPECT_TRUE(executor.onMainThread());
    ASSERT_TRUE(spinUntil([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[size_t(i)], i);
}

TEST(QtMainExecutor, TimersFireOnceAfterTheirDelayAndCanBeCancelled)
{
    QtMainExecutor executor;
    QElapsedTimer clock;
    clock.start();
    std::vector<std::string> fired;
    qint64 firedAfter = -1;
    executor.postAfter(std::chrono::milliseconds(60), [&] {
        fired.push_back("late");
        firedAfter = clock.elapsed();
    });
    TimerId cancelled = executor.postAfter(std::chrono::milliseconds(20), [&] { fired.push_back("cancelled"); });
    executor.postAfter(std::chrono::milliseconds(10), [&] { fired.push_back("early"); });
    executor.cancelTimer(cancelled);
    executor.cancelTimer(cancelled);
    ASSERT_TRUE(spinUntil([&] { return fired.size() == 2; }));
    spinUntil([] { return false; }, 100); // nothing else fires
    EXPECT_EQ(fired, (std::vector<std::string>{"early", "late"}));
    EXPECT_GE(firedAfter, 60);
}

TEST(QtMainExecutor, ATimerCancelledFromAnotherTimersJobNeverRuns)
{
    QtMainExecutor executor;
    bool ran = false;
    bool done = false;
    TimerId victim = executor.postAfter(std::chrono::milliseconds(30), [&] { ran = true; });
    executor.postAfter(std::chrono::milliseconds(0), [&] {
        executor.cancelTimer(victim);
        executor.postAfter(std::chrono::milliseconds(60), [&] { done = true; });
    });
    ASSERT_TRUE(spinUntil([&] { return done; }));
    EXPECT_FALSE(ran);
}

TEST(QtMainExecutor, GoingAwayWaitsForWorkElsewhereThatPostsBack)
{
    auto executor = std::make_unique<QtMainExecutor>();
    QtMainExecutor* target = executor.get();
    std::atomic<bool> posted{false};
    std::thread worker([target, &posted, pending = PendingWork(*executor)] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        target->post([] {});
        posted = true;
    });
    executor.reset();
    EXPECT_TRUE(posted) << "the executor went before the work that posts back to it ended";
    worker.join();
}

} // namespace
} // namespace oxel
