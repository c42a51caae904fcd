// From nothing to the window's first painted frame: Qt, the fonts, the look, the executor, the
// window, the menus and the updater, with a fresh profile, and with a large library whose results
// the start looks for. Built in-process, once per iteration.
#include "DevelopedBatches.h"
#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "app/MainWindow.h"
#include "model/ModelSettings.h"
#include "platform/InstanceChannel.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

// Notes the first paint of the window's page.
class FirstPaint final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// A profile of its own in the temporary folder, empty: settings, data and caches.
std::filesystem::path freshProfile(const char* name)
{
    const std::filesystem::path profile = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(profile);
    std::filesystem::create_directories(profile);
    ::setenv("XDG_CONFIG_HOME", (profile / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (profile / "data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (profile / "cache").c_str(), 1);
    return profile;
}

// Starts the program and shows its window; the seconds until the window's first paint.
double secondsToFirstPaint()
{
    const auto start = std::chrono::steady_clock::now();
    int argc = 1;
    char name[] = "oxel-pro";
    char* argv[] = {name, nullptr};
    oxel::Application application(argc, argv, {}, nullptr, nullptr);
    FirstPaint first;
    application.window().centralWidget()->installEventFilter(&first);
    application.showWindow();
    while (!first.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FirstWindowShown(benchmark::State& state)
{
    for (auto _ : state) {
        freshProfile("oxel-first-window");
        state.SetIterationTime(secondsToFirstPaint());
    }
}
BENCHMARK(BM_FirstWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The start after a large batch that could not be stored: a library of 100 batches of 500 and
// 1,000 deliveries not known to be stored, which the start looks for in it.
void BM_FirstWindowAfterUnstoredBatch(benchmark::State& state)
{
    freshProfile("oxel-first-window-library");
    oxel::LibraryStore library({std::nullopt, nullptr, nullptr});
    std::vector<oxel::WaitingConfirmation> waiting;
    for (const auto& jobId : oxel::bench::libraryAfterUnstoredBatch(library)) waiting.push_back({jobId, "4017", false});
    for (auto _ : state) {
        oxel::ModelSettings(oxel::SettingsStore::shared()).setWaitingConfirmations(waiting);
        state.SetIterationTime(secondsToFirstPaint());
    }
}
BENCHMARK(BM_FirstWindowAfterUnstoredBatch)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

} // namespace
