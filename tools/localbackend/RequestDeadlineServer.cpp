#include "localbackend/RequestDeadlineServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace oxel::local {
namespace {

std::optional<std::pair<std::string, int>> addressOf(int sock, bool peer)
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? getpeername(sock, raw, &length) : getsockname(sock, raw, &length)) != 0) return std::nullopt;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof(text));
        return std::pair<std::string, int>{text, ntohs(v4.sin_port)};
    }
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof(text));
        return std::pair<std::string, int>{text, ntohs(v6.sin6_port)};
    }
    return std::nullopt;
}

} // namespace

// The library's pool, learning of each accepted connection as it is handed over: the listening
// thread accepts and enqueues before it accepts again, so exactly one unwatched connection exists.
class RequestDeadlineServer::WatchingQueue : public httplib::ThreadPool {
public:
    WatchingQueue(RequestDeadlineServer& server, size_t threads) : ThreadPool(threads), server_(server) {}

    void enqueue(std::function<void()> serve) override
    {
        auto connection = server_.adoptAcceptedConnection();
        ThreadPool::enqueue([this, serve = std::move(serve), connection] {
            serve();
            if (connection) server_.release(*connection);
        });
    }

private:
    RequestDeadlineServer& server_;
};

RequestDeadlineServer::RequestDeadlineServer() : watcher_([this] { watchDeadlines(); })
{
    new_task_queue = [this] { return new WatchingQueue(*this, servingThreads_); };
    httplib::Server::set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        arm({request.remote_addr, request.remote_port}, Clock::time_point::max());
        return preRouting_ ? preRouting_(request, response) : HandlerResponse::Unhandled;
    });
    set_logger([this](const httplib::Request& request, const httplib::Response&) {
        arm({request.remote_addr, request.remote_port}, Clock::now() + deadline_);
    });
}

RequestDeadlineServer::~RequestDeadlineServer()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    watcher_.join();
    for (auto& [connection, watch] : watches_) close(watch.socket);
}

RequestDeadlineServer& RequestDeadlineServer::set_pre_routing_handler(HandlerWithResponse handler)
{
    preRouting_ = std::move(handler);
    return *this;
}

void RequestDeadlineServer::watchConnectionsTo(int port)
{
    std::lock_guard lock(mutex_);
    port_ = port;
    endingConnections_ = false;
}

void RequestDeadlineServer::endConnections()
{
    std::lock_guard lock(mutex_);
    endingConnections_ = true;
    // Ends the library's waiting reads; each serving thread then closes its connection as it always does.
    for (auto& [connection, watch] : watches_) shutdown(watch.socket, SHUT_RDWR);
}

std::optional<uint64_t> RequestDeadlineServer::adoptAcceptedConnection()
{
    if (port_ < 0) return std::nullopt;
    DIR* descriptors = opendir("/proc/self/fd");
    if (!descriptors) return std::nullopt;
    std::optional<uint64_t> adopted;
    std::lock_guard lock(mutex_);
    while (dirent* entry = readdir(descriptors)) {
        int descriptor = std::atoi(entry->d_name);
        struct stat status {};
        if (descriptor == dirfd(descriptors) || fstat(descriptor, &status) != 0 || !S_ISSOCK(status.st_mode)) continue;
        if (watches_.contains(status.st_ino)) continue;
        auto local = addressOf(descriptor, false);
        auto peer = addressOf(descriptor, true);
        if (!local || !peer || local->second != port_) continue;
        int watched = dup(descriptor);
        if (watched < 0) break;
        watches_[status.st_ino] = {watched, *peer, Clock::now() + deadline_};
        if (endingConnections_) shutdown(watched, SHUT_RDWR);
        adopted = status.st_ino;
        break;
    }
    closedir(descriptors);
    changed_.notify_all();
    return adopted;
}

void RequestDeadlineServer::release(uint64_t connection)
{
    std::lock_guard lock(mutex_);
    auto found = watches_.find(connection);
    if (found == watches_.end()) return;
    close(found->second.socket);
    watches_.erase(found);
}

void RequestDeadlineServer::arm(const Peer& peer, Clock::time_point due)
{
    {
        std::lock_guard lock(mutex_);
        for (auto& [connection, watch] : watches_)
            if (watch.peer == peer) watch.due = due;
    }
    changed_.notify_all();
}

void RequestDeadlineServer::watchDeadlines()
{
    std::unique_lock lock(mutex_);
    while (!ending_) {
        auto now = Clock::now();
        auto next = Clock::time_point::max();
        for (auto& [connection, watch] : watches_) {
            if (watch.due <= now) {
                // Ends the library's waiting read; it then closes the connection as it always does.
                shutdown(watch.socket, SHUT_RDWR);
                watch.due = Clock::time_point::max();
            }
            next = std::min(next, watch.due);
        }
        if (next == Clock::time_point::max())
            changed_.wait(lock);
        else
            changed_.wait_until(lock, next);
    }
}

} // namespace oxel::local
