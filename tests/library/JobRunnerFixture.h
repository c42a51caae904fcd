#pragma once

#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "library/JobRunner.h"
#include "localbackend/LocalBackend.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace oxel::testing {

// A job runner on a virtual clock against a local backend of its own whose jobs age on the same
// clock, so polls, back-offs and the 360 s limits pass in milliseconds. Jobs walk through their
// statuses as they do for a real client (no instant results). Originals are real JPEG files of
// 600 x 400 pixels, small enough for the develop steps to be quick.
class JobRunnerTest : public ::testing::Test {
public:
    JobRunnerTest();
    ~JobRunnerTest() override;

    // A loaded original of `width` x `height` in a batch item, ready to develop.
    std::shared_ptr<BatchItem> makeItem(int width = 600, int height = 400);
    std::vector<std::shared_ptr<BatchItem>> makeItems(int count);

    // A new runner on `clock` (the loop's own, or one that tells a different wall time).
    void makeRunner(const TimeSource& clock);
    void start(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& nudge = "");
    // Runs the loop until every given item has settled (or the loop stalls).
    bool runUntilSettled(const std::vector<std::shared_ptr<BatchItem>>& items);
    bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done); }

    // The requests the backend received whose path starts with `path`, for `method` when given.
    std::vector<local::ReceivedRequest> requestsTo(const std::string& path, const std::string& method = "") const;
    // The job submissions the backend received, first first.
    std::vector<local::ReceivedRequest> submissions() const;
    // Submits a job as another run of the program would have, for resuming.
    std::string submitDirectly(int width = 600, int height = 400);
    int64_t balance();
    // Funnel events the backend received with this name, waiting up to a second of real time
    // for them to arrive (they are sent in the background).
    std::vector<nlohmann::json> funnelEvents(const std::string& name, size_t atLeast = 1);

    static phase::Failed failed(const std::shared_ptr<BatchItem>& item);

    ManualLoop loop;
    TemporaryFolder folder;
    local::LocalBackend backend;
    local::Account account;
    WorkPool pool{4};
    std::unique_ptr<JobRunner> runner;
    std::vector<std::shared_ptr<BatchItem>> settled;
    int updateRequiredCalls = 0;

private:
    int pictures_ = 0;
};

std::string itemPhaseName(const ItemPhase& phase);

} // namespace oxel::testing
