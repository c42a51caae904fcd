// oxel-backend: runs the local stand-in backend on 127.0.0.1 until interrupted.
#include "localbackend/LocalBackend.h"
#include "localbackend/LoopbackServer.h"
#include "platform/JsonFields.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
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
                 "                    [fault switches]\n"
                 "  --port N             listen on 127.0.0.1:N (default 8787; 0 picks a free port)\n"
                 "  --state FILE         keep accounts and jobs in FILE across restarts\n"
                 "  --instant            jobs finish at once instead of over a few seconds\n"
                 "  --config FILE        serve this JSON object as the remote configuration\n"
                 "  --announcement FILE  serve this JSON object as the announcement's message\n"
                 "  --starting-roll N    new accounts start with N shots (default 10)\n"
                 "fault switches, for trying failures end to end:\n"
                 "  --refuse WHY         refuse submissions: too_many_inflight, insufficient_credits or\n"
                 "                       aspect_unsupported\n"
                 "  --fail-jobs CODE     new jobs end \"failed\" with this failure code\n"
                 "  --end-jobs STATUS    new jobs end \"blocked_policy\" or \"expired\"\n"
                 "  --stale-jobs         new jobs never finish and keep their first update time\n"
                 "  --fractional-dates   write update times with milliseconds\n"
                 "  --delay MS           hold every answer back MS milliseconds\n"
                 "  --status CODE[:N]    answer with HTTP status CODE instead (the first N requests only)\n"
                 "  --body KIND          spoil answer bodies: malformed or truncated\n"
                 "  --faults-on PREFIX   the switches above touch only paths that start with PREFIX\n"
                 "  --rotate-tokens      every balance answer hands out a new account token\n");
    return 2;
}

// A whole decimal number within [low, high], or nothing.
std::optional<long> numberArgument(const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < low || value > high) return std::nullopt;
    return value;
}

// "CODE" or "CODE:TIMES" of the status switch.
bool readStatusSwitch(const std::string& text, oxel::local::LocalFaults& faults)
{
    const auto colon = text.find(':');
    auto status = numberArgument(text.substr(0, colon).c_str(), 100, 599);
    if (!status) return false;
    faults.status = int(*status);
    if (colon == std::string::npos) return true;
    auto times = numberArgument(text.substr(colon + 1).c_str(), 1, 1000000);
    if (!times) return false;
    faults.times = int(*times);
    return true;
}

// Reads one fault switch with its value; false when the argument is no fault switch or its value
// is not one the switch takes.
bool readFaultSwitch(const std::string& name, int& i, int argc, char** argv, oxel::local::LocalFaults& faults)
{
    using Faults = oxel::local::LocalFaults;
    if (name == "--stale-jobs") return faults.staleJobs = true;
    if (name == "--fractional-dates") return faults.fractionalDates = true;
    if (name == "--rotate-tokens") return faults.rotateTokens = true;
    if (i + 1 >= argc) return false;
    const std::string value = argv[i + 1];
    bool taken = false;
    if (name == "--refuse") {
        taken = value == "too_many_inflight" || value == "insufficient_credits" || value == "aspect_unsupported";
        if (taken) faults.refusal = value;
    } else if (name == "--fail-jobs") {
        taken = !value.empty();
        if (taken) faults.failJobs = value;
    } else if (name == "--end-jobs") {
        taken = value == "blocked_policy" || value == "expired";
        if (taken) faults.endJobs = value;
    } else if (name == "--delay") {
        auto delay = numberArgument(value.c_str(), 0, 3600000);
        if ((taken = delay.has_value())) faults.delay = std::chrono::milliseconds(*delay);
    } else if (name == "--status") {
        taken = readStatusSwitch(value, faults);
    } else if (name == "--body") {
        taken = value == "malformed" || value == "truncated";
        if (taken) faults.body = value == "malformed" ? Faults::Body::malformed : Faults::Body::truncated;
    } else if (name == "--faults-on") {
        taken = true;
        faults.pathPrefix = value;
    }
    if (taken) ++i;
    return taken;
}

// A JSON object read from a file, or nothing (with a line on standard error).
std::optional<nlohmann::json> objectFile(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    auto value = oxel::parseJson(text.str()).value_or(nlohmann::json());
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
    oxel::local::LocalFaults faults;
    std::optional<long> startingRoll;
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
        } else if (argument == "--starting-roll" && i + 1 < argc) {
            if (!(startingRoll = numberArgument(argv[++i], 0, 1000000000))) return usage();
        } else if (!readFaultSwitch(argument, i, argc, argv, faults)) {
            return usage();
        }
    }
    const sigset_t stopSignals = oxel::local::blockStopSignals();

    oxel::local::LocalBackend backend(options);
    if (config) backend.setRemoteConfig(*config);
    if (announcement) backend.setAnnouncement(*announcement);
    if (startingRoll) backend.state().setStartingRoll(*startingRoll);
    backend.setFaults(faults);
    if (!backend.start()) {
        std::fprintf(stderr, "[local backend] could not listen on 127.0.0.1:%u: another server may be using the port\n",
                     unsigned(options.port));
        return 1;
    }
    std::printf("[local backend] serving %s (a local stand-in, not the relighting service)\n",
                backend.baseURL().c_str());
    std::fflush(stdout);
    oxel::local::waitForStopSignal(stopSignals);
    // Once the last changes are on disk (each save written whole, then renamed into place), the
    // process ends at once instead of waiting for clients' kept-alive connections to time out.
    backend.state().stopSaving();
    std::fflush(stdout);
    std::_Exit(0);
}
