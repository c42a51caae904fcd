#pragma once

#include "async/CancelToken.h"
#include "async/Signal.h"
#include "async/Task.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace oxel {

// How the model picks its words: always the likeliest (the first grade of a batch, naming), or
// by random sampling (a second opinion on a picture).
enum class ModelSampling { greedy, random };

// One request to a language model: a fresh session every time, nothing carried over.
struct ModelRequest {
    std::string instructions;
    std::string prompt;
    std::optional<std::vector<uint8_t>> jpeg; // a picture to read, after the prompt
    // When present the answer must be a JSON object of this schema, properties in this order.
    std::optional<nlohmann::ordered_json> schema;
    std::string schemaName = "answer";
    ModelSampling sampling = ModelSampling::greedy;
};

// Why an answer did not come; the description is for the log.
struct ModelFailure {
    std::string description;
};

// The answer's text, or why there is none.
using ModelReply = std::variant<std::string, ModelFailure>;

// Whether the model can be asked now, and if not, why.
struct ModelAvailability {
    enum class Reason {
        available,
        notSetUp,          // no model server is configured
        notOnThisComputer, // the configured server is not on a loopback address
        notProbed,         // the first look at the server has not answered yet
        loading,           // the server answers 503 while it loads its model
        notAnswering,      // the server did not answer, or not as a model server
    };
    Reason reason = Reason::notSetUp;
    std::string serverURL;

    bool isAvailable() const { return reason == Reason::available; }
    bool operator==(const ModelAvailability&) const = default;
};

// The language model of this computer, the stand-in for the platform's on-device model. Reading
// the availability never blocks: it is the last answer of a look at the model, which runs in the
// background and announces every change on `availabilityChanged`. Main thread only.
class LanguageModel {
public:
    virtual ~LanguageModel() = default;

    virtual ModelAvailability availability() const = 0;
    // Whether requests may carry a picture.
    virtual bool readsPictures() const = 0;
    // Looks at the model again, unless a look is running or one ran moments ago.
    virtual void refreshAvailability() = 0;
    // The answer text of one request, or a failure with its description; never throws.
    virtual Task<ModelReply> respond(ModelRequest request, CancelToken cancel = {}) = 0;

    Signal<> availabilityChanged;

    // The model of this process, made on first use from the configuration: a chat-completions
    // client for a model server on this computer, or none.
    static LanguageModel& shared();
};

} // namespace oxel
