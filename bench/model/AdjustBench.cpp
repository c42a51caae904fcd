// The application model's previews on a manual loop: one picture's colour slider moved until its
// new preview is stored, and the batch's colour slider moved until the previews of twelve
// developed pictures are stored, the 30 ms rest passing in virtual time. Each result is a
// 2048 x 1365 render of a 3000 x 2000 original, built as the develop benchmarks build theirs.
#include "ProcessCPUTime.h"
#include "QuietWindow.h"
#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "develop/BenchOutcome.h"
#include "develop/codecs/JPEGEncoder.h"
#include "library/JobOutcome.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "ondevice/NoLanguageModel.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;

constexpr int developedItems = 12;

// A model with twelve items, each holding a result of its own, and user defaults and a library in
// a folder of their own.
struct AdjustBench {
    fs::path folder = fs::temp_directory_path() / ("oxel-adjust-bench-" + std::to_string(::getpid()));
    ManualLoop loop;
    WorkPool runnerPool{4};
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<LibraryStore> library;
    std::unique_ptr<AppModel> model;

    AdjustBench()
    {
        fs::create_directories(folder);
        settings = std::make_unique<SettingsStore>(folder / "settings.json");
        library = std::make_unique<LibraryStore>(LibraryStore::Environment{
            folder / "Library", [](const fs::path&) { return std::optional<std::string>(); }, &loop});
        model = std::make_unique<AppModel>(ModelServices{
            *settings, *library, loop, AuthService::Environment::standard(), runnerPool, HttpSession::shared(),
            [](const std::string&) { return true; }, panels, control, languageModel, folder / "originals"});
        model->addDropped(smallOriginals());
        loop.runUntil([&] { return int(model->items().size()) == developedItems; }, std::chrono::minutes(1));
        for (const auto& item : model->items())
            item->setResult(bench::outcome<JobOutcome>(3000, 2000, 2048, 1365, ColourSpace::sRGB(), false));
        previewsSettle();
    }
    ~AdjustBench()
    {
        model.reset();
        fs::remove_all(folder);
    }

    std::vector<fs::path> smallOriginals() const
    {
        auto picture = Bitmap::allocate(300, 200, PixelFormat::RGBX8, ColourSpace::sRGB());
        for (int64_t y = 0; y < 200; ++y)
            for (int64_t x = 0; x < 300; ++x) {
                uint8_t* pixel = picture->mutableRow(y) + 4 * x;
                pixel[0] = uint8_t(60 + x / 2), pixel[1] = uint8_t(80 + y / 2), pixel[2] = 120, pixel[3] = 255;
            }
        const auto jpeg = encodeJPEG(*picture, 90, ColourSpace::sRGB().icc);
        std::vector<fs::path> files;
        for (int index = 0; index < developedItems; ++index) {
            files.push_back(folder / ("IMG_" + std::to_string(index) + ".jpg"));
            std::ofstream(files.back(), std::ios::binary)
                .write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
        }
        return files;
    }
    bool previewsSettle()
    {
        return loop.runUntil([&] { return model->previews().inFlight().empty() && model->previews().wanted().empty(); },
                             std::chrono::minutes(1));
    }
};

AdjustBench& shared()
{
    static AdjustBench bench;
    return bench;
}

// Counts the previews stored on the model's items.
struct StoredPreviews {
    explicit StoredPreviews(AppModel& model)
    {
        for (const auto& item : model.items())
            connections.push_back(item->changed.connect([this](BatchItem::Field field) {
                if (field == BatchItem::Field::previewImage) ++stored;
            }));
    }
    int stored = 0;
    std::vector<Connection> connections;
};

void BM_ItemSliderToPreview(benchmark::State& state)
{
    auto& bench = shared();
    const auto item = bench.model->items()[0];
    StoredPreviews previews(*bench.model);
    const bench::ProcessCPUTime cpu(state);
    int step = 0;
    for (auto _ : state) {
        previews.stored = 0;
        bench.model->setColour(++step % 2 ? 0.4 : 0.8, item);
        if (!bench.loop.runUntil([&] { return previews.stored == 1; }, std::chrono::minutes(1)))
            return state.SkipWithError("the preview did not arrive");
    }
}
BENCHMARK(BM_ItemSliderToPreview)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)->UseRealTime();

void BM_BatchSliderToPreviews(benchmark::State& state)
{
    auto& bench = shared();
    StoredPreviews previews(*bench.model);
    const bench::ProcessCPUTime cpu(state);
    int step = 0;
    for (auto _ : state) {
        previews.stored = 0;
        bench.model->setGlobalColour(++step % 2 ? 0.5 : 0.9);
        if (!bench.loop.runUntil([&] { return previews.stored == developedItems; }, std::chrono::minutes(1)))
            return state.SkipWithError("not every preview arrived");
    }
}
BENCHMARK(BM_BatchSliderToPreviews)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(5)->UseRealTime();

} // namespace
} // namespace oxel
