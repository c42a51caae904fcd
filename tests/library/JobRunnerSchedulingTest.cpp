#include "JobRunnerFixture.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

using JobRunnerScheduling = JobRunnerTest;

// The order in which items began uploading.
struct UploadOrder {
    std::vector<Uuid> ids;
    std::vector<Connection> connections;

    void watch(const std::vector<std::shared_ptr<BatchItem>>& items)
    {
        for (const auto& item : items) {
            connections.push_back(item->changed.connect([this, item = item.get()](BatchItem::Field field) {
                if (field == BatchItem::Field::phase && item->phase().is<phase::Uploading>()) ids.push_back(item->id);
            }));
        }
    }
};

TEST_F(JobRunnerScheduling, RunsFourOfTenAtOnceAndStartsTheRestInOrder)
{
    auto items = makeItems(10);
    UploadOrder order;
    order.watch(items);
    int mostInFlight = 0;
    auto counting = runner->changed.connect([&](JobRunner::Field) {
        mostInFlight = std::max(mostInFlight, runner->inFlightCount());
        EXPECT_EQ(runner->inFlightCount() + runner->queuedCount() + int(settled.size()) <= 10, true);
    });

    start(items);
    EXPECT_EQ(runner->inFlightCount(), 4);
    EXPECT_EQ(runner->queuedCount(), 6);
    for (const auto& item : items) EXPECT_TRUE(item->phase().is<phase::Queued>());

    ASSERT_TRUE(runUntilSettled(items));
    EXPECT_EQ(mostInFlight, 4);
    EXPECT_EQ(runner->inFlightCount(), 0);
    EXPECT_EQ(runner->queuedCount(), 0);
    std::vector<Uuid> expected;
    for (const auto& item : items) expected.push_back(item->id);
    EXPECT_EQ(order.ids, expected);
    for (const auto& item : items) EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
}

TEST_F(JobRunnerScheduling, ALoweredLimitLetsRunningJobsFinishAndStartsNoneUntilBelowIt)
{
    auto items = makeItems(5);
    start(items);
    ASSERT_EQ(runner->inFlightCount(), 4);
    runner->maxInFlight = 2;

    ASSERT_TRUE(runUntil([&] { return settled.size() == 1; }));
    EXPECT_EQ(runner->inFlightCount(), 3) << "running jobs are not stopped";
    EXPECT_EQ(runner->queuedCount(), 1);
    ASSERT_TRUE(runUntil([&] { return settled.size() == 3; }));
    EXPECT_EQ(runner->inFlightCount(), 2) << "the fifth starts once fewer than two run";
    EXPECT_EQ(runner->queuedCount(), 0);
    ASSERT_TRUE(runUntilSettled(items));
}

TEST_F(JobRunnerScheduling, StartSkipsItemsInFlightAndQueuesFinishedOnesAgain)
{
    auto items = makeItems(6);
    items[0]->setPhase(phase::Processing{"developing", std::nullopt});
    items[1]->setPhase(phase::Uploading{});
    items[2]->setPhase(phase::Failed{"stale", "the server stopped answering · shot not spent", true, false});
    items[3]->setPhase(phase::Done{});
    items[4]->setPhase(phase::Queued{});
    items[2]->setNote("a note");
    runner->maxInFlight = 0;

    start(items);
    EXPECT_EQ(runner->queuedCount(), 3);
    EXPECT_FALSE(runner->isPending(items[0]->id));
    EXPECT_FALSE(runner->isPending(items[1]->id));
    EXPECT_FALSE(runner->isPending(items[4]->id)) << "already queued";
    EXPECT_TRUE(items[2]->phase().is<phase::Queued>());
    EXPECT_EQ(items[2]->note(), std::nullopt);
    EXPECT_TRUE(items[3]->phase().is<phase::Queued>());
    EXPECT_TRUE(items[5]->phase().is<phase::Queued>());
}

TEST_F(JobRunnerScheduling, StartTrimsTheNudgeAndEnqueueKeepsItAsGiven)
{
    auto first = makeItem();
    auto second = makeItem();
    auto blank = makeItem();
    auto wide = makeItem();
    first->setAddition("  ");
    runner->maxInFlight = 0;
    start({first}, "\n  warm light ");
    runner->enqueue(second, "  warm light ", std::to_string(account.userId), 0.5);
    blank->setAddition("   ");
    start({blank}, "");
    // No-break, ideographic and em spaces, as a Japanese input method or a paste leaves them.
    wide->setAddition("\u3000");
    start({wide}, "\u00A0warm light\u2003");
    EXPECT_EQ(runner->nudgeFor(first->id), "warm light");
    EXPECT_EQ(runner->nudgeFor(second->id), "  warm light ");
    EXPECT_EQ(runner->nudgeFor(blank->id), "");
    EXPECT_EQ(runner->nudgeFor(wide->id), "warm light");
    EXPECT_EQ(runner->strengthFor(second->id), 0.5);
    EXPECT_EQ(runner->strengthFor(first->id), 0.8);

    runner->maxInFlight = 4;
    runner->pump();
    ASSERT_TRUE(runUntilSettled({first, second, blank, wide}));
    auto nudgeSent = [&](const std::shared_ptr<BatchItem>& item) { return backend.state().job(*item->jobId())->nudge; };
    EXPECT_EQ(nudgeSent(first), "warm light");
    EXPECT_EQ(nudgeSent(second), "  warm light ");
    EXPECT_EQ(nudgeSent(blank), "");
    int withNudge = 0;
    for (const auto& sent : submissions()) withNudge += sent.body.find(R"("nudge")") != std::string::npos;
    EXPECT_EQ(withNudge, 3) << "a nudge of spaces is not sent";
}

TEST_F(JobRunnerScheduling, CancelAllReturnsQueuedItemsToReadyAndZeroesBothCounters)
{
    auto items = makeItems(6);
    start(items);
    ASSERT_TRUE(runUntil([&] { return items[0]->phase().is<phase::Processing>(); }));

    runner->cancelAll();
    EXPECT_EQ(runner->inFlightCount(), 0);
    EXPECT_EQ(runner->queuedCount(), 0);
    EXPECT_TRUE(items[4]->phase().is<phase::Ready>());
    EXPECT_TRUE(items[5]->phase().is<phase::Ready>());
    EXPECT_FALSE(items[0]->phase().is<phase::Ready>()) << "a running item's phase is left to its task";

    ASSERT_TRUE(runUntilSettled({items[0], items[1], items[2], items[3]}));
    for (const auto& item : items) EXPECT_EQ(item->result(), nullptr);
    EXPECT_TRUE(requestsTo("/jobs/", "POST").empty()) << "nothing confirmed";
    EXPECT_EQ(runner->inFlightCount(), 0);
}

TEST_F(JobRunnerScheduling, ARunnerThatGoesAwayNeverResumesItsTasks)
{
    auto items = makeItems(2);
    start(items);
    ASSERT_TRUE(runUntil([&] { return items[0]->phase().is<phase::Processing>(); }));
    runner.reset();
    loop.advance(std::chrono::seconds(30));
    EXPECT_TRUE(settled.empty());
    EXPECT_EQ(items[0]->result(), nullptr);
}

} // namespace
} // namespace oxel::testing
