#include "ondevice/ChatCompletionsModel.h"

#include "async/Offload.h"
#include "async/Sleep.h"
#include "backend/HttpSession.h"
#include "ondevice/ChatCompletionsWire.h"
#include "ondevice/NoLanguageModel.h"
#include "platform/SettingsStore.h"

#include <stop_token>

namespace oxel {
namespace {

// A transport failure that says the server has gone or stopped answering, rather than that this
// request was cancelled or its answer refused.
bool serverStoppedAnswering(const BackendFailure& failure)
{
    const auto* error = std::get_if<UrlError>(&failure);
    return error && error->code != UrlErrorCode::cancelled && error->code != UrlErrorCode::dataLengthExceedsMaximum;
}

// Sends on the work pool; cancelling the token stops the transfer. The session goes with the
// transfer: a task destroyed at quit leaves its transfer to end on the pool.
Task<BackendResult<HttpResponse>> sendOnPool(WorkPool& pool, HttpSession session, HttpRequest request,
                                             CancelToken cancel)
{
    // Named, not a temporary of the co_await expression: the compiler destroys such temporaries twice.
    auto transfer = [session, request = std::move(request)](std::stop_token stop) {
        return session.send(request, stop);
    };
    auto answer = co_await offload(pool, WorkPriority::userInitiated, cancel, std::move(transfer));
    co_return answer;
}

} // namespace

ChatCompletionsModel::Environment ChatCompletionsModel::Environment::standard()
{
    return {ModelServerConfiguration::read(SettingsStore::shared()), &TimeSource::system(), &WorkPool::shared()};
}

std::unique_ptr<LanguageModel> ChatCompletionsModel::choose(Environment environment)
{
    const std::string& url = environment.configuration.url;
    if (url.empty())
        return std::make_unique<NoLanguageModel>(ModelAvailability{ModelAvailability::Reason::notSetUp, ""});
    if (!isLoopbackURL(url))
        return std::make_unique<NoLanguageModel>(ModelAvailability{ModelAvailability::Reason::notOnThisComputer, url});
    return std::make_unique<ChatCompletionsModel>(std::move(environment));
}

ChatCompletionsModel::ChatCompletionsModel(Environment environment)
    : environment_(std::move(environment)), modelName_(environment_.configuration.modelName)
{
    availability_ = {ModelAvailability::Reason::notProbed, environment_.configuration.url};
    startProbe();
}

ChatCompletionsModel::~ChatCompletionsModel() = default;

void ChatCompletionsModel::refreshAvailability()
{
    if (lastProbe_ && environment_.time->steady() - *lastProbe_ < refreshInterval) return;
    startProbe();
}

void ChatCompletionsModel::startProbe()
{
    if (probing_) return;
    probing_ = true;
    scope_.spawn(probeUntilSettled());
}

Task<void> ChatCompletionsModel::probeUntilSettled()
{
    std::optional<TimeSource::SteadyTime> loadingSince;
    while (true) {
        HttpRequest request;
        request.url = environment_.configuration.url + "/models";
        request.timeout = environment_.probeLimit;
        request.directOnly = true;
        request.maxAnswerBytes = largestAnswer;
        const auto answer =
            co_await sendOnPool(*environment_.pool, HttpSession(environment_.probeLimit), request, scope_.token());
        lastProbe_ = environment_.time->steady();
        const auto result = answer ? ChatCompletionsWire::probeResult(*answer) : ChatCompletionsWire::ProbeResult{};
        if (!modelName_ && result.firstModel) modelName_ = result.firstModel;
        setAvailability(result.reason);
        if (result.reason != ModelAvailability::Reason::loading) break;
        if (!loadingSince) loadingSince = lastProbe_;
        if (*lastProbe_ - *loadingSince >= longestLoading) break;
        if (co_await sleepFor(loadingInterval, scope_.token())) break;
    }
    probing_ = false;
}

void ChatCompletionsModel::setAvailability(ModelAvailability::Reason reason)
{
    const ModelAvailability next{reason, environment_.configuration.url};
    if (next == availability_) return;
    availability_ = next;
    availabilityChanged.emit();
}

Task<ModelReply> ChatCompletionsModel::respond(ModelRequest request, CancelToken cancel)
{
    if (request.jpeg && !readsPictures()) co_return ModelFailure{"the model can't read pictures"};
    HttpRequest post;
    post.method = "POST";
    post.url = environment_.configuration.url + "/chat/completions";
    post.timeout = environment_.answerIdleLimit;
    post.maxAnswerBytes = largestAnswer;
    // Pictures never leave this computer: no proxy may carry them, and no redirect send them on.
    post.directOnly = true;
    post.setHeader("Content-Type", "application/json");
    // A picture makes the body a few hundred kilobytes of text: it is written off the main thread.
    auto write = [request = std::move(request), model = modelName_] {
        return ChatCompletionsWire::requestBody(request, model)
            .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    };
    post.body = co_await offload(*environment_.pool, WorkPriority::userInitiated, std::move(write));
    const auto answer =
        co_await sendOnPool(*environment_.pool, HttpSession(environment_.answerTotalLimit), std::move(post), cancel);
    co_return replyOf(answer);
}

ModelReply ChatCompletionsModel::replyOf(const BackendResult<HttpResponse>& answer)
{
    if (answer) return ChatCompletionsWire::completionText(*answer);
    if (serverStoppedAnswering(answer.failure())) {
        setAvailability(ModelAvailability::Reason::notAnswering);
        startProbe();
    }
    return ModelFailure{describe(answer.failure())};
}

} // namespace oxel
