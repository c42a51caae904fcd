#include "JobRunnerFixture.h"

#include "library/JobFailure.h"

#include <gtest/gtest.h>

namespace oxel::testing {
namespace {

// One row of the failure table: what the backend does, and how the item ends. Faults on a job's
// own paths are switched on once the job exists.
struct FailureRow {
    std::string name;
    std::function<local::LocalFaults(const std::string& jobPath)> faults;
    phase::Failed ending;
    size_t submissions = 1;
    bool updateRequired = false;
};

void PrintTo(const FailureRow& row, std::ostream* out)
{
    *out << row.name;
}

local::LocalFaults refusing(const std::string& why)
{
    local::LocalFaults faults;
    faults.refusal = why;
    return faults;
}

local::LocalFaults status(int code, const std::string& onPath)
{
    local::LocalFaults faults;
    faults.status = code;
    faults.pathPrefix = onPath;
    return faults;
}

local::LocalFaults answer(const std::string& body, const std::string& onPath)
{
    local::LocalFaults faults;
    faults.answer = body;
    faults.pathPrefix = onPath;
    return faults;
}

const std::string submitting = "/jobs";
std::string resultOf(const std::string& jobPath)
{
    return jobPath + "/result";
}

std::vector<FailureRow> failureRows()
{
    const std::string networkSubmit = "could not reach oxel · shot not spent";
    const std::string otherSubmit = "something went wrong · shot not spent";
    const std::string fetch = "could not collect the result · shot not spent";
    return {
        {"NoShots",
         [](auto&) { return refusing("insufficient_credits"); },
         {"insufficient_credits", "no shots left in the roll", true, false}},
        {"TooLongAndThin",
         [](auto&) { return refusing("aspect_unsupported"); },
         {"aspect_unsupported", "too long and thin for oxel to light · no shot used", false, false}},
        {"OutdatedAtSubmission",
         [](auto&) { return status(426, submitting); },
         {"update_required", "oxel pro needs updating", false, false},
         1,
         true},
        {"ServerErrorAtSubmission",
         [](auto&) { return status(500, submitting); },
         {"submit_hardServerFailure", otherSubmit, true, false}},
        {"GatewayErrorAtSubmission",
         [](auto&) { return status(503, submitting); },
         {"submit_backendUnreachable", networkSubmit, true, false}},
        {"RefusedRequestAtSubmission",
         [](auto&) { return status(400, submitting); },
         {"submit_invalidRequest", otherSubmit, true, false}},
        // The server is still holding the submission back when the client gives up on it.
        {"TimeoutAtSubmission",
         [](auto&) {
             local::LocalFaults faults;
             faults.delay = std::chrono::milliseconds(2500);
             faults.pathPrefix = submitting;
             return faults;
         },
         {"submit_timeout", networkSubmit, true, false},
         0},
        {"MalformedSubmissionAnswer",
         [](auto&) {
             local::LocalFaults faults;
             faults.body = local::LocalFaults::Body::malformed;
             faults.pathPrefix = submitting;
             return faults;
         },
         {"submit_unknown", otherSubmit, true, false}},
        {"ServerErrorAtResult",
         [](auto& job) { return status(500, resultOf(job)); },
         {"fetch_hardServerFailure", fetch, true, false}},
        {"GatewayErrorAtResult",
         [](auto& job) { return status(502, resultOf(job)); },
         {"fetch_backendUnreachable", fetch, true, false}},
        {"TimeoutAtResult",
         [](auto& job) {
             local::LocalFaults faults;
             faults.delay = std::chrono::milliseconds(2500);
             faults.pathPrefix = resultOf(job);
             return faults;
         },
         {"fetch_timeout", fetch, true, false}},
        {"TruncatedResult",
         [](auto& job) {
             local::LocalFaults faults;
             faults.body = local::LocalFaults::Body::truncated;
             faults.pathPrefix = resultOf(job);
             return faults;
         },
         {"fetch_unknown", fetch, true, false}},
        {"ResultWithoutPicture",
         [](auto& job) { return answer(R"({"analysis":{}})", resultOf(job)); },
         {"no_image", "the server sent no picture · shot not spent", true, false}},
        {"ResultPictureNotBase64",
         [](auto& job) { return answer(R"({"fullSendImage":"A","analysis":{}})", resultOf(job)); },
         {"no_image", "the server sent no picture · shot not spent", true, false}},
        {"ResultPictureEmpty",
         [](auto& job) { return answer(R"({"fullSendImage":"","analysis":{}})", resultOf(job)); },
         {"decode", "could not read the result · shot not spent", true, false}},
        {"ResultPictureUnreadable",
         [](auto& job) { return answer(R"({"refinedImage":"bm90IGEgcGljdHVyZQ==","analysis":{}})", resultOf(job)); },
         {"decode", "could not read the result · shot not spent", true, false}},
        {"BlockedByPolicy",
         [](auto&) {
             local::LocalFaults faults;
             faults.endJobs = "blocked_policy";
             return faults;
         },
         {"content_policy", "outside oxel's image rules · shot not spent", false, false}},
        {"Expired",
         [](auto&) {
             local::LocalFaults faults;
             faults.endJobs = "expired";
             return faults;
         },
         {"expired", "this one expired before it was collected", true, false}},
        {"FailedForContentIsNeverSentAgain",
         [](auto&) {
             local::LocalFaults faults;
             faults.failJobs = "content_policy";
             return faults;
         },
         {"content_policy", "outside oxel's image rules · shot not spent", false, false}},
        {"FailedOtherwiseIsSentAgainOnce",
         [](auto&) {
             local::LocalFaults faults;
             faults.failJobs = "model_unavailable";
             return faults;
         },
         {"model_unavailable", "the model gave up · shot not spent", true, false},
         2},
    };
}

class JobFailureTable : public JobRunnerTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(JobFailureTable, EndsTheItemWithTheTablesCodeTextAndRetryFlag)
{
    const FailureRow& row = GetParam();
    auto item = makeItem();
    const int64_t shots = balance();
    backend.setFaults(row.faults(""));
    runner->onSubmitted = [&](const auto& submitted) {
        auto onTheJob = row.faults("/jobs/" + *submitted->jobId());
        if (onTheJob.pathPrefix != row.faults("").pathPrefix) backend.setFaults(onTheJob);
    };

    start({item});
    ASSERT_TRUE(runUntilSettled({item}));

    EXPECT_EQ(failed(item), row.ending);
    EXPECT_EQ(submissions().size(), row.submissions);
    EXPECT_EQ(updateRequiredCalls, row.updateRequired ? 1 : 0);
    EXPECT_EQ(item->result(), nullptr);
    EXPECT_EQ(balance(), shots) << "no shot spent";
    const bool network = row.ending.code->starts_with("submit_") || row.ending.code->starts_with("fetch_");
    EXPECT_EQ(item->lastError().has_value(), network);
}

INSTANTIATE_TEST_SUITE_P(Backend, JobFailureTable, ::testing::ValuesIn(failureRows()),
                         [](const auto& info) { return info.param.name; });

using JobFailures = JobRunnerTest;

TEST_F(JobFailures, AnOutdatedClientIsToldWhileWaitingAndThePhaseStays)
{
    for (const std::string path : {"status", "result"}) {
        auto item = makeItem();
        settled.clear();
        updateRequiredCalls = 0;
        runner->onSubmitted = [&](const auto& submitted) {
            local::LocalFaults faults;
            faults.status = 426;
            faults.pathPrefix = "/jobs/" + *submitted->jobId() + (path == "result" ? "/result" : "");
            backend.setFaults(faults);
        };
        start({item});
        ASSERT_TRUE(runUntilSettled({item}));
        EXPECT_EQ(updateRequiredCalls, 1) << path;
        if (path == "result")
            EXPECT_TRUE(item->phase().is<phase::Finishing>()) << itemPhaseName(item->phase());
        else
            EXPECT_TRUE(item->phase().is<phase::Processing>()) << itemPhaseName(item->phase());
        backend.clearFaults();
    }
}

TEST_F(JobFailures, NoShotsFailsEveryQueuedItemAndStartsNothingMore)
{
    auto items = makeItems(6);
    backend.setFaults(refusing("insufficient_credits"));
    start(items);
    ASSERT_TRUE(runUntilSettled({items[0], items[1], items[2], items[3]}));
    EXPECT_TRUE(runner->outOfShots());
    EXPECT_EQ(runner->queuedCount(), 0);
    for (const auto& item : items)
        EXPECT_EQ(failed(item).message, "no shots left in the roll") << itemPhaseName(item->phase());
    EXPECT_LE(submissions().size(), 4u);

    backend.clearFaults();
    runner->enqueue(items[5], "", std::to_string(account.userId), 1.0);
    EXPECT_FALSE(runner->outOfShots());
    ASSERT_TRUE(runUntil([&] { return items[5]->phase().is<phase::Done>(); }));
}

TEST_F(JobFailures, ASecondFailureAfterTheResubmissionFailsTheItem)
{
    local::LocalFaults faults;
    faults.failJobs = "generation_timeout";
    backend.setFaults(faults);
    auto item = makeItem();
    std::vector<std::string> statuses;
    auto watching = item->changed.connect([&](BatchItem::Field field) {
        if (field == BatchItem::Field::phase) statuses.push_back(itemPhaseName(item->phase()));
    });
    start({item}, "soft");
    ASSERT_TRUE(runUntilSettled({item}));
    auto sent = submissions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body.find("retryOfJobId"), std::string::npos);
    EXPECT_NE(sent[1].body.find("retryOfJobId"), std::string::npos);
    EXPECT_NE(sent[1].body.find(R"("nudge":"soft")"), std::string::npos);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "processing ran into a delay · trying again"),
              statuses.end());
    EXPECT_EQ(failed(item).code, "generation_timeout");
}

TEST_F(JobFailures, AJobTheServerNoLongerHasIsReadyAtOnceAndAnErrorAnswerIsNoOutage)
{
    bool saidUnreachable = false;
    auto watching = runner->changed.connect([&](JobRunner::Field) { saidUnreachable |= runner->unreachable(); });
    // A job of an earlier life of the server: every status request is answered 404 "no_such_job".
    auto gone = makeItem();
    runner->resume(gone, "job-1-0badf00d", std::to_string(account.userId), 1.0, "");
    ASSERT_TRUE(runUntilSettled({gone}));
    EXPECT_TRUE(gone->phase().is<phase::Ready>() && !gone->jobId()) << itemPhaseName(gone->phase());
    EXPECT_EQ(gone->note(), std::string(jobForgottenNote));
    EXPECT_LT(loop.elapsed(), std::chrono::seconds(10));
    // Status requests answered 500 for a minute reached the server all the same.
    auto item = makeItem();
    backend.setFaults(local::LocalFaults{.pathPrefix = "/jobs/job-", .status = 500});
    loop.postAfter(std::chrono::minutes(1), [&] { backend.clearFaults(); });
    start({item});
    ASSERT_TRUE(runUntil([&] { return item->phase().is<phase::Done>(); }));
    EXPECT_FALSE(saidUnreachable);
}

} // namespace
} // namespace oxel::testing
