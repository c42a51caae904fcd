// Opening a batch decodes each image's kept thumbnail on the work pool while the caller waits:
// sixty planted thumbnails of 8000 x 8000 pixels, decoded as opening does, with the process's peak
// resident memory. The argument is the long side the thumbnails are read at; 0 reads them whole,
// as a kept render is read.
#include "async/WorkPool.h"
#include "develop/codecs/JPEGEncoder.h"
#include "model/AppModel.h"
#include "model/LibraryRebuild.h"
#include "platform/ProcessMemory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <latch>

namespace {

using namespace oxel;
namespace fs = std::filesystem;

constexpr int thumbnails = 60;
constexpr int plantedEdge = 8000;

void BM_OpenSixtyPlantedThumbnails(benchmark::State& state)
{
    std::string pattern = (fs::temp_directory_path() / "oxel-bench-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    auto bitmap = Bitmap::allocate(plantedEdge, plantedEdge, PixelFormat::RGBX8);
    for (int64_t y = 0; y < plantedEdge; ++y) {
        uint8_t* row = bitmap->mutableRow(y);
        for (int64_t x = 0; x < plantedEdge; ++x) {
            row[4 * x] = uint8_t(x * 255 / plantedEdge);
            row[4 * x + 1] = uint8_t(y * 255 / plantedEdge);
            row[4 * x + 2] = uint8_t((x ^ y) & 0xFF);
        }
    }
    const auto bytes = *encodeJPEG(*bitmap, 80, ColourSpace::sRGB().icc);
    for (int i = 0; i < thumbnails; ++i)
        std::ofstream(folder / ("thumb-" + std::to_string(i) + ".jpg"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    size_t peak = 0;
    int shown = 0;
    for (auto _ : state) {
        resetResidentPeak();
        const size_t before = residentBytes();
        std::vector<std::optional<PictureHandle>> pictures(thumbnails);
        std::latch decoded(thumbnails);
        for (int i = 0; i < thumbnails; ++i)
            WorkPool::shared().submit(WorkPriority::userInitiated, [&, i] {
                const fs::path file = folder / ("thumb-" + std::to_string(i) + ".jpg");
                pictures[size_t(i)] = keptPicture(file, "", state.range(0));
                decoded.count_down();
            });
        decoded.wait();
        peak = std::max(peak, residentPeakBytes() - before);
        shown = int(std::count_if(pictures.begin(), pictures.end(), [](const auto& p) { return p.has_value(); }));
    }
    state.counters["peak_MB"] = double(peak) / (1 << 20);
    state.counters["shown"] = shown;
    fs::remove_all(folder);
}
BENCHMARK(BM_OpenSixtyPlantedThumbnails)
    ->Arg(0)
    ->Arg(BatchSaver::thumbPixels)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
