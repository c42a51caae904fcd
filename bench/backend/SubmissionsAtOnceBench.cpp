// Many submissions at once against the local backend with its delays off, each sender on a thread
// of its own as the job runner's transfers are: how many fail, and how.
#include "InProcessBackend.h"
#include "PhotographPicture.h"
#include "backend/JobEndpoints.h"
#include "localbackend/LocalRelight.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace oxel;

constexpr int submissionsPerRun = 240;

void BM_SubmissionsAtOnce(benchmark::State& state)
{
    static bench::InProcessBackend bench("at-once");
    static const std::string jpeg = local::encodeJPEG(bench::photographPicture(2048, 1365), 92);
    const int senders = int(state.range(0));
    std::map<std::string, int> failures;
    int sent = 0;
    for (auto _ : state) {
        std::atomic<int> next{0};
        std::mutex mutex;
        std::vector<std::thread> threads;
        for (int i = 0; i < senders; ++i)
            threads.emplace_back([&] {
                while (next++ < submissionsPerRun) {
                    auto jobId = submitJob(jpeg, bench.userId, std::nullopt, std::nullopt, false);
                    if (jobId) continue;
                    std::lock_guard lock(mutex);
                    ++failures[describe(jobId.failure())];
                }
            });
        for (auto& thread : threads) thread.join();
        sent += submissionsPerRun;
    }
    int failed = 0;
    for (const auto& [description, count] : failures) {
        failed += count;
        std::fprintf(stderr, "%d at once: %d x %s\n", senders, count, description.c_str());
    }
    state.counters["submitted"] = sent;
    state.counters["failed"] = failed;
}
BENCHMARK(BM_SubmissionsAtOnce)->Arg(4)->Arg(32)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
