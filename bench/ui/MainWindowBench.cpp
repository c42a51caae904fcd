// Speed of the main window over a real application model with a large batch: building the grid
// of 500 tiles to its first painted frame, one scroll step, and the space bar's compare on
// developed pictures. Not run by CTest.
#include "InProcessBackend.h"
#include "PhotographPicture.h"
#include "app/MainView.h"
#include "app/QtMainExecutor.h"
#include "async/WorkPool.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "model/QuietWindow.h"
#include "ondevice/NoLanguageModel.h"
#include "sheets/TileGrid.h"
#include "sheets/TileView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPixmapCache>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;

// A model of its own over an in-process backend, a private library, and the Qt main executor.
struct BenchModel {
    bench::InProcessBackend backend{"main-window"};
    QtMainExecutor executor;
    WorkPool pool{4};
    LibraryStore library{
        LibraryStore::Environment{backend.folder / "Library", [](const fs::path& item) -> std::optional<std::string> {
                                      fs::remove_all(item);
                                      return std::nullopt;
                                  }}};
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    std::unique_ptr<AppModel> model;

    BenchModel()
    {
        installMainExecutor(&executor);
        model = std::make_unique<AppModel>(ModelServices{SettingsStore::shared(), library, TimeSource::system(),
                                                         AuthService::Environment::standard(), pool,
                                                         HttpSession::shared(), [](const std::string&) { return true; },
                                                         panels, control, languageModel, backend.folder / "originals"});
    }
    ~BenchModel()
    {
        model.reset();
        installMainExecutor(nullptr);
    }

    // Runs the event loop until `done`, for at most ten minutes.
    static bool waitUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            if (!done()) QThread::msleep(1);
        }
        return done();
    }

    // `count` photograph-like JPEGs dropped on the model, waited for until each has its thumbnail.
    bool dropPictures(int count, int width, int height)
    {
        const std::string bytes = local::encodeJPEG(bench::photographPicture(width, height), 85);
        std::vector<fs::path> files;
        for (int index = 0; index < count; ++index) {
            files.push_back(backend.folder / "pictures" / ("IMG_" + std::to_string(1000 + index) + ".jpg"));
            fs::create_directories(files.back().parent_path());
            std::ofstream(files.back(), std::ios::binary) << bytes;
        }
        model->addDropped(files);
        return waitUntil([&] {
            if (model->items().size() != size_t(count)) return false;
            return std::all_of(model->items().begin(), model->items().end(),
                               [](const auto& item) { return item->thumbnail().has_value(); });
        });
    }
};

BenchModel& sharedModel()
{
    static BenchModel* made = new BenchModel;
    return *made;
}

void settle()
{
    for (int turn = 0; turn < 3; ++turn) QApplication::processEvents();
}

// Resident memory of this process, in megabytes.
double residentMB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, size_t(fraction * double(samples.size())))];
}

// The batch of 500 is on the model; the main view is made, laid out and painted once.
void BM_GridBuild500(benchmark::State& state)
{
    BenchModel& bench = sharedModel();
    bench.model->newBatch();
    if (!bench.dropPictures(500, 1200, 800)) return state.SkipWithError("the pictures did not arrive");
    double grown = 0;
    std::vector<double> samples;
    for (auto _ : state) {
        const double before = residentMB();
        const auto start = std::chrono::steady_clock::now();
        auto view = std::make_unique<MainView>(*bench.model, MainView::Shell{});
        view->resize(1200, 800);
        view->show();
        settle();
        view->repaint();
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        grown = std::max(grown, residentMB() - before);
        view.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    // What the window itself added to the process, its pixmaps among it.
    state.counters["window_MB"] = grown;
    state.counters["median_ms"] = percentile(samples, 0.5);
}
BENCHMARK(BM_GridBuild500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One 40-px step down the grid of 500 tiles with the repaint it causes.
void BM_GridScroll500(benchmark::State& state)
{
    BenchModel& bench = sharedModel();
    if (bench.model->items().size() != 500) {
        bench.model->newBatch();
        if (!bench.dropPictures(500, 1200, 800)) return state.SkipWithError("the pictures did not arrive");
    }
    MainView view(*bench.model, MainView::Shell{});
    view.resize(1200, 800);
    view.show();
    settle();
    TileGrid& grid = *view.grid();
    QScrollBar& bar = *grid.verticalScrollBar();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bar.setValue(bar.value() + 40 >= bar.maximum() ? 0 : bar.value() + 40);
        grid.viewport()->repaint();
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["p95_ms"] = percentile(samples, 0.95);
    state.counters["median_ms"] = percentile(samples, 0.5);
}
BENCHMARK(BM_GridScroll500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(400);

// The space bar pressed over 12 developed tiles until they are repainted with their originals.
void BM_ComparePress(benchmark::State& state)
{
    BenchModel& bench = sharedModel();
    bench.model->newBatch();
    if (!bench.dropPictures(12, 1800, 1200)) return state.SkipWithError("the pictures did not arrive");
    bench.model->process();
    if (!bench.waitUntil(
            [&] { return bench.model->itemsWithResult().size() == 12 && bench.model->inFlightCount() == 0; }))
        return state.SkipWithError("the pictures were not developed");
    MainView view(*bench.model, MainView::Shell{});
    view.resize(1600, 1200);
    view.show();
    view.activateWindow();
    QApplication::setActiveWindow(&view);
    settle();
    QWindow* window = view.windowHandle();
    const auto key = [window](QEvent::Type type) {
        QKeyEvent event(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(window, &event);
    };
    // The first press makes the originals' pixmaps; the benchmark times the presses after it.
    key(QEvent::KeyPress);
    view.repaint();
    key(QEvent::KeyRelease);
    view.repaint();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        key(QEvent::KeyPress);
        view.grid()->viewport()->repaint();
        samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        if (!view.comparing()) return state.SkipWithError("space did not compare");
        key(QEvent::KeyRelease);
        view.grid()->viewport()->repaint();
        state.ResumeTiming();
    }
    state.counters["median_ms"] = percentile(samples, 0.5);
}
BENCHMARK(BM_ComparePress)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

} // namespace
} // namespace oxel
