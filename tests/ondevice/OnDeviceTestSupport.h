#pragma once

#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "async/WorkPool.h"
#include "imaging/Bitmap.h"
#include "modelserver/ModelServer.h"
#include "ondevice/ChatCompletionsModel.h"

#include <httplib.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

namespace oxel::testing {

template <class T>
Task<void> storeInto(Task<T> task, std::optional<T>& result)
{
    result.emplace(co_await std::move(task));
}

// Runs the task on the loop to its end; nothing when the loop stalled first.
template <class T>
std::optional<T> awaited(ManualLoop& loop, Task<T> task)
{
    std::optional<T> result;
    TaskScope scope;
    scope.spawn(storeInto(std::move(task), result));
    loop.runUntil([&] { return result.has_value(); });
    return result;
}

// How long a test's client waits for its server's first answer: as long as a loaded machine may
// need, while a server that never answers still fails the test.
constexpr std::chrono::seconds loadedProbeLimit{60};

// A client of the server at `url`, on the loop's clock and the shared pool.
inline std::unique_ptr<ChatCompletionsModel> clientOf(ManualLoop& loop, const std::string& url,
                                                      bool readsPictures = true)
{
    ChatCompletionsModel::Environment environment{{url, std::nullopt, readsPictures}, &loop, &WorkPool::shared()};
    environment.probeLimit = loadedProbeLimit;
    return std::make_unique<ChatCompletionsModel>(std::move(environment));
}

// Runs the loop until the client's first look at its server has answered.
inline bool probed(ManualLoop& loop, const LanguageModel& model)
{
    return loop.runUntil([&] { return model.availability().reason != ModelAvailability::Reason::notProbed; },
                         loadedProbeLimit);
}

// The stand-in model server on an ephemeral port, on the loop's clock.
inline local::ModelServer::Options standInOptions(ManualLoop& loop)
{
    local::ModelServer::Options options;
    options.clock = [&loop] { return loop.steady(); };
    return options;
}

// A server that lists one model and answers every completion with one fixed status and body.
class CannedModelServer {
public:
    CannedModelServer(int status, std::string body, std::string location = "")
        : status_(status), body_(std::move(body)), location_(std::move(location))
    {
        http_.set_keep_alive_max_count(1);
        http_.Get("/v1/models", [](const auto&, auto& res) {
            res.set_content(R"({"object":"list","data":[{"id":"canned"}]})", "application/json");
        });
        http_.Post("/v1/chat/completions", [this](const auto&, auto& res) {
            ++completions_;
            if (!location_.empty()) res.set_header("Location", location_);
            res.status = status_;
            res.set_content(body_, "application/json");
        });
        port_ = http_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { http_.listen_after_bind(); });
        while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CannedModelServer()
    {
        http_.stop();
        thread_.join();
    }

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1"; }
    int completions() const { return completions_; }

private:
    int status_;
    std::string body_;
    std::string location_;
    std::atomic<int> completions_{0};
    httplib::Server http_;
    int port_ = 0;
    std::thread thread_;
};

// A server that lists one model and answers every completion with a byte every 50 ms until it
// stops: never idle, never done.
class TricklingModelServer {
public:
    TricklingModelServer()
    {
        // No connection is kept alive: the server then stops without waiting out its idle limit.
        http_.set_keep_alive_max_count(1);
        http_.Get("/v1/models", [](const auto&, auto& res) {
            res.set_content(R"({"object":"list","data":[{"id":"trickling"}]})", "application/json");
        });
        http_.Post("/v1/chat/completions", [this](const auto&, auto& res) {
            ++streams_;
            res.set_header("Connection", "close");
            res.set_chunked_content_provider("application/json", [this](size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return !stopping_ && sink.write(" ", 1);
            });
        });
        port_ = http_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { http_.listen_after_bind(); });
        while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TricklingModelServer()
    {
        stopping_ = true;
        http_.stop();
        thread_.join();
    }

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1"; }
    // Completions begun.
    int streams() const { return streams_; }

private:
    std::atomic<int> streams_{0};
    std::atomic<bool> stopping_{false};
    httplib::Server http_;
    int port_ = 0;
    std::thread thread_;
};

// A completion answer whose message says `content`.
inline std::string completionSaying(const std::string& content)
{
    return nlohmann::json{{"choices", {{{"index", 0}, {"message", {{"role", "assistant"}, {"content", content}}}}}}}
        .dump();
}

// An sRGB picture of a smooth gradient: warm and colourful, or grey when `grey`.
inline Bitmap gradientPicture(int width, int height, bool grey = false)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBX8, ColourSpace::sRGB());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.mutableRow(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t level = uint8_t(40 + 180 * x / std::max(1, width - 1));
            row[x * 4 + 0] = grey ? level : uint8_t(std::min(255, level + 40));
            row[x * 4 + 1] = grey ? level : uint8_t(level * 3 / 4);
            row[x * 4 + 2] = grey ? level : uint8_t(level / 3 + 20 * y / std::max(1, height - 1));
            row[x * 4 + 3] = 255;
        }
    }
    return bitmap;
}

} // namespace oxel::testing
