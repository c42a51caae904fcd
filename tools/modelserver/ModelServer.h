#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel::local {

// A deterministic stand-in for a model server on 127.0.0.1, speaking the chat-completions
// protocol under "/v1". It is not a language model: it answers a grade request by measuring the
// picture it is sent and filling the five properties from templates, and a naming request by
// picking words from the prompt. The same request always gets the same answer.
class ModelServer {
public:
    static constexpr const char* modelName = "oxel-stand-in";

    struct Options {
        uint16_t port = 0; // 0: any free port
        // Every answer is 503 for this long after `start()`, as a server loading its model.
        std::chrono::seconds loading{0};
        // Requests with a picture are refused with 400, as by a text-only model.
        bool readsPictures = true;
        // Each completion is held back this long.
        std::chrono::milliseconds delay{0};
        // The completion's content is not a JSON object.
        bool malformed = false;
        // The grade's strength comes as a text and its reading as a number.
        bool wrongTypes = false;
        // Every grade answers temperature "none".
        bool decline = false;
        // Completions are answered with this status and an error body instead (0: as usual).
        int status = 0;
        // The clock that ends the loading time (tests pass their virtual clock).
        std::function<std::chrono::steady_clock::time_point()> clock = [] { return std::chrono::steady_clock::now(); };
    };

    explicit ModelServer(Options options);
    ~ModelServer();
    ModelServer(const ModelServer&) = delete;
    ModelServer& operator=(const ModelServer&) = delete;

    // Binds and starts serving on a thread of its own; false when the port can't be had.
    bool start();
    // Stops serving and closes the port; answers held back by a delay end at once.
    void stop();

    uint16_t port() const;
    // "http://127.0.0.1:<port>/v1", the URL a client is configured with.
    std::string baseURL() const;

    // Changes the switches of a running server (the port and the clock stay).
    void setOptions(Options options);
    // The bodies of the completion requests received, oldest first.
    std::vector<std::string> receivedCompletions() const;
    void forgetReceivedCompletions();

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace oxel::local
