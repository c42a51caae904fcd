#pragma once

#include "localbackend/RequestDeadlineServer.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace oxel::local {

// An HTTP server of the stand-in tools on 127.0.0.1, serving on a thread of its own. Handlers
// that hold an answer back wait through `hold`, which ends early when the server stops.
class LoopbackServer {
public:
    RequestDeadlineServer http;

    ~LoopbackServer() { stop(); }

    // Binds 127.0.0.1:`port` (0: any free port) and serves; false when the port can't be had.
    bool start(uint16_t port);
    void stop();

    int port() const { return port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // Waits out `delay`, or less when the server stops.
    void hold(std::chrono::milliseconds delay);

private:
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
};

// The mains of the tools: the stop signals are blocked before any serving thread starts (the
// threads inherit the mask), and the main thread then waits for one of them.
sigset_t blockStopSignals();
void waitForStopSignal(const sigset_t& signals);

} // namespace oxel::local
