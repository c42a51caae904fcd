// Reopening a developed batch of 200 pictures from the library: opening until every item shows
// its thumbnail, the restore until the first item is done with its preview, and the whole restore
// with the process's peak resident memory. 3000 x 2000 originals, 2048 x 1365 kept renders with a
// graded analysis, on a manual main loop.
#include "ProcessCPUTime.h"
#include "QuietWindow.h"

#include "async/ManualLoop.h"
#include "async/WorkPool.h"
#include "backend/AnalysisResponse.h"
#include "develop/codecs/JPEGEncoder.h"
#include "export/PNGEncoder.h"
#include "imaging/PictureCache.h"
#include "library/LibraryStore.h"
#include "model/AppModel.h"
#include "ondevice/NoLanguageModel.h"
#include "platform/ProcessMemory.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

using namespace oxel;
namespace fs = std::filesystem;
using namespace std::chrono;

constexpr int pictures = 200;
constexpr int distinctScenes = 8;
constexpr int originalWidth = 3000, originalHeight = 2000;
constexpr int renderWidth = 2048, renderHeight = 1365;

// A photograph-like scene with detail; `relit` brightens and warms it as a render would.
Bitmap scene(int width, int height, int seed, bool relit)
{
    auto bitmap = Bitmap::allocate(width, height, PixelFormat::RGBX8);
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            const double detail = 0.05 * std::sin(u * 2100 + seed) * std::cos(v * 1350);
            const double disc = std::hypot(u - 0.2 - 0.07 * seed, v - 0.5) < 0.15 ? 0.25 : 0.0;
            const double lift = relit ? 0.08 : 0.0;
            const auto byte = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255)); };
            row[4 * x] = byte(0.2 + 0.5 * u + detail + disc + lift * 1.2);
            row[4 * x + 1] = byte(0.3 + 0.4 * v - detail + disc + lift);
            row[4 * x + 2] = byte(0.4 + 0.3 * std::sin(6 * u * v + seed) + detail + lift * 0.6);
        }
    }
    return *bitmap;
}

void writeBytes(const fs::path& file, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> jpeg(const Bitmap& bitmap, int quality)
{
    return *encodeJPEG(bitmap, quality, ColourSpace::sRGB().icc);
}

std::vector<uint8_t> gradedAnalysis()
{
    AnalysisResponse analysis;
    analysis.grain.full_send = 2;
    SuggestedGrade grade;
    grade.brief = "warm evening";
    grade.gain = {1.08, 1.0, 0.92};
    grade.saturation = 1.15;
    analysis.grade = grade;
    Json json;
    to_json(json, analysis);
    const auto text = json.dump();
    return {text.begin(), text.end()};
}

// One developed batch of 200 pictures in a library of its own, and what a model needs around it.
struct Stored {
    fs::path root;
    Uuid batch;
    ManualLoop loop;
    WorkPool runnerPool{2};
    bench::QuietPanels panels;
    bench::QuietControl control;
    NoLanguageModel languageModel;
    std::unique_ptr<LibraryStore> library;

    Stored()
    {
        std::string pattern = (fs::temp_directory_path() / "oxel-bench-sessions-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/oxel-bench-bus", 1);
        library = std::make_unique<LibraryStore>(LibraryStore::Environment{root / "Library", {}, &loop});
        write();
    }
    ~Stored()
    {
        library.reset();
        fs::remove_all(root);
    }

    void write()
    {
        const auto analysis = gradedAnalysis();
        BatchRecord record;
        record.id = batch = Uuid::random();
        record.name = "two hundred";
        record.createdAt = record.updatedAt = system_clock::now();
        for (int scene = 0; scene < distinctScenes; ++scene) {
            const auto original = jpeg(::scene(originalWidth, originalHeight, scene, false), 92);
            const auto render = *encodePNGFast(::scene(renderWidth, renderHeight, scene, true));
            const auto thumb = jpeg(::scene(1024, 683, scene, true), 82);
            const auto copy = jpeg(::scene(512, 341, scene, false), 80);
            for (int index = scene; index < pictures; index += distinctScenes) {
                // Each picture its own file, so that no decode is shared between two of them.
                const fs::path file = root / "originals" / ("IMG_" + std::to_string(1000 + index) + ".jpg");
                writeBytes(file, original);
                ImageRecord image;
                image.id = Uuid::random();
                image.original = OriginalRef::make(file, SourceImage::load(file), false, std::nullopt);
                image.state = ImageRecord::State::done;
                image.jobId = "job_" + std::to_string(index);
                image.renderFile = "render.png";
                image.setPlanVerdict(PlanVerdict{true, 0.0f});
                const fs::path folder = library->imageFolder(batch, image.id);
                writeBytes(folder / "render.png", render);
                writeBytes(folder / "analysis.json", analysis);
                writeBytes(folder / "thumb.jpg", thumb);
                writeBytes(folder / "original.jpg", copy);
                library->saveImage(image, batch);
                record.images.push_back(image.id);
            }
        }
        library->saveBatch(record);
        library->drain();
    }

    std::unique_ptr<AppModel> model()
    {
        ModelServices services{SettingsStore::shared(),
                               *library,
                               loop,
                               AuthService::Environment::standard(),
                               runnerPool,
                               HttpSession::shared(),
                               [](const std::string&) { return false; },
                               panels,
                               control,
                               languageModel,
                               root / "cache" / "originals"};
        return std::make_unique<AppModel>(std::move(services));
    }

    // Runs what the last model left behind and forgets everything decoded, so that each run
    // reads its pictures afresh.
    void settle()
    {
        loop.runUntil([] { return true; });
        PictureCache::shared().clear();
    }
};

Stored& stored()
{
    static Stored batch;
    return batch;
}

bool allDone(const AppModel& model)
{
    return std::all_of(model.items().begin(), model.items().end(),
                       [](const auto& item) { return item->phase().template is<phase::Done>(); });
}

void BM_OpenBatch200(benchmark::State& state)
{
    auto& batch = stored();
    for (auto _ : state) {
        state.PauseTiming();
        batch.settle();
        auto model = batch.model();
        state.ResumeTiming();
        model->openBatch(batch.batch);
        state.PauseTiming();
        if (model->items().size() != pictures || !std::all_of(model->items().begin(), model->items().end(),
                                                              [](const auto& item) { return item->thumbnail(); }))
            state.SkipWithError("an item came without its thumbnail");
        model.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenBatch200)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

void BM_RestoreFirstPreview(benchmark::State& state)
{
    auto& batch = stored();
    for (auto _ : state) {
        batch.settle();
        auto model = batch.model();
        const auto start = steady_clock::now();
        model->openBatch(batch.batch);
        const bool shown = batch.loop.runUntil(
            [&] {
                return std::any_of(model->items().begin(), model->items().end(), [](const auto& item) {
                    return item->phase().template is<phase::Done>() && item->previewImage();
                });
            },
            seconds(120));
        state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
        if (!shown) state.SkipWithError("no preview came");
        // The rest of the restore is not timed; it ends before the next run starts.
        batch.loop.runUntil([&] { return allDone(*model) && model->tasks().runningCount() == 0; }, seconds(600));
        model.reset();
    }
}
BENCHMARK(BM_RestoreFirstPreview)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

void BM_RestoreBatch200(benchmark::State& state)
{
    auto& batch = stored();
    size_t peak = 0;
    {
        bench::ProcessCPUTime cpu(state);
        for (auto _ : state) {
            batch.settle();
            resetResidentPeak();
            auto model = batch.model();
            const auto start = steady_clock::now();
            model->openBatch(batch.batch);
            const bool done = batch.loop.runUntil([&] { return allDone(*model) && model->tasks().runningCount() == 0; },
                                                  seconds(600));
            state.SetIterationTime(duration<double>(steady_clock::now() - start).count());
            peak = std::max(peak, residentPeakBytes());
            size_t withResult = 0;
            for (const auto& item : model->items()) withResult += item->result() ? 1 : 0;
            if (!done || withResult != pictures) state.SkipWithError("the restore did not finish with every result");
            model.reset();
        }
    }
    state.counters["peakResidentMB"] = double(peak) / double(1 << 20);
}
BENCHMARK(BM_RestoreBatch200)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

} // namespace
