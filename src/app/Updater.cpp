#include "app/Updater.h"

#include "async/MainExecutor.h"
#include "platform/BuildInfo.h"
#include "platform/UrlOpener.h"

namespace oxel {

Updater::Environment Updater::Environment::standard()
{
    return {&BuildInfo::main(),
            [](const HttpRequest& request, std::stop_token stop) { return HttpSession::shared().send(request, stop); },
            [](const std::string& url) { return oxel::openURL(url); }};
}

Updater::Updater(UpdaterWindows& windows, Environment environment)
    : windows_(windows),
      environment_(std::move(environment)),
      feedURL_(environment_.buildInfo->string("UpdateFeedURL")),
      self_(std::make_shared<Updater*>(this))
{}

Updater::~Updater()
{
    *self_ = nullptr;
    if (scheduledTimer_) mainExecutor().cancelTimer(scheduledTimer_);
}

void Updater::start()
{
    if (packageManaged()) return;
    scheduleCheck(firstCheckDelay);
}

void Updater::checkForUpdates()
{
    if (packageManaged()) {
        windows_.showPackageManaged();
        return;
    }
    if (checking_) return;
    windows_.showChecking();
    beginCheck(Asked::byPerson);
}

void Updater::scheduleCheck(std::chrono::nanoseconds delay)
{
    scheduledTimer_ = mainExecutor().postAfter(delay, [this] {
        scheduledTimer_ = 0;
        scheduleCheck(checkInterval);
        // A check already running answers for this one too.
        if (!checking_) beginCheck(Asked::scheduled);
    });
}

void Updater::beginCheck(Asked asked)
{
    checking_ = true;
    HttpRequest request;
    request.url = *feedURL_;
    request.timeout = feedIdleTimeout;
    request.setHeader("Accept", "application/json");
    std::weak_ptr<Updater*> self = self_;
    if (fetcher_.joinable()) fetcher_.join();
    fetcher_ = std::jthread([request, fetch = environment_.fetch, self, asked,
                             pending = PendingWork(mainExecutor())](std::stop_token stop) {
        auto answer = std::make_shared<BackendResult<HttpResponse>>(fetch(request, stop));
        mainExecutor().post([self, asked, answer] {
            auto alive = self.lock();
            if (alive && *alive) (*alive)->finishCheck(asked, *answer);
        });
    });
}

void Updater::finishCheck(Asked asked, const BackendResult<HttpResponse>& answer)
{
    checking_ = false;
    bool shown = asked == Asked::byPerson;
    if (!answer) {
        if (shown) windows_.showFailed("could not reach the update service: " + describe(answer.failure()));
        return;
    }
    std::optional<UpdateFeed> feed = answer->status == 200 ? parseUpdateFeed(answer->body) : std::nullopt;
    if (!feed) {
        if (shown) windows_.showFailed("the update service gave an answer oxel pro cannot read.");
        return;
    }
    const BuildInfo& info = *environment_.buildInfo;
    if (compareReleases(feed->version, feed->build, appVersion(info), buildNumber(info)) > 0) {
        windows_.showAvailable(feed->version, [open = environment_.openURL, page = feed->page] { open(page); });
    } else if (shown) {
        windows_.showNewest(appVersion(info));
    }
}

} // namespace oxel
