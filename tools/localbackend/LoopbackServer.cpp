#include "localbackend/LoopbackServer.h"

#include <pthread.h>
#include <sys/socket.h>

namespace oxel::local {

bool LoopbackServer::start(uint16_t port)
{
    // Without the library's SO_REUSEPORT: with it a second server binds a port this one serves and
    // the two split its requests. SO_REUSEADDR still lets a restart take the port at once.
    http.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    port_ = port == 0 ? http.bind_to_any_port("127.0.0.1") : (http.bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) return false;
    http.watchConnectionsTo(port_);
    {
        std::lock_guard lock(mutex_);
        stopped_ = false;
    }
    thread_ = std::thread([this] { http.listen_after_bind(); });
    while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void LoopbackServer::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    http.stop();
    http.endConnections();
    if (thread_.joinable()) thread_.join();
}

void LoopbackServer::hold(std::chrono::milliseconds delay)
{
    std::unique_lock lock(mutex_);
    stopping_.wait_for(lock, delay, [this] { return stopped_; });
}

sigset_t blockStopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

void waitForStopSignal(const sigset_t& signals)
{
    int signal = 0;
    sigwait(&signals, &signal);
}

} // namespace oxel::local
