#include "JobRunnerFixture.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

using JobTimeLimits = JobRunnerTest;
using namespace std::chrono_literals;

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
