// The application model on a manual loop: a dropped folder of 500 large JPEGs until the first item
// shows its thumbnail and until every item is in the list, and a save of 200 changed items.
#include "InProcessBackend.h"
#include "ProcessCPUTime.h"
#include "QuietWindow.h"
#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "develop/BenchOriginal.h"
#include "imaging/PictureCache.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "ondevice/NoLanguageModel.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

namespace oxel {
namespace {

namespace fs = std::filesystem;

constexpr int folderSize = 500;
constexpr int madeFiles = 8;
constexpr int savedItems = 200;

// One process-wide setting: the local backend with a signed-in account, user defaults and a
// library of their own, and the folder of 500 hard links to eight made 6000 x 4000 JPEGs.
struct ModelBench : bench::InProcessBackend {
    fs::path dropped;
    ManualLoop loop;
    WorkPool runnerPool{4};
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    std::unique_ptr<LibraryStore> library;

    ModelBench() : InProcessBackend("model-bench")
    {
        dropped = folder / "dropped";
        fs::create_directories(dropped);
        const auto bytes = bench::photographJPEG();
        for (int made = 0; made < madeFiles; ++made)
            std::ofstream(folder / ("made-" + std::to_string(made) + ".jpg"), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        for (int index = 0; index < folderSize; ++index)
            fs::create_hard_link(folder / ("made-" + std::to_string(index % madeFiles) + ".jpg"),
                                 dropped / ("IMG_" + std::to_string(1000 + index) + ".jpg"));
        library = std::make_unique<LibraryStore>(LibraryStore::Environment{folder / "Library",
                                                                           [](const fs::path& item) {
                                                                               fs::remove_all(item);
                                                                               return std::optional<std::string>();
                                                                           },
                                                                           &loop});
    }

    std::unique_ptr<AppModel> makeModel()
    {
        ModelServices services{SettingsStore::shared(),
                               *library,
                               loop,
                               AuthService::Environment::standard(),
                               runnerPool,
                               HttpSession::shared(),
                               [](const std::string&) { return true; },
                               panels,
                               control,
                               languageModel,
                               folder / "originals"};
        return std::make_unique<AppModel>(std::move(services));
    }

    // Lets the reads still on their way finish, so the next run starts from a quiet pool.
    void settle(AppModel& model)
    {
        model.newBatch();
        loop.runUntil([&] { return model.tasks().runningCount() == 0; }, std::chrono::minutes(2));
        library->drain();
    }
};

ModelBench& shared()
{
    static ModelBench bench;
    return bench;
}

void BM_IntakeFirstThumbnail(benchmark::State& state)
{
    auto& bench = shared();
    auto model = bench.makeModel();
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        state.ResumeTiming();
        model->addDropped({bench.dropped});
        // The tile asks for the thumbnail's pixels as soon as the item is in the list.
        const bool shown = bench.loop.runUntil([&] { return !model->items().empty(); }, std::chrono::minutes(1));
        if (!shown || !model->items()[0]->thumbnail() || !model->items()[0]->thumbnail()->pin())
            return state.SkipWithError("the first item has no thumbnail");
        state.PauseTiming();
        bench.settle(*model);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_IntakeFirstThumbnail)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->UseRealTime();

void BM_IntakeFolder500(benchmark::State& state)
{
    auto& bench = shared();
    auto model = bench.makeModel();
    double peakGrowth = 0;
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        bench::trimAndResetResidentPeak();
        const size_t before = residentBytes();
        state.ResumeTiming();
        model->addDropped({bench.dropped});
        const bool appended =
            bench.loop.runUntil([&] { return model->items().size() == folderSize; }, std::chrono::minutes(5));
        state.PauseTiming();
        if (!appended) return state.SkipWithError("not every picture was appended");
        peakGrowth = std::max(peakGrowth, double(residentPeakBytes() - before));
        bench.settle(*model);
        state.ResumeTiming();
    }
    state.counters["peak_resident_MB"] = double(residentPeakBytes()) / (1 << 20);
    state.counters["peak_growth_MB"] = peakGrowth / (1 << 20);
}
BENCHMARK(BM_IntakeFolder500)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();

void BM_SaveNowMainThread(benchmark::State& state)
{
    auto& bench = shared();
    auto model = bench.makeModel();
    std::vector<fs::path> files;
    for (int index = 0; index < savedItems; ++index)
        files.push_back(bench.dropped / ("IMG_" + std::to_string(1000 + index) + ".jpg"));
    model->addDropped(files);
    if (!bench.loop.runUntil([&] { return model->items().size() == savedItems; }, std::chrono::minutes(5)))
        return state.SkipWithError("not every picture was appended");
    model->ensureBatchStored();
    bench.library->drain();
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& item : model->items()) {
            item->setPreviewImage(item->thumbnail());
            model->saving().mark(*item);
            model->saving().markThumbnail(*item);
        }
        state.ResumeTiming();
        model->saveNow();
        state.PauseTiming();
        bench.library->drain();
        state.ResumeTiming();
    }
    bench.settle(*model);
}
BENCHMARK(BM_SaveNowMainThread)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->UseRealTime();

} // namespace
} // namespace oxel
