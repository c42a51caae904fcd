#pragma once

#include "async/TaskScope.h"
#include "async/TimeSource.h"
#include "async/WorkPool.h"
#include "backend/HttpSession.h"
#include "ondevice/LanguageModel.h"
#include "ondevice/ModelServerConfiguration.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace oxel {

// A model server on this computer that speaks the chat-completions protocol.
//
// Its availability is settled by a look at "GET <url>/models" (2 s at most) on the work pool:
// when it is made, on a refresh (at most once per 10 s), every 5 s while the server says it is
// loading (for at most 30 minutes) and after a request failed in transport. Until the first look
// answers the model is not probed; a transport failure counts as not answering at once, so the
// next request of a run is not sent to a server that has gone. Requests are sent on the work pool
// and stop when their token is cancelled, when no byte moved for the idle limit, or at the total
// limit; an answer longer than `largestAnswer` is refused before it is read.
class ChatCompletionsModel final : public LanguageModel {
public:
    struct Environment {
        ModelServerConfiguration configuration;
        const TimeSource* time;
        WorkPool* pool;
        // How long a completion may go without a byte moving: a model on a CPU may think for minutes.
        std::chrono::milliseconds answerIdleLimit = std::chrono::seconds(300);
        // How long a completion may take in all: a server that trickles bytes never reaches the idle limit.
        std::chrono::milliseconds answerTotalLimit = std::chrono::minutes(10);
        // How long a look at the server may take: one on this computer answers at once when it is up.
        std::chrono::milliseconds probeLimit = std::chrono::seconds(2);

        static Environment standard();
    };

    static constexpr std::chrono::seconds refreshInterval{10};
    static constexpr std::chrono::seconds loadingInterval{5};
    static constexpr std::chrono::minutes longestLoading{30};
    // A name or a grade is a few hundred bytes of text: a longer answer is refused unread.
    static constexpr size_t largestAnswer = 512 * 1024;

    // The model for a configuration: this client for a server on this computer, otherwise none.
    static std::unique_ptr<LanguageModel> choose(Environment environment);

    // Starts the first look at the server.
    explicit ChatCompletionsModel(Environment environment);
    ~ChatCompletionsModel() override;

    ModelAvailability availability() const override { return availability_; }
    bool readsPictures() const override { return environment_.configuration.readsPictures; }
    void refreshAvailability() override;
    Task<ModelReply> respond(ModelRequest request, CancelToken cancel = {}) override;

    // The model named in requests: the configured one, else the first the server listed.
    const std::optional<std::string>& modelName() const { return modelName_; }

private:
    Task<void> probeUntilSettled();
    void startProbe();
    void setAvailability(ModelAvailability::Reason reason);
    ModelReply replyOf(const BackendResult<HttpResponse>& answer);

    Environment environment_;
    ModelAvailability availability_;
    std::optional<std::string> modelName_;
    bool probing_ = false;
    std::optional<TimeSource::SteadyTime> lastProbe_;
    TaskScope scope_;
};

} // namespace oxel
