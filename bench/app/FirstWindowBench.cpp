// From nothing to the window's first painted frame: Qt, the fonts, the look, the executor, the
// window, the menus and the updater, with a fresh profile. Built in-process, once per iteration.
#include "app/Application.h"
#include "app/ForwardedStarts.h"
#include "app/MainWindow.h"
#include "platform/InstanceChannel.h"

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

void BM_FirstWindowShown(benchmark::State& state)
{
    for (auto _ : state) {
        std::filesystem::path profile = std::filesystem::temp_directory_path() / "oxel-first-window";
        std::filesystem::remove_all(profile);
        std::filesystem::create_directories(profile);
        ::setenv("XDG_CONFIG_HOME", (profile / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (profile / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (profile / "cache").c_str(), 1);

        auto start = std::chrono::steady_clock::now();
        int argc = 1;
        char name[] = "oxel-pro";
        char* argv[] = {name, nullptr};
        oxel::Application application(argc, argv, {}, nullptr, nullptr);
        FirstPaint first;
        application.window().centralWidget()->installEventFilter(&first);
        application.showWindow();
        while (!first.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_FirstWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
