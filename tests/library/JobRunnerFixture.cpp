#include "JobRunnerFixture.h"

#include "backend/BackendBaseURL.h"
#include "backend/HttpSession.h"
#include "backend/JobEndpoints.h"
#include "develop/SourceImage.h"
#include "platform/SettingsStore.h"
#include "support/LocalBackendFixture.h"
#include "support/VirtualClockBackend.h"

#include <cstdlib>
#include <fstream>
#include <thread>

namespace oxel::testing {
namespace {

// Client time limits shrunk fifty-fold: a request held back a second has timed out.
constexpr double clientTimeScale = 0.02;

} // namespace

JobRunnerTest::JobRunnerTest() : backend(backendOnClock(loop))
{
    if (!backend.start()) std::abort();
    overrideBackendBaseURL(backend.baseURL());
    HttpSession::setTimeScale(clientTimeScale);
    static int accounts = 0;
    account = backend.state().signIn("apple", "runner-" + std::to_string(++accounts));
    SettingsStore::shared().set("userId", std::to_string(account.userId));
    SettingsStore::shared().set("accountToken", account.token);
    makeRunner(loop);
}

void JobRunnerTest::makeRunner(const TimeSource& clock)
{
    runner = std::make_unique<JobRunner>(JobRunner::Environment{&clock, &pool});
    runner->onSettled = [this](const std::shared_ptr<BatchItem>& item) { settled.push_back(item); };
    runner->onUpdateRequired = [this] { ++updateRequiredCalls; };
    runner->settingsFor = [](const BatchItem&) { return DevelopSettings{}; };
}

JobRunnerTest::~JobRunnerTest()
{
    runner.reset();
    // Confirmations and funnel events still on their way must not reach the next test's server.
    backend.stop();
}

std::shared_ptr<BatchItem> JobRunnerTest::makeItem(int width, int height)
{
    const auto path = folder / ("original-" + std::to_string(++pictures_) + ".jpg");
    std::ofstream(path, std::ios::binary) << gradientJPEG(width, height);
    return BatchItem::make(Uuid::random(), path, Origin::opened, SourceImage::load(path), std::nullopt);
}

std::vector<std::shared_ptr<BatchItem>> JobRunnerTest::makeItems(int count)
{
    std::vector<std::shared_ptr<BatchItem>> items;
    for (int i = 0; i < count; ++i) items.push_back(makeItem());
    return items;
}

void JobRunnerTest::start(const std::vector<std::shared_ptr<BatchItem>>& items, const std::string& nudge)
{
    runner->start(items, std::to_string(account.userId), nudge, [](const BatchItem&) { return 0.8; });
}

bool JobRunnerTest::runUntilSettled(const std::vector<std::shared_ptr<BatchItem>>& items)
{
    return loop.runUntil([&] {
        for (const auto& item : items)
            if (std::find(settled.begin(), settled.end(), item) == settled.end()) return false;
        return true;
    });
}

std::vector<local::ReceivedRequest> JobRunnerTest::requestsTo(const std::string& path, const std::string& method) const
{
    std::vector<local::ReceivedRequest> matching;
    for (auto& request : backend.receivedRequests())
        if (request.path.rfind(path, 0) == 0 && (method.empty() || request.method == method))
            matching.push_back(request);
    return matching;
}

std::vector<local::ReceivedRequest> JobRunnerTest::submissions() const
{
    std::vector<local::ReceivedRequest> matching;
    for (auto& request : backend.receivedRequests())
        if (request.path == "/jobs" && request.method == "POST") matching.push_back(request);
    return matching;
}

std::string JobRunnerTest::submitDirectly(int width, int height)
{
    auto jobId =
        submitJob(gradientJPEG(width, height), std::to_string(account.userId), std::nullopt, std::nullopt, true);
    EXPECT_TRUE(jobId) << describe(jobId.failure());
    backend.forgetReceivedRequests();
    return jobId ? *jobId : std::string();
}

int64_t JobRunnerTest::balance()
{
    return backend.state().account(account.userId)->balance;
}

std::vector<nlohmann::json> JobRunnerTest::funnelEvents(const std::string& name, size_t atLeast)
{
    std::vector<nlohmann::json> found;
    for (int attempt = 0; attempt < 100 && found.size() < atLeast; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        found.clear();
        for (const auto& event : backend.state().funnelEvents())
            if (event.value("event", "") == name) found.push_back(event);
    }
    return found;
}

phase::Failed JobRunnerTest::failed(const std::shared_ptr<BatchItem>& item)
{
    auto* failure = std::get_if<phase::Failed>(&item->phase());
    return failure ? *failure : phase::Failed{"(not failed: " + itemPhaseName(item->phase()) + ")", "", false, true};
}

std::string itemPhaseName(const ItemPhase& phase)
{
    return std::visit(
        [](const auto& value) -> std::string {
            using Case = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Case, phase::Ready>) return "ready";
            if constexpr (std::is_same_v<Case, phase::Queued>) return "queued";
            if constexpr (std::is_same_v<Case, phase::Uploading>) return "uploading";
            if constexpr (std::is_same_v<Case, phase::Processing>) return "processing " + value.status;
            if constexpr (std::is_same_v<Case, phase::Finishing>) return "finishing";
            if constexpr (std::is_same_v<Case, phase::Done>) return "done";
            if constexpr (std::is_same_v<Case, phase::Exported>) return "exported";
            if constexpr (std::is_same_v<Case, phase::Restoring>) return "restoring";
            if constexpr (std::is_same_v<Case, phase::Failed>) return "failed " + value.code.value_or("-");
            return "?";
        },
        static_cast<const ItemPhase::variant&>(phase));
}

} // namespace oxel::testing
