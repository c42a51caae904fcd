// oxel-model: runs the stand-in model server on 127.0.0.1 until interrupted.
#include "localbackend/LoopbackServer.h"
#include "modelserver/ModelServer.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: oxel-model [--port N] [--loading SECONDS] [--no-pictures] [--delay MS] [--malformed]\n"
                         "                  [--wrong-types] [--decline] [--status CODE]\n"
                         "  --port N           listen on 127.0.0.1:N (default 8788; 0 picks a free port)\n"
                         "  --loading SECONDS  answer 503 for this long after starting, as while loading a model\n"
                         "  --no-pictures      refuse requests that carry a picture (400), as a text-only model\n"
                         "  --delay MS         hold every completion back this long\n"
                         "  --malformed        answer grades with content that is not a JSON object\n"
                         "  --wrong-types      answer grades with a text strength and a numeric reading\n"
                         "  --decline          answer every grade with temperature \"none\"\n"
                         "  --status CODE      answer every completion with this HTTP status\n");
    return 2;
}

std::optional<long> number(const char* text, long low, long high)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    oxel::local::ModelServer::Options options;
    options.port = 8788;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        std::optional<long> value;
        if (argument == "--port" && hasValue && (value = number(argv[++i], 0, 65535))) {
            options.port = uint16_t(*value);
        } else if (argument == "--loading" && hasValue && (value = number(argv[++i], 0, 86400))) {
            options.loading = std::chrono::seconds(*value);
        } else if (argument == "--delay" && hasValue && (value = number(argv[++i], 0, 3'600'000))) {
            options.delay = std::chrono::milliseconds(*value);
        } else if (argument == "--status" && hasValue && (value = number(argv[++i], 100, 599))) {
            options.status = int(*value);
        } else if (argument == "--no-pictures") {
            options.readsPictures = false;
        } else if (argument == "--malformed") {
            options.malformed = true;
        } else if (argument == "--wrong-types") {
            options.wrongTypes = true;
        } else if (argument == "--decline") {
            options.decline = true;
        } else {
            return usage();
        }
    }
    const sigset_t stopSignals = oxel::local::blockStopSignals();

    oxel::local::ModelServer server(options);
    if (!server.start()) {
        std::fprintf(stderr, "[model server] could not listen on 127.0.0.1:%u: another server may be using the port\n",
                     unsigned(options.port));
        return 1;
    }
    std::printf("[model server] serving %s (a stand-in that measures pictures, not a language model)\n",
                server.baseURL().c_str());
    std::fflush(stdout);
    oxel::local::waitForStopSignal(stopSignals);
    std::fflush(stdout);
    std::_Exit(0);
}
