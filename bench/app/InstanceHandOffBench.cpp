// A second start handing its arguments to the running instance while 17 other connections to the
// channel stay open and send nothing.
#include "platform/InstanceChannel.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace oxel;
namespace fs = std::filesystem;

int idleConnection(const fs::path& socket)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
    return fd;
}

void BM_HandOffBehindIdleConnections(benchmark::State& state)
{
    std::string pattern = (fs::temp_directory_path() / "oxel-bench-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const fs::path socket = folder / "run" / "instance";
    auto running = InstanceChannel::listen(socket, [](std::vector<std::string>, InstanceChannel::Hold) {});
    if (running.outcome != InstanceChannel::Outcome::listening) std::abort();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<int> idle;
        for (int i = 0; i < state.range(0); ++i) idle.push_back(idleConnection(socket));
        state.ResumeTiming();
        if (!InstanceChannel::handOff(socket, {"/photos/a.jpg"}, std::chrono::seconds(60)))
            state.SkipWithError("the hand-off failed");
        state.PauseTiming();
        for (int fd : idle) ::close(fd);
        state.ResumeTiming();
    }
    running.channel.reset();
    fs::remove_all(folder);
}
BENCHMARK(BM_HandOffBehindIdleConnections)->Arg(0)->Arg(17)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
