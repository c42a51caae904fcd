// Speed of the sheets: the export sheet from its flag to its first painted frame, and the batches
// sheet over a library of 200 batches. Not run by CTest.
#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "model/QuietWindow.h"
#include "ondevice/NoLanguageModel.h"
#include "sheets/BatchesSheet.h"
#include "sheets/ExportSheet.h"
#include "sheets/FolderPanelPort.h"

#include <QApplication>
#include <QTest>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace oxel {
namespace {

struct NoFolderPanel final : FolderPanelPort {
    void chooseFolder(const std::string&, const std::string&, const std::filesystem::path&, Answer answer) override
    {
        answer(std::nullopt);
    }
};

// A model on a test loop with a library of its own in a temporary folder, removed at the end.
struct BenchModel {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("oxel-sheet-bench-" + std::to_string(getpid()));
    ManualLoop loop;
    WorkPool pool{4};
    SettingsStore settings{folder / "settings.json"};
    LibraryStore library{LibraryStore::Environment{folder / "Library",
                                                   [](const std::filesystem::path& item) -> std::optional<std::string> {
                                                       std::filesystem::remove_all(item);
                                                       return std::nullopt;
                                                   },
                                                   &loop}};
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    std::unique_ptr<AppModel> model;
    QWidget window;

    BenchModel()
    {
        ModelServices services{settings,
                               library,
                               loop,
                               AuthService::Environment::standard(),
                               pool,
                               HttpSession::shared(),
                               [](const std::string&) { return true; },
                               panels,
                               control,
                               languageModel,
                               folder / "originals"};
        model = std::make_unique<AppModel>(std::move(services));
        window.resize(1200, 800);
        window.show();
    }

    ~BenchModel()
    {
        model.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

void settle()
{
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BM_SheetOpen(benchmark::State& state)
{
    BenchModel bench;
    NoFolderPanel panel;
    bench.settings.set("exportFormats", "psd,tiff,jpeg");
    for (auto _ : state) {
        bench.model->setShowExport(true);
        auto* sheet = new ExportSheet(*bench.model, panel, &bench.window);
        sheet->open();
        sheet->repaint();
        state.PauseTiming();
        sheet->reject();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SheetOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

// 200 batches of four 1024-pixel thumbnails each, as the model keeps them.
void fillLibrary(BenchModel& bench)
{
    auto picture = Bitmap::allocate(1024, 683, PixelFormat::RGBX8);
    for (int y = 0; y < 683; ++y)
        for (int x = 0; x < 1024; ++x) {
            uint8_t* pixel = picture->mutableRow(y) + 4 * x;
            pixel[0] = uint8_t(x / 4);
            pixel[1] = uint8_t(y / 3);
            pixel[2] = uint8_t(x ^ y);
            pixel[3] = 255;
        }
    const auto jpeg = LibraryStore::jpegData(*picture, 1024, 0.82);
    for (int index = 0; index < 200; ++index) {
        BatchRecord record;
        record.id = Uuid::random();
        record.name = "batch " + std::to_string(index);
        record.createdAt = record.updatedAt = std::chrono::system_clock::now() - std::chrono::hours(index);
        for (int image = 0; image < 4; ++image) {
            record.images.push_back(Uuid::random());
            const auto file = bench.library.imageFolder(record.id, record.images.back()) / "thumb.jpg";
            std::filesystem::create_directories(file.parent_path());
            bench.library.write(*jpeg, file);
        }
        bench.library.saveBatch(record);
    }
    bench.library.drain();
}

// Range 0: to the first painted frame; range 1: until every visible row shows its thumbnails.
void BM_BatchesSheet200(benchmark::State& state)
{
    BenchModel bench;
    fillLibrary(bench);
    bool listed = false;
    bench.model->tasks().spawn([](AppModel& model, bool& done) -> Task<void> {
        co_await model.refreshRecent();
        done = true;
    }(*bench.model, listed));
    if (!bench.loop.runUntil([&] { return listed; }) || bench.model->recent().size() != 200)
        return state.SkipWithError("the library was not listed");
    const bool thumbnails = state.range(0) == 1;
    for (auto _ : state) {
        bench.model->setShowBatches(true);
        auto* sheet = new BatchesSheet(
            *bench.model, bench.panels, [](const auto&) {}, &bench.window);
        sheet->open();
        sheet->repaint();
        if (thumbnails) {
            bench.loop.runUntil([&] { return sheet->thumbnails().pending() == 0; });
            sheet->repaint();
        }
        state.PauseTiming();
        sheet->reject();
        settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BatchesSheet200)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
