// Submit, poll, collect and decode one result against the local backend with its delays off.
#include "InProcessBackend.h"
#include "PhotographPicture.h"
#include "backend/BackendBaseURL.h"
#include "backend/JobEndpoints.h"
#include "backend/ResultWire.h"
#include "localbackend/LocalBackend.h"
#include "localbackend/LocalRelight.h"
#include "platform/SettingsStore.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using namespace oxel;

// The job runner's polling interval.
constexpr auto pollInterval = std::chrono::seconds(3);

// A 2048 × 1365 photograph-like picture, so the JPEG is of a realistic size.
std::string photographJPEG()
{
    return local::encodeJPEG(bench::photographPicture(2048, 1365), 92);
}

// The result decoded at full size with the decoder's default (accurate) transform.
std::vector<uint8_t> decodedRGB(const std::string& jpeg)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    std::vector<uint8_t> pixels;
    if (tjDecompressHeader3(decoder, bytes, jpeg.size(), &width, &height, &subsampling, &colourspace) == 0) {
        pixels.resize(size_t(width) * height * 3);
        tjDecompress2(decoder, bytes, jpeg.size(), pixels.data(), width, 0, height, TJPF_RGB, 0);
    }
    tjDestroy(decoder);
    return pixels;
}

void BM_SubmitPollCollect(benchmark::State& state)
{
    static bench::InProcessBackend bench("bench");
    static const std::string jpeg = photographJPEG();
    for (auto _ : state) {
        auto jobId = submitJob(jpeg, bench.userId, std::nullopt, std::nullopt, false);
        if (!jobId) {
            state.SkipWithError(describe(jobId.failure()).c_str());
            break;
        }
        while (true) {
            auto status = jobStatus(*jobId);
            if (!status) {
                state.SkipWithError(describe(status.failure()).c_str());
                return;
            }
            if (status->status == "succeeded") break;
            std::this_thread::sleep_for(pollInterval);
        }
        auto result = jobResult(*jobId);
        if (!result) {
            state.SkipWithError(describe(result.failure()).c_str());
            break;
        }
        auto wire = ResultWire::from(result->response);
        benchmark::DoNotOptimize(decodedRGB(wire.fullSend.value_or("")));
    }
    state.counters["upload_MB"] = double(jpeg.size()) / 1e6;
}
BENCHMARK(BM_SubmitPollCollect)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
