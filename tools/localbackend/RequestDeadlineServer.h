#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace oxel::local {

// An HTTP server whose connections must deliver each request's header block within a deadline.
// The library's own timeout is per read, so a client trickling one header byte every few seconds
// would hold a serving thread for as long as it liked; past the deadline such a connection is
// shut down. The clock starts when a connection is accepted and again after each answer, and stops
// once a request's headers are in, so handlers may take as long as they need.
class RequestDeadlineServer : public httplib::Server {
public:
    static constexpr std::chrono::milliseconds standardDeadline{10'000};

    RequestDeadlineServer();
    ~RequestDeadlineServer() override;

    // Before listening; shorter in tests.
    void setRequestDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }
    // Before listening: how many connections are served at once, each kept-alive one holding a thread.
    void setServingThreads(size_t threads) { servingThreads_ = threads; }
    // The port the server listens on, whose accepted connections are watched.
    void watchConnectionsTo(int port);
    // Shuts every open connection, and each one still accepted until the next watchConnectionsTo: a
    // stopping server then need not wait out the idle limit of its clients' kept-alive connections.
    void endConnections();

    // The deadline's clock stops before the caller's handler runs.
    RequestDeadlineServer& set_pre_routing_handler(HandlerWithResponse handler);

private:
    using Peer = std::pair<std::string, int>;
    using Clock = std::chrono::steady_clock;
    struct Watch {
        // A duplicate of the connection's socket: the socket, and so its identity, lives until the
        // watch ends, whatever the library does with its own number.
        int socket = -1;
        Peer peer;
        Clock::time_point due = Clock::time_point::max();
    };
    class WatchingQueue;

    // The connection the library has just accepted, found among the process's open sockets.
    std::optional<uint64_t> adoptAcceptedConnection();
    void release(uint64_t connection);
    void arm(const Peer& peer, Clock::time_point due);
    void watchDeadlines();

    std::chrono::milliseconds deadline_ = standardDeadline;
    size_t servingThreads_ = CPPHTTPLIB_THREAD_POOL_COUNT;
    int port_ = -1;
    HandlerWithResponse preRouting_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Open connections by their socket's inode.
    std::map<uint64_t, Watch> watches_;
    bool ending_ = false;
    bool endingConnections_ = false;
    std::thread watcher_;
};

} // namespace oxel::local
