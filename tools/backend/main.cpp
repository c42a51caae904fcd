// oxel-backend: runs the local stand-in backend on 127.0.0.1 until interrupted.
#include "LocalBackend.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: oxel-backend [--port N] [--state FILE] [--instant]\n"
                         "  --port N      listen on 127.0.0.1:N (default 8787; 0 picks a free port)\n"
                         "  --state FILE  keep accounts and jobs in FILE across restarts\n"
                         "  --instant     jobs finish at once instead of over a few seconds\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    oxel::local::LocalBackend::Options options;
    options.port = 8787;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--port" && i + 1 < argc) {
            char* end = nullptr;
            long port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) return usage();
            options.port = uint16_t(port);
        } else if (argument == "--state" && i + 1 < argc) {
            options.stateFile = argv[++i];
        } else if (argument == "--instant") {
            options.instant = true;
        } else {
            return usage();
        }
    }
    // The serving threads inherit a mask without the stop signals; this thread waits for them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    oxel::local::LocalBackend backend(options);
    if (!backend.start()) {
        std::fprintf(stderr, "[local backend] could not listen on 127.0.0.1:%u\n", unsigned(options.port));
        return 1;
    }
    std::printf("[local backend] serving %s (a local stand-in, not the relighting service)\n", backend.baseURL().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    backend.stop();
    return 0;
}
