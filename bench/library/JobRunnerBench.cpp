// The job runner against the local backend in this process, jobs finishing at once: one large
// original from start to delivery, the result build alone, forty small originals, and the PNG of
// a kept render.
#include "InProcessBackend.h"
#include "PhotographPicture.h"
#include "ProcessCPUTime.h"
#include "async/ManualLoop.h"
#include "backend/BackendBaseURL.h"
#include "backend/Base64.h"
#include "backend/JobEndpoints.h"
#include "library/JobRunner.h"
#include "library/OutcomeBuild.h"
#include "localbackend/LocalBackend.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace oxel;

struct RunnerBench : bench::InProcessBackend {
    RunnerBench() : InProcessBackend("runner-bench") {}

    SourceImage original(int width, int height)
    {
        const auto path = folder / ("original-" + std::to_string(width) + "x" + std::to_string(height) + ".jpg");
        if (!std::filesystem::exists(path))
            std::ofstream(path, std::ios::binary) << local::encodeJPEG(bench::photographPicture(width, height), 92);
        return SourceImage::load(path);
    }

    std::vector<std::shared_ptr<BatchItem>> items(int count, int width, int height)
    {
        const SourceImage source = original(width, height);
        std::vector<std::shared_ptr<BatchItem>> made;
        for (int i = 0; i < count; ++i)
            made.push_back(BatchItem::make(Uuid::random(), source.url, Origin::opened, source, std::nullopt));
        return made;
    }

    // Runs the items from `start` until each has settled; false when one did not deliver.
    bool develop(const std::vector<std::shared_ptr<BatchItem>>& items)
    {
        ManualLoop loop;
        // A pool of its own, which finishes the delivery confirmations before the loop goes.
        WorkPool pool(8);
        JobRunner runner({&TimeSource::system(), &pool});
        size_t settled = 0;
        runner.onSettled = [&](const auto&) { ++settled; };
        runner.settingsFor = [](const BatchItem&) { return DevelopSettings{}; };
        runner.start(items, userId, "", [](const BatchItem&) { return 1.0; });
        if (!loop.runUntil([&] { return settled == items.size(); }, std::chrono::minutes(5))) return false;
        for (const auto& item : items)
            if (!item->phase().is<phase::Done>()) return false;
        return true;
    }
};

RunnerBench& shared()
{
    static RunnerBench bench;
    return bench;
}

void BM_JobToDelivery(benchmark::State& state)
{
    auto& bench = shared();
    bench.original(6000, 4000);
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        auto items = bench.items(1, 6000, 4000);
        state.ResumeTiming();
        if (!bench.develop(items)) return state.SkipWithError("the job did not deliver");
    }
}
BENCHMARK(BM_JobToDelivery)->Unit(benchmark::kMillisecond)->UseRealTime();

// A collected result of the large original, as the job hands it to the build.
ResultToBuild largeResult()
{
    auto& bench = shared();
    const SourceImage source = bench.original(6000, 4000);
    auto jpeg = source.jpegData();
    auto jobId = submitJob(std::string(jpeg->begin(), jpeg->end()), bench.userId, std::nullopt, std::nullopt, true);
    auto answer = jobResult(*jobId);
    auto picture = base64Decoded(*answer->response.fullSendImage);
    return {*jobId,
            std::make_shared<const std::vector<uint8_t>>(picture->begin(), picture->end()),
            std::make_shared<const AnalysisResponse>(answer->response.analysis),
            std::make_shared<const std::string>(answer->body),
            source,
            TransferLimits{},
            DevelopSettings{.colour = 0},
            false};
}

void BM_BuildOutcome(benchmark::State& state)
{
    static const ResultToBuild result = largeResult();
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        auto built = buildResult(result);
        if (!built) return state.SkipWithError("the result did not build");
        benchmark::DoNotOptimize(built);
    }
}
BENCHMARK(BM_BuildOutcome)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Runner40Small(benchmark::State& state)
{
    auto& bench = shared();
    bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        auto items = bench.items(40, 320, 240);
        state.ResumeTiming();
        if (!bench.develop(items)) return state.SkipWithError("a job did not deliver");
    }
}
BENCHMARK(BM_Runner40Small)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KeptRenderPNG(benchmark::State& state)
{
    const auto photograph = bench::photographPicture(2048, 1365);
    auto picture = *Bitmap::allocate(2048, 1365, PixelFormat::RGBA8, SourceImage::sRGB());
    for (int y = 0; y < 1365; ++y)
        for (int x = 0; x < 2048; ++x) {
            const uint8_t* from = &photograph.pixels[(size_t(y) * 2048 + x) * 3];
            uint8_t* to = picture.mutableRow(y) + x * 4;
            to[0] = from[0], to[1] = from[1], to[2] = from[2], to[3] = 255;
        }
    size_t bytes = 0;
    for (auto _ : state) {
        auto png = pngData(picture);
        if (!png) return state.SkipWithError("PNG writing failed");
        bytes = png->size();
    }
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_KeptRenderPNG)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
