#include "ondevice/ChatCompletionsWire.h"

#include "backend/Base64.h"
#include "platform/JsonFields.h"

namespace oxel::ChatCompletionsWire {
namespace {

using OrderedJson = nlohmann::ordered_json;

// Enough of a refusal's text to say what went wrong, never a whole page.
constexpr size_t quotedErrorLength = 200;

OrderedJson userContent(const ModelRequest& request)
{
    const std::string prompt = promptWithSchema(request);
    if (!request.jpeg) return prompt;
    const std::string_view bytes(reinterpret_cast<const char*>(request.jpeg->data()), request.jpeg->size());
    return OrderedJson::array(
        {{{"type", "text"}, {"text", prompt}},
         {{"type", "image_url"}, {"image_url", {{"url", "data:image/jpeg;base64," + base64Encoded(bytes)}}}}});
}

std::string errorMessage(const nlohmann::json& body)
{
    if (!body.is_object() || !body.contains("error")) return "";
    const auto& error = body["error"];
    std::string text = error.is_string() ? error.get<std::string>()
                       : error.is_object() && error.contains("message") && error["message"].is_string()
                           ? error["message"].get<std::string>()
                           : "";
    if (text.size() > quotedErrorLength) text = text.substr(0, quotedErrorLength) + "…";
    return text;
}

} // namespace

std::string promptWithSchema(const ModelRequest& request)
{
    if (!request.schema) return request.prompt;
    return request.prompt + "\n\nAnswer with one JSON object that follows this schema:\n" + request.schema->dump();
}

OrderedJson requestBody(const ModelRequest& request, const std::optional<std::string>& model)
{
    OrderedJson body = OrderedJson::object();
    if (model) body["model"] = *model;
    body["messages"] = OrderedJson::array({{{"role", "system"}, {"content", request.instructions}},
                                           {{"role", "user"}, {"content", userContent(request)}}});
    body["stream"] = false;
    if (request.sampling == ModelSampling::greedy) {
        body["temperature"] = 0;
    } else {
        body["temperature"] = 0.9;
        body["top_p"] = 0.9;
    }
    if (request.schema)
        body["response_format"] = {
            {"type", "json_schema"},
            {"json_schema", {{"name", request.schemaName}, {"strict", true}, {"schema", *request.schema}}}};
    return body;
}

ModelReply completionText(const HttpResponse& answer)
{
    const nlohmann::json body = parseJson(answer.body).value_or(nullptr);
    if (answer.status != 200) {
        const std::string message = errorMessage(body);
        return ModelFailure{"the model server answered " + std::to_string(answer.status) +
                            (message.empty() ? "" : ": " + message)};
    }
    if (!body.is_object()) return ModelFailure{"the model server's answer is not a JSON object"};
    const auto choices = body.find("choices");
    if (choices == body.end() || !choices->is_array() || choices->empty() || !(*choices)[0].is_object())
        return ModelFailure{"the model server's answer has no choices"};
    const auto& choice = (*choices)[0];
    const auto message = choice.find("message");
    if (message == choice.end() || !message->is_object() || !message->contains("content") ||
        !(*message)["content"].is_string())
        return ModelFailure{"the model server's answer has no text"};
    return (*message)["content"].get<std::string>();
}

ProbeResult probeResult(const HttpResponse& answer)
{
    if (answer.status == 503) return {ModelAvailability::Reason::loading, std::nullopt};
    if (answer.status != 200) return {};
    const nlohmann::json body = parseJson(answer.body).value_or(nullptr);
    if (!body.is_object() || !body.contains("data") || !body["data"].is_array()) return {};
    std::optional<std::string> first;
    for (const auto& model : body["data"])
        if (!first && model.is_object() && model.contains("id") && model["id"].is_string())
            first = model["id"].get<std::string>();
    return {ModelAvailability::Reason::available, first};
}

} // namespace oxel::ChatCompletionsWire
