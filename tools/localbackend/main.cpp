// oxel-backend: runs the local stand-in backend on 127.0.0.1 until interrupted.
#include "localbackend/LocalBackend.h"
#include "localbackend/LoopbackServer.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: oxel-backend [--port N] [--state FILE] [--instant] [--config FILE] [--announcement FILE]\n"
                 "  --port N             listen on 127.0.0.1:N (default 8787; 0 picks a free port)\n"
                 "  --state FILE         keep accounts and jobs in FILE across restarts\n"
                 "  --instant            jobs finish at once instead of over a few seconds\n"
                 "  --config FILE        serve this JSON object as the remote configuration\n"
                 "  --announcement FILE  serve this JSON object as the announcement's message\n");
    return 2;
}

// A JSON object read from a file, or nothing (with a line on standard error).
std::optional<nlohmann::json> objectFile(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    auto value = nlohmann::json::parse(text.str(), nullptr, false);
    if (!file || !value.is_object()) {
        std::fprintf(stderr, "[local backend] %s does not hold a JSON object\n", path);
        return std::nullopt;
    }
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    oxel::local::LocalBackend::Options options;
    options.port = 8787;
    std::optional<nlohmann::json> config, announcement;
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
        } else if (argument == "--config" && i + 1 < argc) {
            if (!(config = objectFile(argv[++i]))) return usage();
        } else if (argument == "--announcement" && i + 1 < argc) {
            if (!(announcement = objectFile(argv[++i]))) return usage();
        } else {
            return usage();
        }
    }
    const sigset_t stopSignals = oxel::local::blockStopSignals();

    oxel::local::LocalBackend backend(options);
    if (config) backend.setRemoteConfig(*config);
    if (announcement) backend.setAnnouncement(*announcement);
    if (!backend.start()) {
        std::fprintf(stderr, "[local backend] could not listen on 127.0.0.1:%u\n", unsigned(options.port));
        return 1;
    }
    std::printf("[local backend] serving %s (a local stand-in, not the relighting service)\n",
                backend.baseURL().c_str());
    std::fflush(stdout);
    oxel::local::waitForStopSignal(stopSignals);
    // Every change is already on disk (each written whole, then renamed into place), so the
    // process ends at once instead of waiting for clients' kept-alive connections to time out.
    std::fflush(stdout);
    std::_Exit(0);
}
