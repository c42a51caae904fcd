#include "model/AppModel.h"

#include "async/Offload.h"
#include "backend/AccountEndpoints.h"
#include "backend/BackendBaseURL.h"
#include "backend/HttpSession.h"
#include "develop/PictureBudget.h"
#include "develop/segment/SelfieSegmenter.h"
#include "model/RemoteAnswers.h"
#include "ondevice/ModelGrade.h"
#include "platform/BuildInfo.h"

#include <algorithm>

namespace oxel {

namespace {

// An unauthorised GET of a configuration path, off the main thread; the body of a 200 answer.
Task<std::optional<std::string>> fetchConfigBody(WorkPool& pool, const HttpSession& http, std::string path,
                                                 CancelToken cancel)
{
    HttpRequest request;
    request.url = backendBaseURL() + path;
    request.timeout = AppModel::configRequestTimeout;
    auto send = [&http, request](std::stop_token stop) -> std::optional<std::string> {
        auto answer = http.send(request, stop);
        if (!answer || answer->status != 200) return std::nullopt;
        return std::move(answer).value().body;
    };
    co_return co_await offload(pool, WorkPriority::userInitiated, cancel, std::move(send));
}

} // namespace

void AppModel::launch()
{
    applyPictureBudget(services_.settings);
    installSelfieSegmenter();
    migrateExportFormatDefaults(services_.settings);
    refreshColourOnlyAvailability();
    tasks_->spawn(refreshRecent());
    services_.library.sweep();
    tasks_->spawn(refreshConfig());
    tasks_->spawn(refreshBalanceUntilKnown());
    tasks_->spawn(loadMessage());
    tasks_->spawn(refreshSuggestions());
}

void AppModel::refreshConfigIfStale()
{
    if (lastConfigFetch_ && services_.clock.now() - *lastConfigFetch_ < configStaleness) return;
    tasks_->spawn(refreshConfig());
}

Task<void> AppModel::refreshConfig()
{
    lastConfigFetch_ = services_.clock.now();
    auto body = co_await fetchConfigBody(services_.pool, services_.http, "/config/app", tasks_->token());
    if (!body) co_return;
    if (auto config = AppConfig::parse(*body)) applyConfig(*config, *body);
}

void AppModel::applyTransferSettings(const AppConfig& config)
{
    runner_.limits =
        TransferLimits{config.refineDivergenceLimit, config.sameSceneStructureLimit, config.detailTransferEnabled};
    runner_.asksForGrade = config.suggestedGradeEnabled;
}

void AppModel::applyConfig(const AppConfig& config, const std::string& body)
{
    settings_.setAppConfigCache(body);
    publish(config_, config, Field::config);
    applyTransferSettings(config);
    if (config.maxInFlightJobs && *config.maxInFlightJobs >= 1)
        runner_.maxInFlight = int(std::min<int64_t>(*config.maxInFlightJobs, mostJobsInFlight));
    if (config.requiresUpdate(appVersion(*services_.auth.buildInfo))) setUpdateRequired();
}

void AppModel::setBalance(BalanceResponse balance)
{
    const bool rose = balance_ && balance.balance > balance_->balance;
    publish(balance_, std::optional<BalanceResponse>(std::move(balance)), Field::balance);
    if (rose && runner_.outOfShots()) runner_.shotsArrived();
}

Task<void> AppModel::refreshBalance()
{
    if (!auth_.state().hasAccount()) co_return;
    auto userId = auth_.state().userId();
    auto fetch = [userId](std::stop_token stop) { return fetchBalance(userId, stop); };
    auto answer = co_await offload(services_.pool, WorkPriority::userInitiated, tasks_->token(), fetch);
    if (answer) co_return setBalance(std::move(answer).value());
    if (auto error = answer.backendError(); error && error->which() == BackendError::Case::updateRequired)
        co_return setUpdateRequired();
    if (isUnknownAccount(answer.failure())) co_return accountUnknown(userId);
    if (!co_await auth_.recoverAfterForbidden(answer.failure())) co_return;
    auto again = co_await offload(services_.pool, WorkPriority::userInitiated, tasks_->token(), fetch);
    if (again) setBalance(std::move(again).value());
}

Task<void> AppModel::loadMessage()
{
    auto seen = settings_.seenMessageIds();
    auto lastVersion = settings_.lastLaunchedAppVersion();
    settings_.setLastLaunchedAppVersion(appVersion(*services_.auth.buildInfo));
    if (!lastVersion) co_return;
    auto fetch = [](std::stop_token stop) { return fetchAnnouncement(stop); };
    auto message = co_await offload(services_.pool, WorkPriority::userInitiated, tasks_->token(), fetch);
    if (!message || message->empty()) co_return;
    auto id = announcementId(*message);
    if (!id || std::find(seen.begin(), seen.end(), *id) != seen.end()) co_return;
    publish(announcement_, std::move(message), Field::announcement);
}

void AppModel::dismissAnnouncement()
{
    if (announcement_)
        if (auto id = announcementId(*announcement_)) settings_.addSeenMessageId(*id);
    publish(announcement_, std::optional<Json>(), Field::announcement);
}

Task<void> AppModel::refreshSuggestions()
{
    auto body = co_await fetchConfigBody(services_.pool, services_.http, "/config/suggestions", tasks_->token());
    if (!body) co_return;
    if (auto nudges = suggestedNudges(*body)) publish(nudgePlaceholders_, std::move(*nudges), Field::nudgePlaceholders);
}

void AppModel::refreshColourOnlyAvailability()
{
    auto missing = ModelGrade::unavailableMessage(services_.languageModel);
    // Colour only needs a model that is answering and reads pictures; the message says which is missing.
    const bool ready = !missing;
    if (ready != colourOnlyModelReady_) publish(colourOnlyModelReady_, ready, Field::colourOnlyModelReady);
    if (missing != colourOnlyMissing_) publish(colourOnlyMissing_, std::move(missing), Field::colourOnlyMissing);
}

} // namespace oxel
