// The real program with a batch of 500 photographs made like the engine's 24 MP original: time to
// every thumbnail, to every result, the main thread while the results screen sits untouched, time
// to quit and to reopen, and the resident memory on the way. Each step starts from a program in
// the state the step before leaves, made again (untimed) when that step did not run first.
// OXEL_BENCH_PHOTOGRAPHS asks for another count, for a quick look.
#include "app/AppScenario.h"
#include "app/Application.h"
#include "imaging/PictureCache.h"
#include "model/AppModel.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace oxel::bench {
namespace {

using namespace std::chrono_literals;

constexpr auto stepLimit = std::chrono::seconds(3600);

int photographCount()
{
    const char* asked = std::getenv("OXEL_BENCH_PHOTOGRAPHS");
    return asked && std::atoi(asked) > 0 ? std::atoi(asked) : 500;
}

struct Scale {
    AppProfile profile{"app-bench", photographCount(), 6000, 4000};
    std::unique_ptr<AppRun> run;
    bool developed = false;
    std::optional<Uuid> storedBatch;

    AppRun& freshRun()
    {
        run.reset();
        developed = false;
        PictureCache::shared().clear();
        run = std::make_unique<AppRun>();
        return *run;
    }

    // A program with the batch developed and nothing done since.
    bool developedRun()
    {
        if (run && developed) return true;
        AppRun& fresh = freshRun();
        if (!fresh.addAll(profile, stepLimit) || !fresh.developAll(stepLimit)) return false;
        markDeveloped();
        return true;
    }

    void markDeveloped()
    {
        developed = true;
        storedBatch = run->model().batch() ? std::optional(run->model().batch()->id) : std::nullopt;
    }
};

Scale& scale()
{
    static Scale shared;
    return shared;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_App500Thumbnails(benchmark::State& state)
{
    Scale& bench = scale();
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        startResidentPeak();
        const auto start = std::chrono::steady_clock::now();
        if (!run.addAll(bench.profile, stepLimit)) return state.SkipWithError("not every thumbnail came");
        state.SetIterationTime(seconds(start));
        state.counters["peak_resident_GB"] = residentPeakGB();
    }
}
BENCHMARK(BM_App500Thumbnails)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500Developed(benchmark::State& state)
{
    Scale& bench = scale();
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        if (!run.addAll(bench.profile, stepLimit)) return state.SkipWithError("not every thumbnail came");
        startResidentPeak();
        const auto start = std::chrono::steady_clock::now();
        if (!run.developAll(stepLimit)) return state.SkipWithError("not every result came");
        state.SetIterationTime(seconds(start));
        bench.markDeveloped();
        state.counters["peak_resident_GB"] = residentPeakGB();
        // What stays once the last preview is in and the saves have run.
        run.spinUntil([] { return false; }, 2s);
        state.counters["after_resident_GB"] = residentGB();
    }
}
BENCHMARK(BM_App500Developed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_AppIdleCPU(benchmark::State& state)
{
    Scale& bench = scale();
    if (!bench.developedRun()) return state.SkipWithError("the batch did not develop");
    bench.run->model().setScreen(AppModel::Screen::results);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        state.counters["main_thread_cpu_pct"] = bench.run->idleMainThreadPercent(5s);
        state.SetIterationTime(seconds(start));
    }
}
BENCHMARK(BM_AppIdleCPU)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500Quit(benchmark::State& state)
{
    Scale& bench = scale();
    for (auto _ : state) {
        if (!bench.developedRun()) return state.SkipWithError("the batch did not develop");
        state.SetIterationTime(bench.run->quit().count());
        bench.run.reset();
        bench.developed = false;
    }
}
BENCHMARK(BM_App500Quit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500Reopen(benchmark::State& state)
{
    Scale& bench = scale();
    if (!bench.storedBatch) {
        if (!bench.developedRun()) return state.SkipWithError("the batch did not develop");
        bench.run->quit();
        bench.run.reset();
    }
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        startResidentPeak();
        const auto start = std::chrono::steady_clock::now();
        if (!run.reopen(*bench.storedBatch, stepLimit)) return state.SkipWithError("not every result came back");
        state.SetIterationTime(seconds(start));
        state.counters["peak_resident_GB"] = residentPeakGB();
        state.counters["main_thread_cpu_pct"] = run.idleMainThreadPercent(2s);
        bench.run.reset();
    }
}
BENCHMARK(BM_App500Reopen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace oxel::bench
