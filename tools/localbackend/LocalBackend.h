#pragma once

#include "localbackend/LocalBackendState.h"
#include "localbackend/LocalFaults.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oxel::local {

// One request as the local backend received it, kept for tests to look at.
struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string query; // the raw query text, as sent
    std::optional<std::string> authorization;
    std::string contentType;
    std::string body;
};

// A stand-in for the backend service on 127.0.0.1: it speaks the whole protocol the client uses
// (jobs, results, delivery, balance, products, configuration, announcements, suggestions, reports,
// downloads, funnel events and the sign-in exchange) and relights pictures locally. It is not the
// maker's relighting service.
class LocalBackend {
public:
    struct Options {
        uint16_t port = 0; // 0: any free port
        std::optional<std::filesystem::path> stateFile;
        // Jobs finish at once instead of walking through their statuses over a few seconds.
        bool instant = false;
        // How long an idle connection is kept open; stopping the server waits for open ones.
        int keepAliveSeconds = 5;
        // The clock that ages jobs (tests pass their virtual clock).
        std::function<TimePoint()> clock = [] { return std::chrono::system_clock::now(); };
    };

    explicit LocalBackend(Options options);
    ~LocalBackend();
    LocalBackend(const LocalBackend&) = delete;
    LocalBackend& operator=(const LocalBackend&) = delete;

    // Binds and starts serving on a thread of its own; false when the port can't be had.
    bool start();
    void stop();

    uint16_t port() const;
    std::string baseURL() const;

    void setFaults(LocalFaults faults);
    void clearFaults() { setFaults({}); }

    LocalBackendState& state();
    void setAnnouncement(std::optional<nlohmann::json> message);
    void setRemoteConfig(nlohmann::json config);
    std::vector<ReceivedRequest> receivedRequests() const;
    void forgetReceivedRequests();

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace oxel::local
