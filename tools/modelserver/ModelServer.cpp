#include "modelserver/ModelServer.h"

#include "backend/Base64.h"
#include "localbackend/LocalRelight.h"
#include "localbackend/LoopbackServer.h"
#include "modelserver/ModelAnswers.h"
#include "platform/JsonFields.h"

#include <httplib.h>

#include <mutex>

namespace oxel::local {
namespace {

using OrderedJson = nlohmann::ordered_json;

constexpr size_t largestRequest = size_t(64) << 20;
constexpr int pictureLongEdge = 1024;
// From this sampling temperature on, a grade takes the neighbouring density.
constexpr double secondOpinionTemperature = 0.5;
constexpr const char* jpegDataPrefix = "data:image/jpeg;base64,";
constexpr const char* jsonType = "application/json; charset=utf-8";

void answerJson(httplib::Response& res, int status, const OrderedJson& body)
{
    res.status = status;
    res.set_content(body.dump(), jsonType);
}

void refuse(httplib::Response& res, int status, const std::string& message)
{
    answerJson(res, status, {{"error", {{"message", message}, {"code", status}}}});
}

// What a chat request asks: its last user text, its picture's data URL and how it is to answer.
struct ChatRequest {
    std::string prompt;
    std::optional<std::string> pictureURL;
    bool structured = false;
    std::vector<std::string> propertyOrder;
    double temperature = 1.0;
};

void readContent(const OrderedJson& content, ChatRequest& request)
{
    if (content.is_string()) request.prompt = content.get<std::string>();
    if (!content.is_array()) return;
    for (const auto& part : content) {
        if (!part.is_object()) continue;
        const auto type = part.value("type", "");
        if (type == "text" && part.contains("text") && part["text"].is_string()) request.prompt = part["text"];
        if (type == "image_url" && part.contains("image_url") && part["image_url"].is_object()) {
            const auto& url = part["image_url"];
            if (url.contains("url") && url["url"].is_string()) request.pictureURL = url["url"];
        }
    }
}

std::optional<ChatRequest> chatRequest(const OrderedJson& body)
{
    if (!body.is_object() || !body.contains("messages") || !body["messages"].is_array()) return std::nullopt;
    ChatRequest request;
    for (const auto& message : body["messages"])
        if (message.is_object() && message.value("role", "") == "user" && message.contains("content"))
            readContent(message["content"], request);
    if (body.contains("temperature") && body["temperature"].is_number())
        request.temperature = body["temperature"].get<double>();
    const auto format = body.find("response_format");
    if (format != body.end() && format->is_object() && format->value("type", "") == "json_schema") {
        request.structured = true;
        const OrderedJson schema =
            format->value("json_schema", OrderedJson::object()).value("schema", OrderedJson::object());
        const OrderedJson properties =
            schema.is_object() ? schema.value("properties", OrderedJson::object()) : OrderedJson::object();
        if (properties.is_object())
            for (const auto& [name, property] : properties.items()) request.propertyOrder.push_back(name);
    }
    return request;
}

std::optional<RgbPicture> pictureOf(const std::string& dataURL)
{
    if (dataURL.rfind(jpegDataPrefix, 0) != 0) return std::nullopt;
    const auto jpeg = base64Decoded(std::string_view(dataURL).substr(std::string_view(jpegDataPrefix).size()));
    if (!jpeg) return std::nullopt;
    return decodeReduced(*jpeg, pictureLongEdge);
}

// The draft's properties in the order the schema lists them; those it does not list follow.
OrderedJson inSchemaOrder(const OrderedJson& draft, const std::vector<std::string>& order)
{
    OrderedJson ordered = OrderedJson::object();
    for (const auto& name : order)
        if (draft.contains(name)) ordered[name] = draft[name];
    for (const auto& [name, value] : draft.items())
        if (!ordered.contains(name)) ordered[name] = value;
    return ordered;
}

OrderedJson completion(int number, int64_t created, const std::string& content)
{
    return {{"id", "chatcmpl-oxel-" + std::to_string(number)},
            {"object", "chat.completion"},
            {"created", created},
            {"model", ModelServer::modelName},
            {"choices", OrderedJson::array({{{"index", 0},
                                             {"message", {{"role", "assistant"}, {"content", content}}},
                                             {"finish_reason", "stop"}}})},
            {"usage", {{"prompt_tokens", 0}, {"completion_tokens", 0}, {"total_tokens", 0}}}};
}

} // namespace

struct ModelServer::Server {
    LoopbackServer serving;
    httplib::Server& http = serving.http;

    mutable std::mutex mutex;
    Options options;
    std::chrono::steady_clock::time_point started;
    std::vector<std::string> received;
    int answered = 0;

    explicit Server(Options o) : options(std::move(o)) { routes(); }

    Options currentOptions() const
    {
        std::lock_guard lock(mutex);
        return options;
    }

    bool loading() const
    {
        std::lock_guard lock(mutex);
        return options.clock() - started < options.loading;
    }

    void models(httplib::Response& res)
    {
        answerJson(res, 200,
                   {{"object", "list"},
                    {"data", OrderedJson::array({{{"id", modelName}, {"object", "model"}, {"owned_by", "oxel"}}})}});
    }

    void chat(const httplib::Request& req, httplib::Response& res)
    {
        int number = 0;
        {
            std::lock_guard lock(mutex);
            received.push_back(req.body);
            number = ++answered;
        }
        const Options o = currentOptions();
        if (o.delay.count() > 0) serving.hold(o.delay);
        if (o.status != 0) return refuse(res, o.status, "the stand-in was told to answer " + std::to_string(o.status));
        const auto request = chatRequest(parseOrderedJson(req.body).value_or(nullptr));
        if (!request) return refuse(res, 400, "the request is not a chat request");
        if (request->pictureURL && !o.readsPictures) return refuse(res, 400, "this model can't read pictures");
        std::string content;
        if (request->structured) {
            if (!request->pictureURL) return refuse(res, 400, "a grade needs a picture");
            const auto picture = pictureOf(*request->pictureURL);
            if (!picture) return refuse(res, 400, "the picture is not a JPEG data URL");
            content = gradeContent(*picture, *request, o);
        } else {
            content = batchNameAnswer(request->prompt);
        }
        const auto created = std::chrono::duration_cast<std::chrono::seconds>(o.clock().time_since_epoch()).count();
        answerJson(res, 200, completion(number, created, content));
    }

    static std::string gradeContent(const RgbPicture& picture, const ChatRequest& request, const Options& o)
    {
        if (o.malformed) return R"({"reading": "The light is)";
        const DraftChoice choice{request.temperature >= secondOpinionTemperature, o.decline};
        OrderedJson draft =
            inSchemaOrder(gradeDraft(PictureStatistics::measure(picture), choice), request.propertyOrder);
        if (o.wrongTypes) {
            draft["strength"] = draft["strength"].dump();
            draft["reading"] = 1;
        }
        return draft.dump();
    }

    void routes()
    {
        http.set_payload_max_length(largestRequest);
        // One request a connection: requests are few and long, and stopping never waits for an idle client.
        http.set_keep_alive_max_count(1);
        http.set_tcp_nodelay(true);
        http.set_pre_routing_handler([this](const auto&, auto& res) {
            if (!loading()) return httplib::Server::HandlerResponse::Unhandled;
            refuse(res, 503, "loading model");
            return httplib::Server::HandlerResponse::Handled;
        });
        http.Get("/v1/models", [this](const auto&, auto& res) { models(res); });
        http.Post("/v1/chat/completions", [this](const auto& req, auto& res) { chat(req, res); });
    }
};

ModelServer::ModelServer(Options options) : server_(std::make_unique<Server>(std::move(options)))
{}

ModelServer::~ModelServer()
{
    stop();
}

bool ModelServer::start()
{
    auto& s = *server_;
    {
        std::lock_guard lock(s.mutex);
        s.started = s.options.clock();
    }
    return s.serving.start(s.options.port);
}

void ModelServer::stop()
{
    server_->serving.stop();
}

uint16_t ModelServer::port() const
{
    return uint16_t(server_->serving.port());
}

std::string ModelServer::baseURL() const
{
    return server_->serving.origin() + "/v1";
}

void ModelServer::setOptions(Options options)
{
    std::lock_guard lock(server_->mutex);
    options.port = server_->options.port;
    options.clock = server_->options.clock;
    server_->options = std::move(options);
}

std::vector<std::string> ModelServer::receivedCompletions() const
{
    std::lock_guard lock(server_->mutex);
    return server_->received;
}

void ModelServer::forgetReceivedCompletions()
{
    std::lock_guard lock(server_->mutex);
    server_->received.clear();
}

} // namespace oxel::local
