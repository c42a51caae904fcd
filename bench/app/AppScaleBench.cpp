// The real program with a batch of 500 photographs made like the engine's 24 MP original: time to
// every thumbnail, to every result, the main thread while the results screen sits untouched, time
// until the tiles in view follow a batch light move (from rest, and moved again while the pass of
// the move before runs), time to quit and to reopen, the tiles that draw nothing or an original as
// the grid is scrolled (during a pass, after it, and in a reopened batch), the tiles of a reopened
// batch scrolled at rest and after a light move that show an older light or change again once the
// program rests, the resident memory on the way, and the processor time the develop and the reopen
// take. Each step starts from a program in the state the step before leaves, made again (untimed)
// when that step did not run first. Last, two programs of their own: the tiles of a batch developed
// with its colour at 0 as the grid is scrolled, and how long a window of a large screen keeps
// working once fast scrolls stop.
// OXEL_BENCH_PHOTOGRAPHS asks for another count, for a quick look.
#include "ProcessCPUTime.h"
#include "app/AppScenario.h"
#include "app/Application.h"
#include "imaging/PictureCache.h"
#include "model/AppModel.h"
#include "model/PreviewRenderer.h"
#include "sheets/TileView.h"
#include "ui/kit/PixelImage.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

    // The developed batch in the library, made (untimed) when no step before stored it.
    bool batchStored()
    {
        if (storedBatch) return true;
        if (!developedRun()) return false;
        run->quit();
        run.reset();
        return true;
    }

    void markDeveloped()
    {
        developed = true;
        storedBatch = run->model().batch() ? std::optional(run->model().batch()->id) : std::nullopt;
    }
};

// Made by the first step that needs it; `main` ends it while Qt is still whole.
std::unique_ptr<Scale> made;

Scale& scale()
{
    if (!made) made = std::make_unique<Scale>();
    return *made;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The processor time the whole program spent since `cpuStart` (all its threads), and on how many
// photographs: steadier than the wall time when other work shares the machine.
void countWork(benchmark::State& state, double cpuStart, const Scale& bench)
{
    state.counters["cpu_s"] = ProcessCPUTime::now() - cpuStart;
    state.counters["pictures"] = double(bench.profile.count());
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
        bench.run.reset();
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
        const double cpuStart = ProcessCPUTime::now();
        if (!run.developAll(stepLimit)) return state.SkipWithError("not every result came");
        state.SetIterationTime(seconds(start));
        countWork(state, cpuStart, bench);
        bench.markDeveloped();
        state.counters["peak_resident_GB"] = residentPeakGB();
        // What stays once the last preview is in and the saves have run.
        run.spinUntil([] { return false; }, 2s);
        state.counters["after_resident_GB"] = residentGB();
        state.counters["after_cache_GB"] = double(PictureCache::shared().bytesHeld()) / double(1ull << 30);
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

// Every tile in view paints the picture of the light as it stands: made at the item's settings as
// they are now, nothing of the item waits or renders any more, and the tile draws that picture. A
// light moved back to what a tile already shows is there at once.
bool showNewestLight(AppRun& run)
{
    const PreviewRenderer& previews = run.model().previews();
    for (auto* tile : run.tilesInView()) {
        const BatchItem& item = *tile->item();
        const bool pending = previews.wanted().contains(item.id) || previews.inFlight().contains(item.id);
        const auto& copy = item.developedCopy();
        const bool newest = copy && copy->madeAt == previews.settingsFor(item);
        if (pending || !newest || !showsPreview(*tile) || !tile->findChild<PixelImage*>()->holdsScaled()) return false;
    }
    return true;
}

// Down to the end a screen at a time, and back to the top again.
std::vector<int> downAndUp(const std::vector<int>& steps)
{
    std::vector<int> there(steps.begin(), steps.end());
    there.insert(there.end(), steps.rbegin(), steps.rend());
    return there;
}

void moveLight(AppRun& run)
{
    run.model().setGlobalStrength(run.model().globalStrength() > 0.5 ? 0.3 : 0.8);
}

// Moves the batch light; the seconds until every tile in view shows the new light.
std::optional<double> moveLightUntilNewestOnScreen(AppRun& run)
{
    const auto start = std::chrono::steady_clock::now();
    moveLight(run);
    if (!run.spinUntil([&] { return showNewestLight(run); }, stepLimit)) return std::nullopt;
    return seconds(start);
}

// The developed program on its results screen; null, the step skipped, when the batch did not develop.
AppRun* developedResults(benchmark::State& state)
{
    Scale& bench = scale();
    if (!bench.developedRun()) {
        state.SkipWithError("the batch did not develop");
        return nullptr;
    }
    bench.run->model().setScreen(AppModel::Screen::results);
    return bench.run.get();
}

void BM_App500LightMoveOnScreen(benchmark::State& state)
{
    AppRun* developed = developedResults(state);
    if (!developed) return;
    AppRun& run = *developed;
    const std::vector<int> steps = run.screenSteps();
    // The top of the batch developed first, so the rest of it has long taken the memory of what
    // its tiles read.
    run.scrollTo(steps.front());
    run.spinUntil([] { return false; }, 2s);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto onScreen = moveLightUntilNewestOnScreen(run);
        if (!onScreen) return state.SkipWithError("the tiles in view never showed the new light");
        state.SetIterationTime(*onScreen);
        if (!run.spinUntil([&] { return run.previewsSettled(); }, stepLimit))
            return state.SkipWithError("the pass never ended");
        state.counters["pass_s"] = seconds(start);
        state.counters["blank_tiles"] = run.blankTilesAlong(downAndUp(steps), 2s);
    }
}
BENCHMARK(BM_App500LightMoveOnScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500LightMoveDuringPass(benchmark::State& state)
{
    AppRun* developed = developedResults(state);
    if (!developed) return;
    AppRun& run = *developed;
    const std::vector<int> steps = run.screenSteps();
    for (auto _ : state) {
        // Moved with the end in view, then moved again halfway up, which that pass reaches only after
        // half the batch.
        run.scrollTo(steps.back());
        run.spinUntil([] { return false; }, 1s);
        moveLight(run);
        run.spinUntil([] { return false; }, 2s);
        run.scrollTo(steps[steps.size() / 2]);
        run.spinUntil([] { return false; }, 1s);
        const auto start = std::chrono::steady_clock::now();
        const auto onScreen = moveLightUntilNewestOnScreen(run);
        if (!onScreen) return state.SkipWithError("the tiles in view never showed the newest light");
        state.SetIterationTime(*onScreen);
        // Down to the end a screen at a time while the second pass runs.
        const auto seen = run.tilesAlong(steps, 2s);
        state.counters["blank_tiles_during_pass"] = seen.blank;
        state.counters["original_tiles_during_pass"] = seen.original;
        state.counters["tiles_behind_during_pass"] = seen.behind;
        if (!run.spinUntil([&] { return run.previewsSettled(); }, stepLimit))
            return state.SkipWithError("the pass never ended");
        state.counters["pass_s"] = seconds(start);
    }
}
BENCHMARK(BM_App500LightMoveDuringPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

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
    if (!bench.batchStored()) return state.SkipWithError("the batch did not develop");
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        startResidentPeak();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCPUTime::now();
        if (!run.reopen(*bench.storedBatch, stepLimit)) return state.SkipWithError("not every result came back");
        state.SetIterationTime(seconds(start));
        countWork(state, cpuStart, bench);
        state.counters["peak_resident_GB"] = residentPeakGB();
        state.counters["main_thread_cpu_pct"] = run.idleMainThreadPercent(2s);
        bench.run.reset();
    }
}
BENCHMARK(BM_App500Reopen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500ReopenScrolled(benchmark::State& state)
{
    Scale& bench = scale();
    if (!bench.batchStored()) return state.SkipWithError("the batch did not develop");
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        const auto start = std::chrono::steady_clock::now();
        const auto blank = run.reopenScrolled(*bench.storedBatch, 2s, 0s, stepLimit);
        if (!blank) return state.SkipWithError("the first screen never drew");
        state.counters["blank_tiles"] = *blank;
        if (!run.spinUntil([&] { return run.allRestored(); }, stepLimit))
            return state.SkipWithError("not every result came back");
        state.SetIterationTime(seconds(start));
        state.counters["main_thread_cpu_pct"] = run.idleMainThreadPercent(5s);
        // The light moved in the reopened batch, whose kept thumbnails the new previews replace.
        const std::vector<int> steps = run.screenSteps();
        const auto onScreen = moveLightUntilNewestOnScreen(run);
        if (!onScreen) return state.SkipWithError("the tiles in view never showed the new light");
        state.counters["light_on_screen_s"] = *onScreen;
        if (!run.spinUntil([&] { return run.previewsSettled(); }, stepLimit))
            return state.SkipWithError("the pass never ended");
        state.counters["blank_tiles_after_light"] = run.blankTilesAlong(downAndUp(steps), 2s);
        bench.run.reset();
    }
}
BENCHMARK(BM_App500ReopenScrolled)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The pictures the items of the open batch came with.
std::map<Uuid, PictureHandle> openedPictures(AppModel& model)
{
    std::map<Uuid, PictureHandle> opened;
    for (const auto& item : model.items())
        if (item->thumbnail()) opened.emplace(item->id, *item->thumbnail());
    return opened;
}

void countTilesAtRest(benchmark::State& state, const AppRun::TilesAtRest& found, const std::string& after)
{
    state.counters["blank_tiles_after_" + after] = found.seen.blank;
    state.counters["original_tiles_after_" + after] = found.seen.original;
    state.counters["tiles_changed_at_rest_after_" + after] = found.changedAtRest;
}

// The reopened batch, once it rests, scrolled down a screen at a time and back up, and again once
// a light move's pass has ended, resting at every step: the tiles that two seconds after their step
// show a picture of the light before the move or one that changes again at rest, the kept
// thumbnails that give way to their item's first preview apart; the time until every result is back.
void BM_App500ReopenTilesAtRest(benchmark::State& state)
{
    Scale& bench = scale();
    if (!bench.batchStored()) return state.SkipWithError("the batch did not develop");
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        const auto start = std::chrono::steady_clock::now();
        run.model().openBatch(*bench.storedBatch);
        // Its kept thumbnail may give way to each item's first preview once.
        auto kept = openedPictures(run.model());
        if (!run.spinUntil([&] { return run.allRestored() && run.previewsSettled(); }, stepLimit))
            return state.SkipWithError("not every result came back");
        state.SetIterationTime(seconds(start));
        run.secondsUntilAtRest(60s);
        const auto reopened = run.tilesAtRestAlong(downAndUp(run.screenSteps()), 2s, &kept);
        countTilesAtRest(state, reopened, "reopen");
        state.counters["thumbnails_replaced_after_reopen"] = reopened.openedPicturesReplaced;
        // Whatever is held before the move is of an older light after it.
        const auto olderLight = run.picturesHeld();
        moveLight(run);
        // The pass asks for its previews once the light rests.
        run.spinUntil([] { return false; }, PreviewRenderer::restDelay + 100ms);
        if (!run.spinUntil([&] { return run.previewsSettled(); }, stepLimit))
            return state.SkipWithError("the pass never ended");
        run.secondsUntilAtRest(60s);
        const auto moved = run.tilesAtRestAlong(downAndUp(run.screenSteps()), 2s, nullptr, olderLight);
        countTilesAtRest(state, moved, "light");
        state.counters["tiles_at_older_light_after_light"] = moved.olderLight;
        bench.run.reset();
    }
}
BENCHMARK(BM_App500ReopenTilesAtRest)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_App500ColourNoneScrolled(benchmark::State& state)
{
    Scale& bench = scale();
    for (auto _ : state) {
        AppRun& run = bench.freshRun();
        if (!run.addAll(bench.profile, stepLimit)) return state.SkipWithError("not every thumbnail came");
        // No render follows a result: each tile's preview is the one delivered.
        run.model().setGlobalColour(0);
        const auto start = std::chrono::steady_clock::now();
        if (!run.developAll(stepLimit)) return state.SkipWithError("not every result came");
        state.SetIterationTime(seconds(start));
        run.model().setScreen(AppModel::Screen::results);
        const auto seen = run.tilesAlong(run.screenSteps(), 2s);
        state.counters["blank_tiles"] = seen.blank;
        state.counters["original_tiles"] = seen.original;
        bench.run.reset(); // its colour is none of the other steps'
    }
}
BENCHMARK(BM_App500ColourNoneScrolled)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int thumbnailsWrittenSince(std::filesystem::file_time_type since)
{
    namespace fs = std::filesystem;
    int written = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator file(std::getenv("HOME"), error), end; !error && file != end;
         file.increment(error))
        if (file->path().filename() == "thumb.jpg" && file->last_write_time(error) >= since) ++written;
    return written;
}

// A 3840 x 2160 window scrolled fast through the batch three times, then left alone: the seconds
// until the program rests, the thumbnails it wrote meanwhile, and a quit then. The argument is the
// picture budget in megabytes, 0 for the standard one. Run with OXEL_BENCH_PHOTOGRAPHS=150.
void BM_App500LargeViewAtRest(benchmark::State& state)
{
    Scale& bench = scale();
    const size_t bound = PictureCache::shared().byteLimit();
    for (auto _ : state) {
        AppRun* developed = developedResults(state);
        if (!developed) return;
        AppRun& run = *developed;
        if (state.range(0) > 0) PictureCache::shared().setByteLimit(size_t(state.range(0)) << 20);
        run.resizeContent(3840, 2160);
        run.spinUntil([&] { return run.previewsSettled(); }, stepLimit);
        run.spinUntil([] { return false; }, 2s);
        const std::vector<int> steps = run.screenSteps();
        std::vector<int> there = downAndUp(steps);
        there.insert(there.end(), steps.begin(), steps.end());
        for (const int position : there) {
            run.scrollTo(position);
            run.spinUntil([] { return false; }, 100ms);
        }
        const auto scrolled = std::filesystem::file_time_type::clock::now();
        const auto rest = run.secondsUntilAtRest(300s);
        state.SetIterationTime(rest.value_or(300));
        state.counters["at_rest"] = rest.has_value();
        state.counters["thumbnails_written"] = thumbnailsWrittenSince(scrolled);
        state.counters["quit_s"] = run.quit().count();
        bench.run.reset();
        PictureCache::shared().setByteLimit(bound);
    }
}
BENCHMARK(BM_App500LargeViewAtRest)->Arg(0)->Arg(400)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
} // namespace oxel::bench

// The program the steps share ends before the exit handlers take Qt's own statics with it.
int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    oxel::bench::made.reset();
    benchmark::Shutdown();
    return 0;
}
