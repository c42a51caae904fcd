#include "JobRunnerFixture.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

using JobTimeLimits = JobRunnerTest;
using namespace std::chrono_literals;

// The loop's clocks with the wall clock set off by `skew`: a system clock set wrong, or one that
// jumped over a suspend while the monotonic clock stood still. A `gap` moves both on: a paused
// virtual machine or a stopped process, whose timers come due once it runs again.
class SkewedClock final : public TimeSource {
public:
    explicit SkewedClock(const ManualLoop& loop) : loop_(loop) {}
    WallTime now() const override { return loop_.now() + skew + gap; }
    SteadyTime steady() const override { return loop_.steady() + gap; }
    std::chrono::seconds skew{0};
    std::chrono::seconds gap{0};

private:
    const ManualLoop& loop_;
};

TEST_F(JobTimeLimits, AfterAGapInTheClockJobsAskOnForAMinuteBeforeTheyAreLost)
{
    SkewedClock clock(loop);
    makeRunner(clock);
    for (std::optional<std::chrono::seconds> outage : {std::optional(20s), std::optional<std::chrono::seconds>()}) {
        SCOPED_TRACE(outage ? "a short outage" : "the backend gone");
        auto items = makeItems(4);
        int submitted = 0;
        std::chrono::nanoseconds gapAt{};
        // A second after the last submission, while every job waits for its next poll, the
        // machine stops for 400 s and runs again where the backend cannot be reached.
        runner->onSubmitted = [&](const auto&) {
            if (++submitted < 4) return;
            loop.postAfter(1s, [&] {
                clock.gap += 400s;
                gapAt = loop.elapsed();
                backend.setFaults(local::LocalFaults{.pathPrefix = "/jobs/", .status = 503});
                if (outage) loop.postAfter(*outage, [&] { backend.clearFaults(); });
            });
        };
        start(items);
        ASSERT_TRUE(runUntilSettled(items));
        for (const auto& item : items) {
            if (outage) {
                EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
            } else {
                EXPECT_EQ(failed(item).code, "stale");
            }
        }
        if (!outage) {
            EXPECT_GE(loop.elapsed() - gapAt, JobRunner::gapGrace);
            EXPECT_LT(loop.elapsed() - gapAt, JobRunner::gapGrace + 10s);
        }
        backend.clearFaults();
    }
}

TEST_F(JobTimeLimits, AWallClockThatJumpsBetweenPollsFailsNoJob)
{
    SkewedClock clock(loop);
    makeRunner(clock);
    auto item = makeItem();
    // The laptop sleeps seven minutes while the job waits for its next poll.
    runner->onSubmitted = [&](const auto&) { loop.postAfter(1s, [&] { clock.skew += 7min; }); };
    start({item});
    ASSERT_TRUE(runUntilSettled({item}));
    EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
    EXPECT_EQ(clock.skew, 7min);
}

TEST_F(JobTimeLimits, ASystemClockSevenMinutesOffFailsNoHealthyJobAndStillFindsALostOne)
{
    SkewedClock clock(loop);
    makeRunner(clock);
    for (auto skew : {7min, -7min}) {
        SCOPED_TRACE(skew.count());
        clock.skew = skew;
        auto healthy = makeItem();
        start({healthy});
        ASSERT_TRUE(runUntilSettled({healthy}));
        EXPECT_TRUE(healthy->phase().is<phase::Done>()) << itemPhaseName(healthy->phase());

        backend.setFaults(local::LocalFaults{.staleJobs = true});
        auto lost = makeItem();
        const auto started = loop.elapsed();
        start({lost});
        ASSERT_TRUE(runUntilSettled({lost}));
        EXPECT_EQ(failed(lost), (phase::Failed{"stale_job", "the queue lost this one · shot not spent", true, false}));
        EXPECT_GT(loop.elapsed() - started, JobRunner::staleAfter);
        EXPECT_LT(loop.elapsed() - started, JobRunner::staleAfter + 10s);
        backend.clearFaults();
    }
}

TEST_F(JobTimeLimits, StatusRequestsThatKeepFailingAreRepeatedEveryFiveSecondsForSixMinutes)
{
    auto item = makeItem();
    std::optional<std::chrono::nanoseconds> submittedAt;
    runner->onSubmitted = [&](const auto& submitted) {
        submittedAt = loop.elapsed();
        local::LocalFaults faults;
        faults.status = 500;
        faults.pathPrefix = "/jobs/" + *submitted->jobId();
        backend.setFaults(faults);
    };
    start({item});
    ASSERT_TRUE(runUntilSettled({item}));

    EXPECT_EQ(failed(item), (phase::Failed{"stale", "the server stopped answering · shot not spent", true, false}));
    ASSERT_TRUE(submittedAt);
    const auto waited = loop.elapsed() - *submittedAt;
    EXPECT_GT(waited, JobRunner::staleAfter);
    EXPECT_LE(waited, JobRunner::staleAfter + 10s);
    const size_t requests = requestsTo("/jobs/" + *item->jobId()).size();
    EXPECT_GE(requests, 70u) << "one every 5 s";
    EXPECT_LE(requests, 74u);
    EXPECT_TRUE(item->phase().is<phase::Failed>());
}

TEST_F(JobTimeLimits, AJobWhoseLastUpdateIsOverSixMinutesOldIsLost)
{
    local::LocalFaults faults;
    faults.staleJobs = true;
    backend.setFaults(faults);
    auto item = makeItem();
    start({item});
    ASSERT_TRUE(runUntilSettled({item}));
    EXPECT_EQ(failed(item), (phase::Failed{"stale_job", "the queue lost this one · shot not spent", true, false}));
    EXPECT_GT(loop.elapsed(), JobRunner::staleAfter);
    EXPECT_LT(loop.elapsed(), JobRunner::staleAfter + 10s);
}

TEST_F(JobTimeLimits, AnUpdateTimeWithMillisecondsIsNotReadSoTheAgeTestIsSkipped)
{
    local::LocalFaults faults;
    faults.staleJobs = true;
    faults.fractionalDates = true;
    backend.setFaults(faults);
    auto item = makeItem();
    start({item});
    ASSERT_TRUE(runUntil([&] { return loop.elapsed() > 20min; }));
    EXPECT_TRUE(item->phase().is<phase::Processing>()) << itemPhaseName(item->phase());
    EXPECT_TRUE(settled.empty());
    runner->cancelAll();
    ASSERT_TRUE(runUntilSettled({item}));
}

} // namespace
} // namespace oxel::testing
