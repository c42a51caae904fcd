// The library on disk: listing, saving (on the caller's thread and until written), loading, the
// thumbnail encoder and finding a renamed original. Roots live in a temporary folder.
#include "DevelopedBatches.h"
#include "library/LibraryStore.h"
#include "library/OriginalRef.h"
#include "platform/FileBookmark.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

using namespace oxel;
using bench::Batch;
using bench::batchOf;
using bench::save;
namespace fs = std::filesystem;
using namespace std::chrono;

// A folder under the system's temporary folder, removed at the end.
struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "oxel-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path); }
};

void BM_ListBatches500(benchmark::State& state)
{
    ScratchFolder folder;
    LibraryStore store({folder.path, nullptr, nullptr});
    for (int b = 0; b < 500; ++b) {
        const Batch batch = batchOf(20, b);
        store.saveBatch(batch.record);
        for (int i = 0; i < 4; ++i)
            store.write({0xFF, 0xD8, 0xFF, 0xD9},
                        store.imageFolder(batch.record.id, batch.record.images[i]) / "thumb.jpg");
    }
    store.drain();
    for (auto _ : state) {
        const auto listed = store.list();
        if (listed.size() != 500) state.SkipWithError("not every batch was listed");
        benchmark::DoNotOptimize(listed.data());
    }
}
BENCHMARK(BM_ListBatches500)->Unit(benchmark::kMillisecond)->UseRealTime();

// Saving 200 images: the caller's share alone, or until every file is written.
void saveBatch200(benchmark::State& state, bool untilWritten)
{
    ScratchFolder folder;
    LibraryStore store({folder.path, nullptr, nullptr});
    const Batch batch = batchOf(200, 0);
    for (auto _ : state) {
        save(store, batch);
        if (!untilWritten) state.PauseTiming();
        store.drain();
        if (!untilWritten) state.ResumeTiming();
    }
}

void BM_SaveBatch200(benchmark::State& state)
{
    saveBatch200(state, false);
}
// A fixed count: the untimed writes take a hundred times longer than the timed part.
BENCHMARK(BM_SaveBatch200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_SaveBatch200Drained(benchmark::State& state)
{
    saveBatch200(state, true);
}
BENCHMARK(BM_SaveBatch200Drained)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_LoadBatch200(benchmark::State& state)
{
    ScratchFolder folder;
    LibraryStore store({folder.path, nullptr, nullptr});
    const Batch batch = batchOf(200, 0);
    save(store, batch);
    store.drain();
    for (auto _ : state) {
        const auto loaded = store.load(batch.record.id);
        if (!loaded || loaded->images.size() != 200) state.SkipWithError("the batch did not load whole");
        benchmark::DoNotOptimize(loaded->images.data());
    }
}
BENCHMARK(BM_LoadBatch200)->Unit(benchmark::kMillisecond)->UseRealTime();

// The start's look for the results of deliveries the last run left unconfirmed and not known to be
// stored (warm cache).
void BM_StoredResultsIn100Batches(benchmark::State& state)
{
    static ScratchFolder folder;
    LibraryStore store({folder.path, nullptr, nullptr});
    static const auto unsure = bench::libraryAfterUnstoredBatch(store);
    for (auto _ : state) {
        const auto stored = store.storedResults(unsure);
        if (stored.size() != unsure.size() / 2) state.SkipWithError("not every stored result was found");
        benchmark::DoNotOptimize(stored.size());
    }
}
// Once for each of three repetitions, on the same library.
BENCHMARK(BM_StoredResultsIn100Batches)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// Smooth gradients with some texture, like a developed photograph.
Bitmap photoLike(int64_t width, int64_t height)
{
    auto bitmap = *Bitmap::allocate(width, height, PixelFormat::RGBX8, ColourSpace::sRGB());
    for (int64_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.mutableRow(y);
        for (int64_t x = 0; x < width; ++x) {
            const double texture = 12 * std::sin(double(x * 7 + y * 3) * 0.05);
            row[x * 4 + 0] = uint8_t(std::clamp(double(x * 200 / width) + texture, 0.0, 255.0));
            row[x * 4 + 1] = uint8_t(std::clamp(double(y * 180 / height) + texture, 0.0, 255.0));
            row[x * 4 + 2] = uint8_t(std::clamp(120 + texture * 2, 0.0, 255.0));
        }
    }
    return bitmap;
}

void BM_LibraryThumbJPEG(benchmark::State& state)
{
    const Bitmap picture = photoLike(2048, 1365);
    for (auto _ : state) {
        const auto jpeg = LibraryStore::jpegData(picture, 1024, 0.82);
        if (!jpeg) state.SkipWithError("no JPEG");
        benchmark::DoNotOptimize(jpeg->data());
    }
}
BENCHMARK(BM_LibraryThumbJPEG)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ResolveRenamedOriginal(benchmark::State& state)
{
    ScratchFolder folder;
    for (int i = 0; i < 1000; ++i)
        std::ofstream(folder.path / ("IMG_" + std::to_string(1000 + i) + ".JPG")) << "picture " << i;
    const Volumes volumes = Volumes::current();
    OriginalRef ref;
    ref.path = (folder.path / "IMG_1500.JPG").string();
    ref.bookmark = FileBookmark::make(ref.path, volumes);
    fs::rename(ref.path, folder.path / "harbour.jpg");
    for (auto _ : state) {
        const auto found = ref.resolve(volumes);
        if (!found || !found->renewedBookmark) state.SkipWithError("the renamed original was not found");
        benchmark::DoNotOptimize(found->file.c_str());
    }
}
BENCHMARK(BM_ResolveRenamedOriginal)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
