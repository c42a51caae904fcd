#include "JobRunnerFixture.h"

#include "backend/AnalysisResponse.h"
#include "backend/HttpSession.h"
#include "backend/JobEndpoints.h"
#include "develop/SourceDecoding.h"
#include "library/OutcomeBuild.h"
#include "platform/JsonFields.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace oxel::testing {
namespace {

using JobDelivery = JobRunnerTest;

// A job submitted as another run of the program would have, which the backend ends "failed" with
// this code, as it ends every new job until told otherwise.
std::string failingJob(JobRunnerTest& test, const std::string& code)
{
    local::LocalFaults faults;
    faults.failJobs = code;
    test.backend.setFaults(faults);
    return test.submitDirectly();
}

// Every phase an item went through, as its observers saw it.
struct PhaseLog {
    std::vector<std::string> phases;
    Connection connection;

    explicit PhaseLog(const std::shared_ptr<BatchItem>& item)
    {
        connection = item->changed.connect([this, item = item.get()](BatchItem::Field field) {
            if (field == BatchItem::Field::phase) phases.push_back(itemPhaseName(item->phase()));
        });
    }
};

TEST_F(JobDelivery, CarriesAPhotographFromUploadToItsDevelopedResult)
{
    auto item = makeItem();
    PhaseLog log(item);
    std::vector<std::string> calls;
    runner->onSubmitted = [&](const auto& submitted) {
        calls.push_back("submitted");
        EXPECT_TRUE(submitted->jobId()) << "the job id is set before the owner is told";
    };
    runner->onDelivered = [&](const auto& delivered) {
        calls.push_back("delivered");
        EXPECT_TRUE(delivered->phase().template is<phase::Done>());
        EXPECT_TRUE(delivered->keep) << "the bytes to keep arrive with the result";
    };
    runner->onSettled = [&](const auto& done) {
        calls.push_back("settled");
        settled.push_back(done);
    };
    const int64_t shots = balance();

    start({item});
    ASSERT_TRUE(runUntilSettled({item}));
    ASSERT_TRUE(runUntil([&] { return !requestsTo("/jobs/" + *item->jobId() + "/confirm-delivery").empty(); }));

    EXPECT_EQ(log.phases, (std::vector<std::string>{"queued", "uploading", "processing getting ready",
                                                    "processing reading the light", "processing developing",
                                                    "processing succeeded", "finishing", "done"}));
    EXPECT_EQ(calls, (std::vector<std::string>{"submitted", "delivered", "settled"}));
    EXPECT_TRUE(item->startedAt());
    ASSERT_TRUE(item->result());
    const JobOutcome& outcome = *item->result();
    EXPECT_EQ(outcome.jobId, *item->jobId());
    EXPECT_TRUE(outcome.previewPlan) << outcome.planDecline.value_or("");
    EXPECT_TRUE(outcome.looks) << "the local backend's analysis carries a grade";
    EXPECT_FALSE(outcome.lookThumbs.empty());
    ASSERT_TRUE(outcome.analysis);
    EXPECT_EQ(outcome.grainLevel, int(std::clamp<int64_t>(outcome.analysis->grain.full_send, 1, 3)));
    EXPECT_FALSE(outcome.grainBaked);
    ASSERT_TRUE(item->previewImage());
    EXPECT_EQ(item->previewImage()->width(), 600);
    ASSERT_TRUE(item->originalPreview());
    EXPECT_EQ(item->originalPreview()->width(), std::llround(outcome.previewPlan.made()->target.width));

    ASSERT_TRUE(item->keep);
    EXPECT_EQ(item->keep->renderExtension, "png");
    auto render = readPictureFile(item->keep->render);
    ASSERT_TRUE(render);
    EXPECT_EQ(render->type, FileType::png);
    auto analysis = parseJson(std::string(item->keep->analysis.begin(), item->keep->analysis.end()));
    ASSERT_TRUE(analysis && analysis->is_object());
    EXPECT_TRUE(analysis->contains("grade"));
    EXPECT_EQ(analysis->dump(), std::string(item->keep->analysis.begin(), item->keep->analysis.end()))
        << "compact, keys sorted";

    EXPECT_EQ(requestsTo("/jobs/" + *item->jobId() + "/confirm-delivery").size(), 1u);
    EXPECT_EQ(balance(), shots - 1) << "the confirmation spends the shot";
    auto events = funnelEvents("detail_transfer");
    ASSERT_EQ(events.size(), 1u);
    const auto& metadata = events[0]["metadata"];
    for (const char* key : {"structure", "correlation", "divergence", "limit", "declined", "megapixels", "profile"})
        EXPECT_TRUE(metadata.contains(key)) << key;
    EXPECT_EQ(metadata["megapixels"], 0.2);
    EXPECT_EQ(metadata["limit"], 0.25);
}

// The end of the program stops the confirmations on their way, whatever the backend does, and keeps
// them for the next run, which sends each once.
TEST_F(JobDelivery, ConfirmationsStillGoingAtTheEndAreKeptAndSentOnceByTheNextRun)
{
    const std::vector<std::string> jobs{submitDirectly(), submitDirectly(), submitDirectly()};
    loop.advance(std::chrono::minutes(1));
    backend.setFaults(local::LocalFaults{.pathPrefix = "/jobs/", .delay = std::chrono::hours(1)});
    const std::string userId = std::to_string(account.userId);
    runner->accountArrived(userId);
    for (const auto& jobId : jobs) runner->confirmDelivery(jobId, userId);
    const auto kept = runner->waitingConfirmations();
    runner.reset();
    backend.clearFaults();
    makeRunner(loop);
    for (const auto& waiting : kept) runner->confirmDelivery(waiting.jobId, waiting.account);
    runner->accountArrived(userId);
    EXPECT_TRUE(runUntil([&] { return runner->waitingConfirmations().empty(); }));
    for (const auto& jobId : jobs) EXPECT_EQ(requestsTo("/jobs/" + jobId + "/confirm-delivery").size(), 1u);
}

// Confirmations go one at a time on a thread of their own, leaving the pool that makes pictures free.
TEST_F(JobDelivery, ConfirmationsTheBackendHoldsLeaveThePoolThatMakesPicturesFree)
{
    HttpSession::setTimeScale(1.0);
    backend.setFaults(local::LocalFaults{.pathPrefix = "/jobs/", .delay = std::chrono::hours(1)});
    runner->accountArrived(std::to_string(account.userId));
    for (int i = 0; i < 8; ++i) runner->confirmDelivery("job-" + std::to_string(i), std::to_string(account.userId));
    loop.advance(std::chrono::nanoseconds(0));
    // Long enough for every thread that would take a confirmation to have taken one.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto made = std::make_shared<std::atomic<bool>>(false);
    pool.submit(WorkPriority::userInitiated, [made] { *made = true; });
    // Made at once, long before any confirmation held open could have ended.
    for (int wait = 0; wait < 200 && !*made; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(*made);
}

TEST_F(JobDelivery, AResumedJobIsPolledUnderItsStoredIdWithoutAnUpload)
{
    const std::string jobId = submitDirectly();
    auto item = makeItem();
    PhaseLog log(item);
    runner->resume(item, jobId, std::to_string(account.userId), 0.6, "warm");
    ASSERT_TRUE(runUntilSettled({item}));

    EXPECT_TRUE(submissions().empty()) << "not uploaded again";
    EXPECT_EQ(item->jobId(), jobId);
    EXPECT_EQ(log.phases.at(1), "processing picking up where it left off");
    EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
    EXPECT_TRUE(item->result());
}

TEST_F(JobDelivery, AResumedJobThatFailsIsSentAgainWithItsNudgeAndTheFailedJob)
{
    const std::string jobId = failingJob(*this, "generation_timeout");
    auto item = makeItem();
    std::vector<std::string> submittedIds;
    runner->onSubmitted = [&](const auto& submitted) { submittedIds.push_back(*submitted->jobId()); };

    runner->resume(item, jobId, std::to_string(account.userId), 1.0, "  warm window light ");
    ASSERT_TRUE(runUntilSettled({item}));

    auto sent = submissions();
    ASSERT_EQ(sent.size(), 1u) << "sent once more, and only once";
    EXPECT_NE(sent[0].body.find(R"("retryOfJobId":")" + jobId + "\""), std::string::npos);
    EXPECT_NE(sent[0].body.find(R"("nudge":"warm window light")"), std::string::npos);
    ASSERT_EQ(submittedIds.size(), 1u);
    EXPECT_EQ(item->jobId(), submittedIds[0]);
    EXPECT_EQ(backend.state().job(submittedIds[0])->retryOf, jobId);
    EXPECT_EQ(failed(item),
              (phase::Failed{"generation_timeout", "didn't come through in time · shot not spent", true, false}));
}

TEST_F(JobDelivery, AResumedJobThatFailsIsStoredFailedAndNotCollectedAgain)
{
    const std::string jobId = failingJob(*this, "content_policy");
    auto item = makeItem();
    item->original.emplace();
    item->original->path = item->url();
    auto stored = *item->record();
    stored.state = ImageRecord::State::developing;
    stored.jobId = jobId;
    item->apply(stored);

    runner->resume(item, jobId, std::to_string(account.userId), 1.0, "");
    ASSERT_TRUE(runUntilSettled({item}));
    ASSERT_TRUE(item->phase().is<phase::Failed>()) << itemPhaseName(item->phase());
    EXPECT_EQ(item->record()->state, ImageRecord::State::failed);
    EXPECT_TRUE(submissions().empty());
}

TEST_F(JobDelivery, AResumedItemWithoutItsOriginalFailsAtOnceWithoutPolling)
{
    const std::string jobId = submitDirectly();
    auto item = makeItem();
    item->setSource(std::nullopt);
    runner->resume(item, jobId, std::to_string(account.userId), 1.0, "");
    ASSERT_TRUE(runUntilSettled({item}));
    EXPECT_EQ(failed(item), (phase::Failed{"offline", "the original is not here", false, false}));
    EXPECT_TRUE(requestsTo("/jobs/").empty());
    EXPECT_EQ(loop.elapsed(), std::chrono::nanoseconds(0));
}

TEST_F(JobDelivery, AFinishedJobWithAnOldUpdateTimeIsStillCollected)
{
    const std::string jobId = submitDirectly();
    loop.advance(std::chrono::minutes(30));
    auto item = makeItem();
    runner->resume(item, jobId, std::to_string(account.userId), 1.0, "");
    ASSERT_TRUE(runUntilSettled({item}));
    EXPECT_TRUE(item->phase().is<phase::Done>()) << itemPhaseName(item->phase());
}

TEST_F(JobDelivery, TheBackendsOwnFinishingKeepsTheReceivedBytesAndBakesTheGrain)
{
    // A result the backend finished itself is kept as received (a JPEG here) and carries its grain.
    auto item = makeItem();
    const std::string jobId = submitDirectly();
    loop.advance(std::chrono::seconds(30));
    auto answer = jobResult(jobId);
    ASSERT_TRUE(answer);
    auto body = parseJson(answer->body);
    (*body)["post_processed"] = true;
    local::LocalFaults faults;
    faults.pathPrefix = "/jobs/" + jobId + "/result";
    faults.answer = body->dump();
    backend.setFaults(faults);

    runner->resume(item, jobId, std::to_string(account.userId), 1.0, "");
    ASSERT_TRUE(runUntilSettled({item}));
    ASSERT_TRUE(item->result());
    EXPECT_TRUE(item->result()->grainBaked);
    EXPECT_EQ(item->grainBaked, true);
    ASSERT_TRUE(item->keep);
    EXPECT_EQ(item->keep->renderExtension, "jpg");
    auto fullSend = body->at("fullSendImage").get<std::string>();
    EXPECT_EQ(keptRenderExtension(item->keep->render), "jpg");
    EXPECT_EQ(item->keep->render.size(), fullSend.size() / 4 * 3 - std::count(fullSend.end() - 2, fullSend.end(), '='));
}

} // namespace
} // namespace oxel::testing
