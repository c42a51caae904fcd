#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace oxel::local {

using TimePoint = std::chrono::system_clock::time_point;

struct Account {
    int64_t userId = 0;
    std::string provider;
    std::string subject;
    std::string token;
    int64_t balance = 0;
    int64_t paidCredits = 0;
    std::string accessState = "active";
};

struct Job {
    std::string id;
    int64_t userId = 0;
    std::string nudge;
    std::optional<std::string> retryOf;
    TimePoint created;
    std::optional<std::string> failureCode; // the job ends "failed"
    std::optional<std::string> ending;      // the job ends with this status ("blocked_policy", "expired")
    bool stale = false;                     // the job never finishes
    bool delivered = false;
    bool downloaded = false;
    nlohmann::json analysis;
    nlohmann::json narration; // the narration once every step is told
    // JPEG bytes, handed to `addJob`, which keeps them on disk only; `pictures` reads them back.
    std::string refined;
    std::string fullSend;
};

struct JobPictures {
    std::string refined;
    std::string fullSend;
};

// The answer a job gives at one moment of its life.
struct JobMoment {
    std::string status;
    TimePoint updated;
    int narrationSteps = 0;
};

// Everything the local backend remembers: accounts, jobs, reports and funnel events, optionally
// kept in a JSON file (with the job pictures beside it) so that a restart keeps them. Job pictures
// live on disk only (in a private temporary folder when there is no file). The file is only its
// owner's, and is saved shortly after a change, once for changes that come close together, and
// when the state goes away.
class LocalBackendState {
public:
    explicit LocalBackendState(std::optional<std::filesystem::path> file = std::nullopt);
    ~LocalBackendState();
    LocalBackendState(const LocalBackendState&) = delete;
    LocalBackendState& operator=(const LocalBackendState&) = delete;

    Account signIn(const std::string& provider, const std::string& subject);
    std::optional<Account> accountForToken(const std::string& token) const;
    std::optional<Account> account(int64_t userId) const;
    std::optional<Account> rotateToken(int64_t userId);
    void credit(int64_t userId, int64_t shots, bool paid);
    void setBalance(int64_t userId, int64_t shots);

    std::string nextJobId();
    void addJob(Job job);
    std::optional<Job> job(const std::string& id) const;
    std::optional<JobPictures> pictures(const std::string& id) const;
    // Marks the job delivered; the first delivery spends one shot.
    bool deliver(const std::string& id);
    bool markDownloaded(const std::string& id);
    int inFlight(int64_t userId, TimePoint now, bool instant) const;

    std::string fileReport(const std::string& jobId, bool withPicture);
    void recordFunnelEvent(nlohmann::json event);
    std::vector<nlohmann::json> funnelEvents() const;
    // How many times the state file has been written: changes that come close together are
    // written once, not once each.
    int64_t saveCount() const;
    // Writes what is still to be saved and saves nothing after: for a process about to end.
    void stopSaving();

    // The shots a new account starts with.
    static constexpr int64_t startingRoll = 10;
    void setStartingRoll(int64_t shots);

private:
    void load();
    void keepPictures(Job& job) const;
    // The caller holds the lock.
    void changed();
    void saveWhenChanged();
    void save(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::optional<std::filesystem::path> file_;
    std::filesystem::path pictureFolder_;
    bool ownsPictureFolder_ = false;
    std::condition_variable changes_;
    bool dirty_ = false;
    bool stopping_ = false;
    std::thread saver_;
    std::map<int64_t, Account> accounts_;
    std::map<std::string, Job> jobs_;
    std::vector<nlohmann::json> reports_;
    std::vector<nlohmann::json> funnelEvents_;
    int64_t nextJobNumber_ = 1;
    int64_t nextReportNumber_ = 1;
    int64_t saves_ = 0;
    int64_t startingRoll_ = startingRoll;
};

// Where a job stands at `now`: queued, analysing and then generating with its narration told step
// by step, then succeeded or failed (or delivered, or its forced ending); with `instant` it is
// finished from the start.
JobMoment jobMoment(const Job& job, TimePoint now, bool instant);

// "2026-12-07T04:20:00Z", or with milliseconds "2026-12-07T04:20:00.250Z"
std::string internetDate(TimePoint time, bool milliseconds = false);

// Whether the backend still works on a job in this status.
bool isWorking(const std::string& status);

} // namespace oxel::local
