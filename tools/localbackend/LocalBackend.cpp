#include "localbackend/LocalBackend.h"

#include "localbackend/DevelopmentSignIn.h"

#include "localbackend/LocalRelight.h"
#include "localbackend/LoopbackServer.h"
#include "localbackend/PictureAnalysis.h"
#include "platform/JsonFields.h"

#include <httplib.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <future>
#include <thread>

namespace oxel::local {
namespace {

using Json = nlohmann::json;

constexpr int resultLongEdge = 2048;
constexpr int jpegQuality = 90;
constexpr double longestAspect = 4.0;
constexpr int inFlightLimit = 4;
constexpr size_t largestUpload = size_t(96) << 20;
constexpr size_t keptRequests = 200;
constexpr size_t servingThreads = 48;
constexpr size_t keptBodyBytes = size_t(1) << 20;
constexpr const char* imageModel = "local-relight-1";
constexpr const char* jpegDataPrefix = "data:image/jpeg;base64,";

std::string base64(const std::string& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3), '\0');
    int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()));
    text.resize(size_t(std::max(0, written)));
    return text;
}

std::optional<std::string> unbase64(std::string_view text)
{
    if (text.size() % 4 != 0 || text.size() > largestUpload) return std::nullopt;
    std::string bytes(text.size() / 4 * 3, '\0');
    int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    if (written < 0) return std::nullopt;
    size_t padding =
        text.empty() ? 0 : size_t(std::count(text.end() - std::min<size_t>(2, text.size()), text.end(), '='));
    bytes.resize(size_t(written) - padding);
    return bytes;
}

// Answers carry a charset parameter, which also keeps the HTTP library from compressing them:
// on loopback, deflating a large result costs more than sending it.
constexpr const char* jsonType = "application/json; charset=utf-8";

void answerJson(httplib::Response& res, int status, const Json& body)
{
    res.status = status;
    res.set_content(body.dump(), jsonType);
}

// Statuses whose answers never have a body.
bool bodiless(int status)
{
    return status == 204 || status == 304 || (status >= 100 && status < 200);
}

void refuse(httplib::Response& res, int status, const std::string& error)
{
    answerJson(res, status, {{"error", error}});
}

std::optional<std::string> bearerToken(const httplib::Request& req)
{
    if (!req.has_header("Authorization")) return std::nullopt;
    std::string value = req.get_header_value("Authorization");
    if (value.rfind("Bearer ", 0) != 0) return std::string();
    return value.substr(7);
}

Json defaultRemoteConfig()
{
    return {{"detailTransferEnabled", true},
            {"refineDivergenceLimit", 0.25},
            {"sameSceneStructureLimit", 0.1},
            {"suggestedGradeEnabled", true},
            {"maxInFlightJobs", inFlightLimit}};
}

Json nudgeSuggestions()
{
    return {{"nudges",
             {"warmer, like late afternoon", "soft window light from the left", "a little more contrast",
              "keep the shadows deep", "cooler, overcast morning"}}};
}

struct Pack {
    const char* id;
    int64_t credits;
    const char* label;
    const char* price;
    const char* euros;
};

constexpr Pack packs[] = {
    {"roll-10", 10, "10 shots", "$9", "9 €"},
    {"roll-50", 50, "50 shots", "$39", "36 €"},
    {"roll-200", 200, "200 shots", "$129", "119 €"},
};

const Pack* packNamed(const std::string& id)
{
    for (const auto& pack : packs)
        if (id == pack.id) return &pack;
    return nullptr;
}

std::optional<int64_t> numberText(const std::string& text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

std::optional<int64_t> numberParameter(const httplib::Request& req, const char* name)
{
    if (!req.has_param(name)) return std::nullopt;
    return numberText(req.get_param_value(name));
}

// A copy of `value` whose tokens (any key that names one, at any depth) read "[redacted]": funnel
// events carry the caller's account token, which has no place in a log.
Json withoutTokens(Json value)
{
    if (!value.is_object()) return value;
    for (auto item = value.begin(); item != value.end(); ++item) {
        std::string key = item.key();
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        item.value() = key.find("token") != std::string::npos ? Json("[redacted]") : withoutTokens(item.value());
    }
    return value;
}

} // namespace

struct LocalBackend::Server {
    Options options;
    LocalBackendState state;
    LoopbackServer serving;
    // Its own type, so that the handlers set here leave the request deadline's own in place.
    RequestDeadlineServer& http = serving.http;

    mutable std::mutex mutex;
    LocalFaults faults;
    std::optional<Json> announcement;
    Json remoteConfig = defaultRemoteConfig();
    std::deque<ReceivedRequest> received;
    DevelopmentSignIn signInPages;

    explicit Server(Options o) : options(std::move(o)), state(options.stateFile) { routes(); }

    LocalFaults currentFaults() const
    {
        std::lock_guard lock(mutex);
        return faults;
    }

    bool touches(const LocalFaults& f, const httplib::Request& req) const
    {
        return req.path.rfind(f.pathPrefix, 0) == 0;
    }

    void remember(const httplib::Request& req)
    {
        ReceivedRequest entry{req.method,
                              req.path,
                              req.target.find('?') == std::string::npos ? std::string()
                                                                        : req.target.substr(req.target.find('?') + 1),
                              std::nullopt,
                              req.get_header_value("Content-Type"),
                              req.body.substr(0, keptBodyBytes)};
        if (req.has_header("Authorization")) entry.authorization = req.get_header_value("Authorization");
        std::lock_guard lock(mutex);
        received.push_back(std::move(entry));
        if (received.size() > keptRequests) received.pop_front();
    }

    // Takes one use of the status switch; false when it no longer applies.
    bool takeStatusFault()
    {
        std::lock_guard lock(mutex);
        if (faults.status == 0 || faults.times == 0) return false;
        if (faults.times > 0) --faults.times;
        return true;
    }

    httplib::Server::HandlerResponse beforeRouting(const httplib::Request& req, httplib::Response& res)
    {
        LocalFaults f = currentFaults();
        if (!touches(f, req)) return httplib::Server::HandlerResponse::Unhandled;
        if (f.delay.count() > 0) serving.hold(f.delay);
        bool injectStatus = f.status != 0 && takeStatusFault();
        if (!f.answer && !injectStatus) return httplib::Server::HandlerResponse::Unhandled;
        res.status = injectStatus ? f.status : 200;
        // The request's body may not have been read: a kept-alive connection would then wait
        // for a next request in the middle of it.
        res.set_header("Connection", "close");
        if (!bodiless(res.status))
            res.set_content(f.answer ? *f.answer : std::string(R"({"error":"injected failure"})"), jsonType);
        return httplib::Server::HandlerResponse::Handled;
    }

    // Runs for every request, after its body was read (unless a fault answered first).
    void afterRouting(const httplib::Request& req, httplib::Response& res)
    {
        remember(req);
        LocalFaults f = currentFaults();
        if (!touches(f, req) || f.answer || f.body == LocalFaults::Body::intact) return;
        if (f.body == LocalFaults::Body::malformed) res.body = "{\"this is\": not json";
        if (f.body == LocalFaults::Body::truncated) res.body = res.body.substr(0, res.body.size() / 2);
        res.headers.erase("Content-Length");
        res.set_header("Content-Length", std::to_string(res.body.size()));
    }

    std::optional<Account> caller(const httplib::Request& req)
    {
        auto token = bearerToken(req);
        if (!token && req.has_param("accountToken")) token = req.get_param_value("accountToken");
        if (!token) return std::nullopt;
        return state.accountForToken(*token);
    }

    // The answer to a request whose token is no account's: when the user id it names (in the query
    // or the JSON body) is no account either, the account is gone; else the token is not, or no
    // longer, its account's.
    void refuseStranger(const httplib::Request& req, httplib::Response& res)
    {
        auto named = numberParameter(req, "userId");
        if (!named && !req.body.empty()) {
            Json body = parseJson(req.body).value_or(Json());
            if (body.is_object() && body.value("userId", Json()).is_string())
                named = numberText(body["userId"].get<std::string>());
        }
        if (named && !state.account(*named)) return refuse(res, 404, "no_such_account");
        refuse(res, 401, "unauthorized");
    }

    // Runs `handle` with the job named in the path when it belongs to the calling account.
    template <class Handle>
    void withCallersJob(const httplib::Request& req, httplib::Response& res, Handle handle)
    {
        auto account = caller(req);
        if (!account) return refuseStranger(req, res);
        auto job = state.job(req.matches[1]);
        if (!job || job->userId != account->userId) return refuse(res, 404, "no_such_job");
        handle(*job);
    }

    bool finished(const Job& job)
    {
        auto status = jobMoment(job, options.clock(), options.instant).status;
        return status == "succeeded" || status == "delivered";
    }

    void submit(const httplib::Request& req, httplib::Response& res)
    {
        Json body = parseJson(req.body).value_or(Json());
        if (!body.is_object()) return refuse(res, 400, "bad_request");
        auto account = caller(req);
        if (!account) return refuseStranger(req, res);
        auto userId = body.find("userId");
        if (userId == body.end() || !userId->is_string() || *userId != std::to_string(account->userId))
            return refuse(res, 403, "forbidden");
        LocalFaults f = currentFaults();
        if (f.refusal == "insufficient_credits") return refuse(res, 402, f.refusal);
        if (f.refusal == "too_many_inflight") return refuse(res, 429, f.refusal);
        if (f.refusal == "aspect_unsupported") return refuse(res, 422, f.refusal);
        if (account->balance <= 0) return refuse(res, 402, "insufficient_credits");
        if (state.inFlight(account->userId, options.clock(), options.instant) >= inFlightLimit)
            return refuse(res, 429, "too_many_inflight");
        auto image = body.find("image");
        if (image == body.end() || !image->is_string()) return refuse(res, 400, "no_image");
        const auto& dataURL = image->get_ref<const std::string&>();
        if (dataURL.rfind(jpegDataPrefix, 0) != 0) return refuse(res, 400, "not_a_jpeg");
        auto jpeg = unbase64(std::string_view(dataURL).substr(std::string_view(jpegDataPrefix).size()));
        if (!jpeg) return refuse(res, 400, "bad_base64");
        auto picture = decodeReduced(*jpeg, resultLongEdge);
        if (!picture) return refuse(res, 400, "image_unreadable");
        double aspect = double(std::max(picture->width, picture->height)) / std::min(picture->width, picture->height);
        if (aspect > longestAspect) return refuse(res, 422, "aspect_unsupported");
        answerJson(res, 200, {{"jobId", makeJob(body, *account, *picture, f)}});
    }

    std::string makeJob(const Json& body, const Account& account, const RgbPicture& picture, const LocalFaults& f)
    {
        auto statistics = PictureStatistics::measure(picture);
        Job job;
        job.id = state.nextJobId();
        job.userId = account.userId;
        if (auto nudge = body.find("nudge"); nudge != body.end() && nudge->is_string()) job.nudge = *nudge;
        if (auto retry = body.find("retryOfJobId"); retry != body.end() && retry->is_string()) job.retryOf = *retry;
        job.created = options.clock();
        job.failureCode = f.failJobs;
        job.ending = f.endJobs;
        job.stale = f.staleJobs;
        job.analysis = analysisJson(statistics);
        job.narration = narrationJson(statistics, 3);
        // The two renders are independent: make them side by side.
        auto refined = std::async(std::launch::async, [&] { return encodeJPEG(relit(picture, 0.6), jpegQuality); });
        job.fullSend = encodeJPEG(relit(picture, 1.0), jpegQuality);
        job.refined = refined.get();
        std::string id = job.id;
        state.addJob(std::move(job));
        return id;
    }

    void status(const httplib::Request& req, httplib::Response& res)
    {
        withCallersJob(req, res, [&](const Job& job) {
            auto moment = jobMoment(job, options.clock(), options.instant);
            Json answer = {{"job_id", job.id},
                           {"status", moment.status},
                           {"updated_at", internetDate(moment.updated, currentFaults().fractionalDates)},
                           {"image_model", imageModel},
                           {"post_processed", false},
                           {"postprocess_version", 0}};
            if (moment.status == "failed") answer["failure_code"] = *job.failureCode;
            if (moment.narrationSteps > 0) {
                Json narration = Json::object();
                const char* keys[] = {"descriptors", "perceived_intent", "direction"};
                for (int i = 0; i < moment.narrationSteps; ++i)
                    if (job.narration.contains(keys[i])) narration[keys[i]] = job.narration[keys[i]];
                answer["narration"] = narration;
            }
            answerJson(res, 200, answer);
        });
    }

    void result(const httplib::Request& req, httplib::Response& res)
    {
        withCallersJob(req, res, [&](const Job& job) {
            if (!finished(job)) return refuse(res, 409, "not_ready");
            res.status = 200;
            res.set_content(resultAnswer(job, state.pictures(job.id).value_or(JobPictures{})), jsonType);
        });
    }

    // The result answer is written by hand around the pictures: base64 text needs no escaping,
    // and serialising megabytes of it through the JSON writer would cost more than the transfer.
    static std::string resultAnswer(const Job& job, const JobPictures& pictures)
    {
        Json rest = {{"analysis", job.analysis},
                     {"post_processed", false},
                     {"postprocess_version", 0},
                     {"imageModel", imageModel}};
        std::string answer = R"({"refinedImage":")";
        answer.append(base64(pictures.refined)).append(R"(","fullSendImage":")").append(base64(pictures.fullSend));
        answer.append("\",").append(rest.dump().substr(1));
        return answer;
    }

    void confirmDelivery(const httplib::Request& req, httplib::Response& res)
    {
        withCallersJob(req, res, [&](const Job& job) {
            if (!finished(job)) return refuse(res, 409, "not_ready");
            state.deliver(job.id);
            answerJson(res, 200, {{"ok", true}});
        });
    }

    void report(const httplib::Request& req, httplib::Response& res)
    {
        withCallersJob(req, res, [&](const Job& job) {
            Json body = parseJson(req.body).value_or(Json());
            bool withPicture = body.is_object() && body.contains("image");
            answerJson(res, 200, {{"reportId", state.fileReport(job.id, withPicture)}});
        });
    }

    void download(const httplib::Request& req, httplib::Response& res)
    {
        withCallersJob(req, res, [&](const Job& job) {
            state.markDownloaded(job.id);
            answerJson(res, 200, {{"ok", true}});
        });
    }

    void balance(const httplib::Request& req, httplib::Response& res)
    {
        auto userId = numberParameter(req, "userId");
        auto account = userId ? state.account(*userId) : std::nullopt;
        if (!account) return refuse(res, 404, "no_such_account");
        auto token = bearerToken(req);
        if (token && *token != account->token) return refuse(res, 403, "token_refused");
        // Without a token the account is being recovered: hand out a new one.
        bool rotate = !token || currentFaults().rotateTokens;
        if (rotate) account = state.rotateToken(account->userId);
        Json answer = {{"balance", account->balance},
                       {"paidCredits", account->paidCredits},
                       {"accessState", account->accessState},
                       {"systemSlow", false}};
        if (rotate) answer["accountToken"] = account->token;
        answerJson(res, 200, answer);
    }

    void products(httplib::Response& res)
    {
        Json list = Json::array();
        for (const auto& pack : packs)
            list.push_back({{"id", pack.id},
                            {"credits", pack.credits},
                            {"label", pack.label},
                            {"price", pack.price},
                            {"prices", {{"USD", pack.price}, {"EUR", pack.euros}}},
                            {"checkoutURL", publicURL() + "/pro/checkout/" + pack.id},
                            {"provider", "local"}});
        answerJson(res, 200, {{"products", list}, {"available", true}});
    }

    void checkoutPage(const httplib::Request& req, httplib::Response& res)
    {
        const Pack* pack = packNamed(req.matches[1]);
        if (!pack) return refuse(res, 404, "no_such_product");
        auto userId = numberParameter(req, "client_reference_id");
        if (!userId || !state.account(*userId)) return refuse(res, 404, "no_such_account");
        std::string user = std::to_string(*userId);
        res.set_content(std::string("<!doctype html><meta charset=utf-8><title>local checkout</title>") +
                            "<p>This is the local stand-in backend: no payment is taken.</p>" +
                            "<form method=post><input type=hidden name=client_reference_id value=\"" + user +
                            "\"><button>add " + pack->label + "</button></form>",
                        "text/html");
    }

    void checkout(const httplib::Request& req, httplib::Response& res)
    {
        const Pack* pack = packNamed(req.matches[1]);
        auto userId = numberParameter(req, "client_reference_id");
        if (!pack) return refuse(res, 404, "no_such_product");
        if (!userId || !state.account(*userId)) return refuse(res, 404, "no_such_account");
        state.credit(*userId, pack->credits, true);
        res.set_content("<!doctype html><meta charset=utf-8><p>Added " + std::string(pack->label) + ".</p>",
                        "text/html");
    }

    void message(httplib::Response& res)
    {
        std::lock_guard lock(mutex);
        answerJson(res, 200, announcement ? Json{{"message", *announcement}} : Json::object());
    }

    void funnel(const httplib::Request& req, httplib::Response& res)
    {
        Json event = parseJson(req.body).value_or(Json());
        if (!event.is_object()) return refuse(res, 400, "bad_request");
        std::fprintf(stderr, "[local backend] funnel %s\n", withoutTokens(event).dump().c_str());
        state.recordFunnelEvent(event);
        answerJson(res, 200, {{"ok", true}});
    }

    void signIn(const httplib::Request& req, httplib::Response& res, const char* provider, const char* key)
    {
        Json body = parseJson(req.body).value_or(Json());
        if (!body.is_object() || !body.contains(key) || !(*body.find(key)).is_string() ||
            body[key].get_ref<const std::string&>().empty())
            return refuse(res, 400, "no_identity_token");
        Account account = state.signIn(provider, body[key].get<std::string>());
        answerJson(res, 200,
                   {{"status", "ok"},
                    {"userId", account.userId},
                    {"accessState", account.accessState},
                    {"accountToken", account.token}});
    }

    std::string publicURL() const { return serving.origin(); }

    void routes()
    {
        http.set_payload_max_length(largestUpload + 1024);
        http.set_keep_alive_timeout(options.keepAliveSeconds);
        // Headers and body go out in separate writes; without this the body waits for a delayed ACK.
        http.set_tcp_nodelay(true);
        // Every kept-alive connection holds one thread: leave room for many clients' threads.
        http.setServingThreads(servingThreads);
        http.set_pre_routing_handler([this](const auto& req, auto& res) { return beforeRouting(req, res); });
        http.set_post_routing_handler([this](const auto& req, auto& res) { afterRouting(req, res); });
        http.Post("/jobs", [this](const auto& req, auto& res) { submit(req, res); });
        http.Get(R"(/jobs/([^/]+))", [this](const auto& req, auto& res) { status(req, res); });
        http.Get(R"(/jobs/([^/]+)/result)", [this](const auto& req, auto& res) { result(req, res); });
        http.Post(R"(/jobs/([^/]+)/confirm-delivery)",
                  [this](const auto& req, auto& res) { confirmDelivery(req, res); });
        http.Post(R"(/jobs/([^/]+)/report)", [this](const auto& req, auto& res) { report(req, res); });
        http.Post(R"(/jobs/([^/]+)/download)", [this](const auto& req, auto& res) { download(req, res); });
        http.Get("/credits/balance", [this](const auto& req, auto& res) { balance(req, res); });
        http.Get("/pro/products", [this](const auto&, auto& res) { products(res); });
        http.Get(R"(/pro/checkout/([^/]+))", [this](const auto& req, auto& res) { checkoutPage(req, res); });
        http.Post(R"(/pro/checkout/([^/]+))", [this](const auto& req, auto& res) { checkout(req, res); });
        http.Get("/config/app", [this](const auto&, auto& res) {
            std::lock_guard lock(mutex);
            answerJson(res, 200, remoteConfig);
        });
        http.Get("/config/message", [this](const auto&, auto& res) { message(res); });
        http.Get("/config/suggestions", [](const auto&, auto& res) { answerJson(res, 200, nudgeSuggestions()); });
        http.Post("/events/funnel", [this](const auto& req, auto& res) { funnel(req, res); });
        http.Post("/auth/apple", [this](const auto& req, auto& res) { signIn(req, res, "apple", "identityToken"); });
        http.Post("/auth/google", [this](const auto& req, auto& res) { signIn(req, res, "google", "idToken"); });
        signInPages.addRoutes(http);
    }
};

LocalBackend::LocalBackend(Options options) : server_(std::make_unique<Server>(std::move(options)))
{}

LocalBackend::~LocalBackend()
{
    stop();
}

bool LocalBackend::start()
{
    return server_->serving.start(server_->options.port);
}

void LocalBackend::stop()
{
    server_->serving.stop();
}

uint16_t LocalBackend::port() const
{
    return uint16_t(server_->serving.port());
}

std::string LocalBackend::baseURL() const
{
    return server_->publicURL();
}

void LocalBackend::setFaults(LocalFaults faults)
{
    std::lock_guard lock(server_->mutex);
    server_->faults = std::move(faults);
}

LocalBackendState& LocalBackend::state()
{
    return server_->state;
}

void LocalBackend::setAnnouncement(std::optional<Json> message)
{
    std::lock_guard lock(server_->mutex);
    server_->announcement = std::move(message);
}

void LocalBackend::setRemoteConfig(Json config)
{
    std::lock_guard lock(server_->mutex);
    server_->remoteConfig = std::move(config);
}

std::vector<ReceivedRequest> LocalBackend::receivedRequests() const
{
    std::lock_guard lock(server_->mutex);
    return {server_->received.begin(), server_->received.end()};
}

void LocalBackend::forgetReceivedRequests()
{
    std::lock_guard lock(server_->mutex);
    server_->received.clear();
}

} // namespace oxel::local
