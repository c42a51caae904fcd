// Memory and speed of many developed results under the picture cache's budget: 500 results of
// 6000 x 4000 originals with 2048-pixel renders, and one result's preview made again after the
// cache let everything go.

#include "ProcessCPUTime.h"
#include "develop/BenchOriginal.h"
#include "develop/TilePicture.h"

#include "develop/DevelopOrder.h"
#include "develop/SourceDecoding.h"
#include "develop/SourceImage.h"
#include "develop/grade/GradeRunnerUp.h"
#include "develop/grade/GradeTheory.h"
#include "imaging/Kernel.h"
#include "imaging/PictureCache.h"
#include "imaging/RenderContext.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace oxel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int64_t renderLongSide = 2048;

// The render as the backend sends it back: the original at 2048 pixels, relit, as a JPEG.
std::shared_ptr<const Bytes> keptRender()
{
    static const auto bytes = [] {
        const SourceImage source = SourceImage::load(bench::originalPath());
        const Image reduced = *source.reducedImage(renderLongSide);
        const Rect extent = reduced.extent();
        const double scale = double(renderLongSide) / std::max(extent.width, extent.height);
        const PixelRect area{0, 0, std::llround(extent.width * scale), std::llround(extent.height * scale)};
        const Image relit = applyKernel(
            area.toRect(),
            [](RGB p) {
                return RGB{p.r * 1.15f + 0.03f, p.g * 1.05f, p.b * 0.9f};
            },
            reduced.scaled(scale, scale));
        const auto bitmap = RenderContext().renderBitmap(relit, area, PixelFormat::RGBX8);
        return std::make_shared<const Bytes>(*encodeJPEG(*bitmap, 90, ColourSpace::sRGB().icc));
    }();
    return bytes;
}

// What one developed item keeps: the result, its look thumbnails and its preview, all pictures as
// handles.
struct DevelopedItem {
    std::shared_ptr<const DevelopInput> result;
    std::vector<PictureHandle> lookThumbs;
    PictureHandle preview;
};

std::shared_ptr<const DevelopInput> deliveredResult(const std::filesystem::path& original, int index)
{
    const SourceImage source = SourceImage::load(original);
    const Image render = *decodedPicture(keptRender());
    auto result = std::make_shared<DevelopInput>(
        "bench-" + std::to_string(index), render,
        DetailTransfer(source.image, render, source.colorSpace, {}, reducedDecodes(source)));
    result->previewPlan = result->transfer.plan(false, true).plan;
    const SuggestedGrade chosen =
        GradeTheory::grade({GradeTheory::Temperature::sun, GradeTheory::Density::rich}, "bench");
    result->looks = GradeLooks{chosen, GradeRunnerUp::alternative(chosen, "warm-quiet"),
                               GradeLooks::skinMask(render, result->transfer.context())};
    result->grainLevel = 2;
    return result;
}

PictureHandle previewOf(std::shared_ptr<const DevelopInput> result)
{
    return PictureHandle::madeNow([result] {
               return renderDeveloped(*result, {false, 0.8, 0.7, true});
           })
        .value_or(PictureHandle());
}

DevelopedItem developedItem(const std::filesystem::path& original, int index)
{
    DevelopedItem item;
    item.result = deliveredResult(original, index);
    item.lookThumbs = keptLookThumbnails(develop(*item.result, {false, 1, 0, true}), *item.result->looks,
                                         item.result->transfer.context());
    item.preview = previewOf(item.result);
    return item;
}

// Hard links to one original: 500 files to the program, one file's bytes on disk.
std::vector<std::filesystem::path> droppedFiles(int count)
{
    const auto folder = std::filesystem::temp_directory_path() / ("oxel-bench-resident-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder / ("dropped-" + std::to_string(i) + ".jpg"));
        std::filesystem::create_hard_link(bench::originalPath(), files.back());
    }
    return files;
}

void BM_Developed500Resident(benchmark::State& state)
{
    constexpr int inFlight = 4; // results develop as jobs do, four at a time
    const auto files = droppedFiles(int(state.range(0)));
    keptRender();
    double peak = 0;
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        bench::trimAndResetResidentPeak();
        state.ResumeTiming();
        std::vector<DevelopedItem> items(files.size());
        std::atomic<size_t> next = 0;
        std::vector<std::thread> workers;
        for (int w = 0; w < inFlight; ++w)
            workers.emplace_back([&] {
                for (size_t i = next++; i < files.size(); i = next++) items[i] = developedItem(files[i], int(i));
            });
        for (auto& worker : workers) worker.join();
        state.PauseTiming();
        peak = std::max(peak, double(residentPeakBytes()) / 1e9);
        state.counters["cache_GB"] = double(PictureCache::shared().bytesHeld()) / 1e9;
        items.clear();
        state.ResumeTiming();
    }
    state.counters["peak_resident_GB"] = peak;
    std::filesystem::remove_all(files.front().parent_path());
}
BENCHMARK(BM_Developed500Resident)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

void BM_PreviewAfterEviction(benchmark::State& state)
{
    const DevelopedItem item = developedItem(bench::originalPath(), 0);
    const bench::ProcessCPUTime cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        PictureCache::shared().clear();
        state.ResumeTiming();
        benchmark::DoNotOptimize(item.preview.bitmap());
    }
}
BENCHMARK(BM_PreviewAfterEviction)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace oxel
