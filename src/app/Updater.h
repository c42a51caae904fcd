#pragma once

#include "app/UpdateFeed.h"
#include "backend/HttpSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace oxel {

class BuildInfo;

// The updater's own windows, which only a check the person asked for opens.
class UpdaterWindows {
public:
    virtual ~UpdaterWindows() = default;
    virtual void showChecking() = 0;
    virtual void showNewest(const std::string& version) = 0;
    // "download" calls `download`; "later" closes the window.
    virtual void showAvailable(const std::string& version, std::function<void()> download) = 0;
    virtual void showFailed(const std::string& message) = 0;
    // No feed: updates come with the system's packages.
    virtual void showPackageManaged() = 0;
};

// Tells when a newer release is out; it never installs one, since the system's package manager
// owns the installed files. Without an "UpdateFeedURL" in the build info (distribution builds) it
// makes no checks of its own and a requested check says that updates come with the packages.
class Updater {
public:
    struct Environment {
        const BuildInfo* buildInfo;
        // Runs off the main thread.
        std::function<BackendResult<HttpResponse>(const HttpRequest&, std::stop_token)> fetch;
        std::function<bool(const std::string& url)> openURL;

        static Environment standard();
    };

    static constexpr std::chrono::seconds firstCheckDelay{60};
    static constexpr std::chrono::hours checkInterval{24};
    static constexpr std::chrono::seconds feedIdleTimeout{10};

    Updater(UpdaterWindows& windows, Environment environment = Environment::standard());
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Schedules the checks of its own: the first a minute from now, then one a day.
    void start();
    // A check the person asked for, shown in the updater's windows.
    void checkForUpdates();
    // False while a check runs.
    bool canCheckForUpdates() const { return !checking_; }
    bool packageManaged() const { return !feedURL_; }

private:
    enum class Asked { scheduled, byPerson };
    void scheduleCheck(std::chrono::nanoseconds delay);
    void beginCheck(Asked asked);
    void finishCheck(Asked asked, const BackendResult<HttpResponse>& answer);

    UpdaterWindows& windows_;
    Environment environment_;
    std::optional<std::string> feedURL_;
    bool checking_ = false;
    std::uint64_t scheduledTimer_ = 0;
    std::shared_ptr<Updater*> self_;
    std::jthread fetcher_;
};

} // namespace oxel
