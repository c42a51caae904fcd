#pragma once

#include "backend/HttpSession.h"
#include "ondevice/LanguageModel.h"

#include <optional>
#include <string>

namespace oxel {

// The chat-completions protocol as common local model servers speak it.
namespace ChatCompletionsWire {

// The body of "POST <url>/chat/completions": the instructions as the system message, the prompt
// (with the schema appended, when there is one) and the picture as a JPEG data URL as the user's
// message; greedy sampling is temperature 0, random sampling temperature 0.9 with top_p 0.9; no
// token limit, no streaming; a schema also goes into `response_format`.
nlohmann::ordered_json requestBody(const ModelRequest& request, const std::optional<std::string>& model);

// The prompt text that carries the schema.
std::string promptWithSchema(const ModelRequest& request);

// The text of the first choice of a completion answer, or what is wrong with the answer.
ModelReply completionText(const HttpResponse& answer);

// What a look at "GET <url>/models" says: available with the first model's id, loading (503),
// or not answering as a model server.
struct ProbeResult {
    ModelAvailability::Reason reason = ModelAvailability::Reason::notAnswering;
    std::optional<std::string> firstModel;
};
ProbeResult probeResult(const HttpResponse& answer);

} // namespace ChatCompletionsWire
} // namespace oxel
