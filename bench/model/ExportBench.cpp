// The model's export turns against the bare engine, and one layered send back with the copy of the
// true original and its reload. Twelve (or one) 3000 x 2000 originals with 2048 x 1365 relit
// renders; the model runs on a test loop, so only real work takes time.
#include "ProcessCPUTime.h"
#include "QuietWindow.h"
#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "develop/SourceImage.h"
#include "export/ExportBenchSupport.h"
#include "export/Exporter.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "model/HandedOverFile.h"
#include "ondevice/NoLanguageModel.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <unistd.h>

namespace oxel {
namespace {

namespace fs = std::filesystem;

constexpr int64_t width = 3000, height = 2000;
constexpr int pictures = 12;

const fs::path& benchFolder()
{
    static const fs::path path = [] {
        const auto made = fs::temp_directory_path() / ("oxel-model-bench-" + std::to_string(::getpid()));
        fs::create_directories(made / "config");
        setenv("XDG_CONFIG_HOME", (made / "config").c_str(), 1);
        return made;
    }();
    return path;
}

// The original written once in the format asked for (a camera JPEG, or a 16-bit TIFF).
fs::path original(ExportFormat format)
{
    const auto file = benchFolder() / ("original." + std::string(fileExtension(format)));
    if (!fs::exists(file)) {
        ExportOptions options;
        options.format = format;
        options.sixteenBit = format == ExportFormat::tiff;
        options.tiffLayered = false;
        writeFlat(benchsupport::scene(width, height), {}, file, options, ColourSpace::sRGB(), RenderContext(), {});
    }
    return file;
}

// A model on a test loop whose items hold delivered results.
struct Session {
    ManualLoop loop;
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    LibraryStore library{LibraryStore::Environment{benchFolder() / "Library", {}, &loop}};
    std::unique_ptr<AppModel> model;

    Session()
    {
        ModelServices services{SettingsStore::shared(),
                               library,
                               loop,
                               AuthService::Environment::standard(),
                               WorkPool::shared(),
                               HttpSession::shared(),
                               [](const std::string&) { return true; },
                               panels,
                               control,
                               languageModel,
                               benchFolder() / "originals"};
        model = std::make_unique<AppModel>(std::move(services));
    }

    void arrive(const std::vector<fs::path>& files, bool handoff)
    {
        if (handoff)
            model->receiveHandoff(files, std::string("bench"));
        else
            model->addDropped(files);
        loop.runUntil([&] { return model->items().size() == files.size() && model->tasks().runningCount() == 0; },
                      std::chrono::minutes(5));
        int n = 0;
        for (const auto& item : model->items())
            item->setResult(benchsupport::outcomeFor<JobOutcome>(*item->source(), "bench-" + std::to_string(++n)));
    }

    bool exportsDone()
    {
        if (model->exportsPending() != 0) return false;
        for (const auto& item : model->items())
            if (item->exportProgress()) return false;
        return true;
    }
};

ExportOptions jpegOptions()
{
    ExportOptions options;
    options.format = ExportFormat::jpeg;
    options.sixteenBit = false;
    return options;
}

void BM_ExportSheet12(benchmark::State& state)
{
    std::vector<fs::path> files;
    for (int i = 0; i < pictures; ++i) {
        const auto file = benchFolder() / "sheet" / ("IMG_" + std::to_string(i) + ".jpg");
        fs::create_directories(file.parent_path());
        fs::copy_file(original(ExportFormat::jpeg), file, fs::copy_options::overwrite_existing);
        files.push_back(file);
    }
    Session session;
    session.arrive(files, false);
    int round = 0;
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        session.model->exportTo({jpegOptions()}, benchFolder() / "out" / std::to_string(++round));
        session.loop.runUntil([&] { return session.exportsDone(); }, std::chrono::minutes(5));
    }
    for (const auto& item : session.model->items())
        if (item->lastError()) state.SkipWithError(item->lastError()->c_str());
}

// The same twelve exports straight into the engine, three at a time on the work pool.
void BM_ExportPicture12ThreeAtATime(benchmark::State& state)
{
    const auto source = SourceImage::load(original(ExportFormat::jpeg));
    std::vector<std::shared_ptr<const JobOutcome>> outcomes;
    for (int i = 0; i < pictures; ++i)
        outcomes.push_back(benchsupport::outcomeFor<JobOutcome>(source, "bench-" + std::to_string(i)));
    int round = 0;
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        const auto folder = benchFolder() / "direct" / std::to_string(++round);
        fs::create_directories(folder);
        std::latch done(pictures);
        std::mutex mutex;
        std::condition_variable freed;
        int running = 0;
        for (int i = 0; i < pictures; ++i) {
            {
                std::unique_lock lock(mutex);
                freed.wait(lock, [&] { return running < 3; });
                ++running;
            }
            WorkPool::shared().submit(WorkPriority::userInitiated, [&, i] {
                exportPicture(source, *outcomes[size_t(i)], {false, 1.0, 1.0},
                              folder / ("IMG_" + std::to_string(i) + ".jpg"), jpegOptions());
                {
                    std::lock_guard lock(mutex);
                    --running;
                }
                freed.notify_one();
                done.count_down();
            });
        }
        done.wait();
    }
}

void BM_SendBackLayered(benchmark::State& state)
{
    const auto pristine = original(ExportFormat::tiff);
    const auto host = benchFolder() / "host" / "handed.tif";
    fs::create_directories(host.parent_path());
    fs::copy_file(pristine, host, fs::copy_options::overwrite_existing);
    Session session;
    session.arrive({host}, true);
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        session.model->sendBack();
        session.loop.runUntil([&] { return session.exportsDone() && session.model->tasks().runningCount() == 0; },
                              std::chrono::minutes(5));
    }
    const auto& item = session.model->items().front();
    if (item->lastError()) state.SkipWithError(item->lastError()->c_str());

    // The copy of the true original and its reload alone, from a fresh copy of the same file.
    const auto again = benchFolder() / "host" / "again.tif";
    fs::copy_file(pristine, again, fs::copy_options::overwrite_existing);
    const auto start = std::chrono::steady_clock::now();
    HandedOverFile::check(again, FileStamp::of(again), benchFolder() / "originals" / "again.handed-over");
    const auto reloaded = SourceImage::load(benchFolder() / "originals" / "again.handed-over");
    state.counters["copyAndReloadMs"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(reloaded.pixelWidth);
}

BENCHMARK(BM_ExportSheet12)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_ExportPicture12ThreeAtATime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_SendBackLayered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

} // namespace
} // namespace oxel
