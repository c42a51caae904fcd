// Colour only: one grade of a 6000 x 4000 JPEG original against the stand-in model server in this
// process, the model's round trip alone, and the black-and-white test.

#include "async/ManualLoop.h"
#include "async/TaskScope.h"
#include "async/WorkPool.h"
#include "develop/codecs/JPEGEncoder.h"
#include "imaging/PictureCache.h"
#include "modelserver/ModelServer.h"
#include "ondevice/ChatCompletionsModel.h"
#include "ondevice/ColourOnly.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace oxel {
namespace {

// A photograph-like sRGB picture with fine detail, so that its JPEG has a realistic size.
Bitmap photograph(int64_t width, int64_t height)
{
    Bitmap bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBX8, ColourSpace::sRGB());
    const auto byte = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255)); };
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const double u = double(x) / double(width), v = double(y) / double(height);
            const double detail = 0.05 * std::sin(double(x) * 0.7) * std::cos(double(y) * 0.45);
            row[4 * x] = byte(0.3 + 0.6 * u + detail);
            row[4 * x + 1] = byte(0.25 + 0.4 * v - detail);
            row[4 * x + 2] = byte(0.2 + 0.3 * std::sin(6 * u * v) + detail);
            row[4 * x + 3] = 255;
        }
    }
    return bitmap;
}

const SourceImage& original()
{
    static const SourceImage source = [] {
        const auto path = std::filesystem::temp_directory_path() / "oxel-bench-colour-only.jpg";
        const auto jpeg = encodeJPEG(photograph(6000, 4000), 92, ColourSpace::sRGB().icc);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
        return SourceImage::load(path);
    }();
    return source;
}

local::ModelServer& standIn()
{
    static local::ModelServer* server = [] {
        auto* s = new local::ModelServer({});
        if (!s->start()) std::abort();
        return s;
    }();
    return *server;
}

template <class T>
Task<void> storeInto(Task<T> task, std::optional<T>& result)
{
    result.emplace(co_await std::move(task));
}

// The loop of one benchmark run, with a client of the stand-in that has looked at it.
struct Bench {
    ManualLoop loop;
    ChatCompletionsModel model{{{standIn().baseURL(), std::nullopt, true}, &loop, &WorkPool::shared()}};

    Bench()
    {
        loop.runUntil([&] { return model.availability().isAvailable(); });
    }

    template <class T>
    T run(Task<T> task)
    {
        std::optional<T> result;
        TaskScope scope;
        scope.spawn(storeInto(std::move(task), result));
        if (!loop.runUntil([&] { return result.has_value(); })) std::abort();
        return *std::move(result);
    }
};

void BM_ColourOnlyGrade(benchmark::State& state)
{
    const SourceImage& source = original();
    Bench bench;
    for (auto _ : state) {
        // Each grade starts from the file, as the first grade of a picture does.
        state.PauseTiming();
        PictureCache::shared().clear();
        state.ResumeTiming();
        auto graded = bench.run(
            ColourOnly::grade(source, {}, false, ColourOnly::firstLook(0.5, true), {&bench.model, &bench.loop}));
        if (!std::holds_alternative<ColourOnlyResult>(graded)) state.SkipWithError("the grade failed");
        benchmark::DoNotOptimize(graded);
    }
}
BENCHMARK(BM_ColourOnlyGrade)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

void BM_ModelRoundTrip(benchmark::State& state)
{
    const Bitmap picture = photograph(1024, 683);
    Bench bench;
    for (auto _ : state) {
        auto draft = bench.run(ModelGrade::ask(bench.model, picture, false));
        if (!std::holds_alternative<ModelGradeDraft>(draft)) state.SkipWithError("the request failed");
        benchmark::DoNotOptimize(draft);
    }
}
BENCHMARK(BM_ModelRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

void BM_IsBlackAndWhite(benchmark::State& state)
{
    const Bitmap picture = photograph(1872, 1248);
    for (auto _ : state) benchmark::DoNotOptimize(ColourOnly::isBlackAndWhite(picture));
}
BENCHMARK(BM_IsBlackAndWhite)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

} // namespace
} // namespace oxel
