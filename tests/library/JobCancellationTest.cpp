#include "JobRunnerFixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace oxel::testing {
namespace {

using JobCancellation = JobRunnerTest;
using namespace std::chrono_literals;

// Where a job is suspended when everything is cancelled.
struct SuspensionPoint {
    std::string name;
    // True once the job waits there.
    std::function<bool(JobRunnerTest&, const BatchItem&)> reached;
    // The phases the item may end in; none: the phase it had when cancelled.
    std::vector<std::string> endings;
    // Cancels this long after the point was reached, in real time, while a request is on its way.
    std::chrono::milliseconds realDelay{0};
};

class CancellingAJob : public JobRunnerTest, public ::testing::WithParamInterface<SuspensionPoint> {};

TEST_P(CancellingAJob, LeavesNoResultConfirmsNothingAndSpendsNoShot)
{
    const auto& point = GetParam();
    auto item = makeItem();
    if (point.realDelay > 0ms) {
        local::LocalFaults slow;
        slow.delay = 20 * point.realDelay;
        slow.pathPrefix = "/jobs";
        backend.setFaults(slow);
    }
    const int64_t shots = balance();
    start({item});
    ASSERT_TRUE(runUntil([&] { return point.reached(*this, *item); }));
    const std::string phaseAtCancel = itemPhaseName(item->phase());

    std::thread canceller;
    if (point.realDelay > 0ms) {
        canceller = std::thread([this, delay = point.realDelay] {
            std::this_thread::sleep_for(delay);
            loop.post([this] { runner->cancelAll(); });
        });
    } else {
        runner->cancelAll();
    }
    const bool ended = runUntilSettled({item});
    if (canceller.joinable()) canceller.join();
    ASSERT_TRUE(ended);
    backend.clearFaults();
    loop.advance(1min);

    const auto endings = point.endings.empty() ? std::vector<std::string>{phaseAtCancel} : point.endings;
    EXPECT_NE(std::find(endings.begin(), endings.end(), itemPhaseName(item->phase())), endings.end())
        << itemPhaseName(item->phase());
    EXPECT_EQ(item->result(), nullptr);
    EXPECT_FALSE(item->keep);
    EXPECT_TRUE(requestsTo("/jobs/", "POST").empty()) << "no delivery confirmed";
    EXPECT_EQ(balance(), shots);
    EXPECT_EQ(runner->inFlightCount(), 0);
}

std::vector<SuspensionPoint> suspensionPoints()
{
    return {
        {"MakingTheUpload",
         [](auto&, const BatchItem& item) { return item.phase().is<phase::Uploading>(); },
         {"failed submit_userCancelled"}},
        {"Submitting",
         [](auto&, const BatchItem& item) { return item.phase().is<phase::Uploading>(); },
         {"failed submit_userCancelled"},
         150ms},
        {"WaitingForAStatus",
         [](auto&, const BatchItem& item) {
             auto* processing = std::get_if<phase::Processing>(&item.phase());
             return processing && processing->status == "getting ready";
         },
         {}},
        {"SleepingBetweenPolls",
         [](auto&, const BatchItem& item) {
             auto* processing = std::get_if<phase::Processing>(&item.phase());
             return processing && processing->status == "reading the light";
         },
         {}},
        // The result request was answered: the job is reading it or building the outcome.
        {"CollectingOrBuilding",
         [](auto& test, const BatchItem& item) {
             return item.phase().template is<phase::Finishing>() && !test.requestsTo("/jobs/", "GET").empty() &&
                    !test.requestsTo("/jobs/" + *item.jobId() + "/result").empty();
         },
         {"finishing", "failed fetch_userCancelled"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Everywhere, CancellingAJob, ::testing::ValuesIn(suspensionPoints()),
                         [](const auto& info) { return info.param.name; });

TEST_F(JobCancellation, AJobQueuedAgainWhileItsCancelledTaskEndsKeepsItsSlot)
{
    auto item = makeItem();
    auto other = makeItems(4);
    runner->maxInFlight = 1;
    start({item});
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Processing>(); }));

    runner->cancelAll();
    runner->enqueue(item, "", std::to_string(account.userId), 1.0);
    EXPECT_EQ(runner->inFlightCount(), 1);
    runner->enqueue(other[0], "", std::to_string(account.userId), 1.0);
    ASSERT_TRUE(runUntil([&] { return settled.size() == 1; }));
    EXPECT_EQ(runner->inFlightCount(), 1) << "the cancelled task's end leaves the new job's slot alone";
    EXPECT_EQ(runner->queuedCount(), 1) << "no second job squeezed past the limit";
    EXPECT_TRUE(runner->isRunning(item->id));

    ASSERT_TRUE(runUntil([&] { return other[0]->phase().is<phase::Done>(); }));
    EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
}

TEST_F(JobCancellation, TooManyInFlightRefusalsAreAtLeastFiveSecondsApart)
{
    local::LocalFaults faults;
    faults.refusal = "too_many_inflight";
    backend.setFaults(faults);
    auto item = makeItem();
    std::vector<std::chrono::nanoseconds> uploads;
    auto watching = item->changed.connect([&](BatchItem::Field field) {
        if (field == BatchItem::Field::phase && item->phase().is<phase::Uploading>()) uploads.push_back(loop.elapsed());
    });
    start({item});
    ASSERT_TRUE(runUntil([&] { return uploads.size() == 3 && settled.size() == 2; }));
    EXPECT_GE(uploads[1] - uploads[0], JobRunner::tooManyInFlightHold);
    EXPECT_GE(uploads[2] - uploads[1], JobRunner::tooManyInFlightHold);
    EXPECT_TRUE(item->phase().is<phase::Uploading>() || item->phase().is<phase::Queued>());

    backend.clearFaults();
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Done>(); }));
}

TEST_F(JobCancellation, AnotherJobSettlingEndsTheHoldAfterARefusal)
{
    auto busy = makeItem();
    auto refused = makeItem();
    start({busy});
    ASSERT_TRUE(runUntil([&] {
        auto* processing = std::get_if<phase::Processing>(&busy->phase());
        return processing && processing->status == "developing";
    }));
    local::LocalFaults faults;
    faults.refusal = "too_many_inflight";
    backend.setFaults(faults);
    start({refused});
    ASSERT_TRUE(runUntil([&] { return settled.size() == 1; }));
    ASSERT_EQ(settled[0], refused);
    EXPECT_TRUE(refused->phase().is<phase::Queued>());
    backend.clearFaults();
    const auto heldAt = loop.elapsed();
    ASSERT_TRUE(runUntil([&] { return refused->phase().is<phase::Uploading>(); }));
    EXPECT_TRUE(busy->phase().is<phase::Done>()) << itemPhaseName(busy->phase());
    EXPECT_LT(loop.elapsed() - heldAt, JobRunner::tooManyInFlightHold) << "the busy job's end freed the queue";
    ASSERT_TRUE(runUntilSettled({busy, refused}));
}

} // namespace
} // namespace oxel::testing
