#include "localbackend/LocalBackendState.h"

#include "platform/AtomicFile.h"
#include "platform/JsonFields.h"

#include <openssl/rand.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace oxel::local {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

// How long a change waits to be saved with those that follow it.
constexpr auto saveDelay = 100ms;

constexpr auto queuedFor = 2000ms;
constexpr auto narrationStep = 2000ms;
constexpr auto processingFor = 6000ms;

std::string freshToken()
{
    unsigned char bytes[24];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        for (auto& b : bytes) b = static_cast<unsigned char>(std::rand());
    }
    static const char hex[] = "0123456789abcdef";
    std::string token = "local-";
    for (unsigned char b : bytes) {
        token += hex[b >> 4];
        token += hex[b & 15];
    }
    return token;
}

// Random, so that a server started over never hands an earlier account's id to a new one; below
// 2^53, where every JSON reader still holds it exactly.
int64_t randomUserId()
{
    thread_local std::mt19937_64 draw{std::random_device{}()};
    return std::uniform_int_distribution<int64_t>(1, (int64_t(1) << 53) - 1)(draw);
}

int64_t toMillis(TimePoint time)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

TimePoint fromMillis(int64_t millis)
{
    return TimePoint(std::chrono::milliseconds(millis));
}

// A fresh folder only this user can enter, for the pictures of a state kept in memory.
std::filesystem::path privateTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "oxel-backend-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::filesystem::filesystem_error("mkdtemp", pattern, std::error_code(errno, std::generic_category()));
    return pattern;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

Json accountJson(const Account& a)
{
    return {{"userId", a.userId},   {"provider", a.provider},       {"subject", a.subject},        {"token", a.token},
            {"balance", a.balance}, {"paidCredits", a.paidCredits}, {"accessState", a.accessState}};
}

Account accountFrom(const Json& j)
{
    return Account{j.at("userId").get<int64_t>(),         j.at("provider").get<std::string>(),
                   j.at("subject").get<std::string>(),    j.at("token").get<std::string>(),
                   j.at("balance").get<int64_t>(),        j.at("paidCredits").get<int64_t>(),
                   j.at("accessState").get<std::string>()};
}

Json jobJson(const Job& job)
{
    Json j = {{"id", job.id},
              {"userId", job.userId},
              {"nudge", job.nudge},
              {"created", toMillis(job.created)},
              {"stale", job.stale},
              {"delivered", job.delivered},
              {"downloaded", job.downloaded},
              {"analysis", job.analysis},
              {"narration", job.narration}};
    if (job.retryOf) j["retryOf"] = *job.retryOf;
    if (job.failureCode) j["failureCode"] = *job.failureCode;
    if (job.ending) j["ending"] = *job.ending;
    return j;
}

Job jobFrom(const Json& j)
{
    Job job;
    job.id = j.at("id").get<std::string>();
    job.userId = j.at("userId").get<int64_t>();
    job.nudge = j.at("nudge").get<std::string>();
    job.created = fromMillis(j.at("created").get<int64_t>());
    job.stale = j.at("stale").get<bool>();
    job.delivered = j.at("delivered").get<bool>();
    job.downloaded = j.value("downloaded", false);
    job.analysis = j.at("analysis");
    job.narration = j.at("narration");
    if (j.contains("retryOf")) job.retryOf = j["retryOf"].get<std::string>();
    if (j.contains("failureCode")) job.failureCode = j["failureCode"].get<std::string>();
    if (j.contains("ending")) job.ending = j["ending"].get<std::string>();
    return job;
}

} // namespace

LocalBackendState::LocalBackendState(std::optional<std::filesystem::path> file) : file_(std::move(file))
{
    if (!file_) {
        pictureFolder_ = privateTemporaryFolder();
        ownsPictureFolder_ = true;
        return;
    }
    pictureFolder_ = *file_;
    pictureFolder_ += ".pictures";
    load();
    saver_ = std::thread([this] { saveWhenChanged(); });
}

LocalBackendState::~LocalBackendState()
{
    stopSaving();
    std::error_code ignored;
    if (ownsPictureFolder_) std::filesystem::remove_all(pictureFolder_, ignored);
}

Account LocalBackendState::signIn(const std::string& provider, const std::string& subject)
{
    std::lock_guard lock(mutex_);
    for (auto& [id, account] : accounts_)
        if (account.provider == provider && account.subject == subject) return account;
    int64_t userId = randomUserId();
    while (accounts_.contains(userId)) userId = randomUserId();
    Account account{userId, provider, subject, freshToken(), startingRoll_, 0, "active"};
    accounts_[account.userId] = account;
    changed();
    return account;
}

std::optional<Account> LocalBackendState::accountForToken(const std::string& token) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [id, account] : accounts_)
        if (!token.empty() && account.token == token) return account;
    return std::nullopt;
}

std::optional<Account> LocalBackendState::account(int64_t userId) const
{
    std::lock_guard lock(mutex_);
    auto found = accounts_.find(userId);
    if (found == accounts_.end()) return std::nullopt;
    return found->second;
}

std::optional<Account> LocalBackendState::rotateToken(int64_t userId)
{
    std::lock_guard lock(mutex_);
    auto found = accounts_.find(userId);
    if (found == accounts_.end()) return std::nullopt;
    found->second.token = freshToken();
    changed();
    return found->second;
}

void LocalBackendState::credit(int64_t userId, int64_t shots, bool paid)
{
    std::lock_guard lock(mutex_);
    auto found = accounts_.find(userId);
    if (found == accounts_.end()) return;
    found->second.balance += shots;
    if (paid) found->second.paidCredits += shots;
    changed();
}

void LocalBackendState::setBalance(int64_t userId, int64_t shots)
{
    std::lock_guard lock(mutex_);
    auto found = accounts_.find(userId);
    if (found == accounts_.end()) return;
    found->second.balance = shots;
    changed();
}

std::string LocalBackendState::nextJobId()
{
    std::lock_guard lock(mutex_);
    return "job-" + std::to_string(nextJobNumber_++) + "-" + freshToken().substr(6, 8);
}

void LocalBackendState::addJob(Job job)
{
    keepPictures(job);
    std::lock_guard lock(mutex_);
    jobs_[job.id] = std::move(job);
    changed();
}

void LocalBackendState::keepPictures(Job& job) const
{
    std::error_code error;
    std::filesystem::create_directories(pictureFolder_.parent_path(), error);
    ::mkdir(pictureFolder_.c_str(), 0700);
    for (const auto& [picture, suffix] :
         {std::pair{&job.refined, ".refined.jpg"}, std::pair{&job.fullSend, ".full.jpg"}}) {
        if (const auto failure = writeFileAtomically(pictureFolder_ / (job.id + suffix), *picture, 0600))
            std::fprintf(stderr, "[local backend] could not keep a job picture: %s\n", failure->c_str());
        std::string().swap(*picture);
    }
}

std::optional<JobPictures> LocalBackendState::pictures(const std::string& id) const
{
    {
        std::lock_guard lock(mutex_);
        if (!jobs_.contains(id)) return std::nullopt;
    }
    return JobPictures{readFile(pictureFolder_ / (id + ".refined.jpg")), readFile(pictureFolder_ / (id + ".full.jpg"))};
}

std::optional<Job> LocalBackendState::job(const std::string& id) const
{
    std::lock_guard lock(mutex_);
    auto found = jobs_.find(id);
    if (found == jobs_.end()) return std::nullopt;
    return found->second;
}

bool LocalBackendState::deliver(const std::string& id)
{
    std::lock_guard lock(mutex_);
    auto found = jobs_.find(id);
    if (found == jobs_.end()) return false;
    if (!found->second.delivered) {
        found->second.delivered = true;
        if (auto account = accounts_.find(found->second.userId); account != accounts_.end())
            account->second.balance = std::max<int64_t>(0, account->second.balance - 1);
        changed();
    }
    return true;
}

bool LocalBackendState::markDownloaded(const std::string& id)
{
    std::lock_guard lock(mutex_);
    auto found = jobs_.find(id);
    if (found == jobs_.end()) return false;
    found->second.downloaded = true;
    changed();
    return true;
}

int LocalBackendState::inFlight(int64_t userId, TimePoint now, bool instant) const
{
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const auto& [id, job] : jobs_) {
        if (job.userId != userId) continue;
        auto status = jobMoment(job, now, instant).status;
        if (isWorking(status)) ++count;
    }
    return count;
}

std::string LocalBackendState::fileReport(const std::string& jobId, bool withPicture)
{
    std::lock_guard lock(mutex_);
    std::string id = "report-" + std::to_string(nextReportNumber_++);
    reports_.push_back({{"reportId", id}, {"jobId", jobId}, {"picture", withPicture}});
    changed();
    return id;
}

void LocalBackendState::recordFunnelEvent(Json event)
{
    std::lock_guard lock(mutex_);
    funnelEvents_.push_back(std::move(event));
}

std::vector<Json> LocalBackendState::funnelEvents() const
{
    std::lock_guard lock(mutex_);
    return funnelEvents_;
}

int64_t LocalBackendState::saveCount() const
{
    std::lock_guard lock(mutex_);
    return saves_;
}

void LocalBackendState::load()
{
    std::error_code error;
    if (!std::filesystem::exists(*file_, error)) return;
    Json state = parseJson(readFile(*file_)).value_or(Json());
    if (!state.is_object()) {
        std::fprintf(stderr, "[local backend] the state file %s is not JSON; starting empty\n", file_->c_str());
        return;
    }
    try {
        for (const auto& a : state.value("accounts", Json::array())) {
            Account account = accountFrom(a);
            accounts_[account.userId] = account;
        }
        for (const auto& j : state.value("jobs", Json::array())) {
            Job job = jobFrom(j);
            jobs_[job.id] = std::move(job);
        }
        reports_ = state.value("reports", Json::array()).get<std::vector<Json>>();
        nextJobNumber_ = state.value("nextJobNumber", int64_t(1));
        nextReportNumber_ = state.value("nextReportNumber", int64_t(1));
    } catch (const Json::exception& e) {
        std::fprintf(stderr, "[local backend] the state file %s is damaged (%s); starting empty\n", file_->c_str(),
                     e.what());
        accounts_.clear();
        jobs_.clear();
        reports_.clear();
    }
}

void LocalBackendState::stopSaving()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changes_.notify_all();
    if (saver_.joinable()) saver_.join();
}

void LocalBackendState::changed()
{
    if (!file_) return;
    dirty_ = true;
    changes_.notify_all();
}

void LocalBackendState::saveWhenChanged()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changes_.wait(lock, [this] { return dirty_ || stopping_; });
        // Changes that come close together (a burst of jobs) are saved together.
        changes_.wait_for(lock, saveDelay, [this] { return stopping_; });
        if (dirty_) save(lock);
        if (stopping_ && !dirty_) return;
    }
}

void LocalBackendState::save(std::unique_lock<std::mutex>& lock)
{
    Json state = {{"accounts", Json::array()},
                  {"jobs", Json::array()},
                  {"reports", reports_},
                  {"nextJobNumber", nextJobNumber_},
                  {"nextReportNumber", nextReportNumber_}};
    for (const auto& [id, account] : accounts_) state["accounts"].push_back(accountJson(account));
    for (const auto& [id, job] : jobs_) state["jobs"].push_back(jobJson(job));
    dirty_ = false;
    // Written without the lock: requests go on meanwhile, and a change they make is saved next.
    lock.unlock();
    const auto failure = writeFileAtomically(*file_, state.dump(2), 0600);
    lock.lock();
    ++saves_;
    if (failure) std::fprintf(stderr, "[local backend] could not write the state file: %s\n", failure->c_str());
}

JobMoment jobMoment(const Job& job, TimePoint now, bool instant)
{
    auto elapsed = now - job.created;
    if (job.stale) return {"analysing", job.created, 0};
    std::string ending = job.failureCode ? "failed" : job.ending.value_or("succeeded");
    if (job.delivered) ending = "delivered";
    if (instant) return {ending, job.created, 3};
    if (elapsed < queuedFor) return {"queued", job.created, 0};
    auto working = elapsed - queuedFor;
    if (working < processingFor) {
        int steps = int(std::min<int64_t>(3, 1 + working / narrationStep));
        auto updated = job.created + queuedFor + narrationStep * (steps - 1);
        return {steps == 1 ? "analysing" : "generating", std::chrono::time_point_cast<TimePoint::duration>(updated),
                steps};
    }
    return {ending, std::chrono::time_point_cast<TimePoint::duration>(job.created + queuedFor + processingFor), 3};
}

std::string internetDate(TimePoint time, bool milliseconds)
{
    const auto whole = std::chrono::floor<std::chrono::seconds>(time);
    std::time_t seconds = std::chrono::system_clock::to_time_t(whole);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::string date = text;
    if (milliseconds) {
        const auto fraction = std::chrono::duration_cast<std::chrono::milliseconds>(time - whole).count();
        std::snprintf(text, sizeof text, ".%03d", int(fraction));
        date += text;
    }
    return date + "Z";
}

bool isWorking(const std::string& status)
{
    return status == "queued" || status == "analysing" || status == "generating";
}

void LocalBackendState::setStartingRoll(int64_t shots)
{
    std::lock_guard lock(mutex_);
    startingRoll_ = shots;
}

} // namespace oxel::local
